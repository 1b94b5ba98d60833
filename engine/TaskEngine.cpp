#include "engine/TaskEngine.h"

#include "engine/IntRange.h"
#include "engine/LoggerTable.h"
#include "engine/RecordSink.h"
#include "engine/TaskDriver.h"
#include "modem/ModemSender.h"
#include "platform/Clock.h"
#include "serial/TSerialPortDriver.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

const char* const kPeriodMessage = "Некорректно задан временной интервал";
const char* const kEraseQuestion = "Стереть все данные из памяти приборов?";
const char* const kChannelQuestion = "Изменить частотный канал?";

std::string byteText(int value) {
    return std::string(1, static_cast<char>(static_cast<uint8_t>(value)));
}

} // namespace

TaskEngine::TaskEngine(LoggerTable& table, TSerialPortDriver& port, IModemSender& modem, IClock& clock,
                       const IEngineSettings& settings, EngineEventHandler events)
    : table_(table), port_(port), modem_(modem), clock_(clock), settings_(settings),
      events_(std::move(events)) {}

EngineEvent TaskEngine::event(EngineEvent::Kind kind, std::optional<TTaskKind> task) const {
    EngineEvent e;
    e.kind = kind;
    e.task = task.value_or(kind_);
    return e;
}

void TaskEngine::tell(EngineEvent::Kind kind) {
    EngineEvent e = event(kind);
    tell(e);
}

void TaskEngine::tellLoggerState(int row, int code) {
    EngineEvent e = event(EngineEvent::LoggerState);
    e.row = row;
    e.state = code;
    tell(e);
}

void TaskEngine::setProgress(int position, int maximum, EngineEvent::Phase phase) {
    progress_ = position;
    progressMax_ = std::max(maximum, 0);
    phase_ = phase;
    EngineEvent e = event(EngineEvent::Progress);
    e.position = progress_;
    e.maximum = progressMax_;
    e.phase = phase_;
    tell(e);
}

void TaskEngine::advanceProgress() {
    // Like a Windows progress bar, stepping past the end wraps to the start.
    setProgress(progress_ + 1 > progressMax_ ? 0 : progress_ + 1, progressMax_, phase_);
}

void TaskEngine::setReception(bool on) {
    if (driver_)
        driver_->setReception(on);
}

void TaskEngine::restartLimit() {
    if (driver_)
        driver_->restartLimit();
}

void TaskEngine::stopLimit() {
    if (driver_)
        driver_->stopLimit();
}

int TaskEngine::firstStep(TTaskKind kind) {
    switch (kind) {
    case TTaskKind::Download:
        return AskStatus;
    case TTaskKind::SetTime:
        return SendTime;
    case TTaskKind::Erase:
        return SendErase;
    case TTaskKind::SetPeriod:
        return SendPeriod;
    case TTaskKind::Measure:
        return SendMeasure;
    case TTaskKind::SetChannel:
        return SendChannel;
    }
    return AskStatus;
}

uint8_t TaskEngine::powerByte(int itemIndex) {
    switch (itemIndex) {
    case 0:
        return 0xC0;
    case 2:
        return 0x6E;
    default:
        return 0x60;
    }
}

double TaskEngine::levelOfStrength(uint8_t r) {
    return (r >= 128 ? (r - 256) / 2.0 : r / 2.0) - 74.0;
}

int TaskEngine::signalBarWidth(double levelDbm) {
    const double w = std::nearbyint((levelDbm + 110.0) * 0.6 + 1.0);
    return w < 0 ? 0 : clampToInt(w);
}

std::string TaskEngine::setClockBytes(const std::string& timeText) {
    std::string out;
    for (size_t at = 0; at + 1 < timeText.size() && out.size() < 6; at += 3)
        out += byteText((timeText[at] - '0') * 10 + (timeText[at + 1] - '0'));
    return out;
}

bool TaskEngine::currentValid() const {
    return table_.validIndex(table_.CurrentLogger);
}

const std::string& TaskEngine::currentName() const {
    static const std::string none;
    return currentValid() ? table_.loggers[static_cast<size_t>(table_.CurrentLogger)].LoggerName : none;
}

bool TaskEngine::replyIs(const char* keyword) const {
    return currentValid() && ReplyText == currentName() + keyword;
}

int TaskEngine::currentYear() const {
    return dt::decode(clock_.now()).year;
}

void TaskEngine::sendAir(const std::string& bytes) {
    modem_.SendToModem(false, bytes);
    sentMs_ = clock_.tickCount();
    awaitingFirstByte_ = true;
}

void TaskEngine::sendCommand(const std::string& bytes) {
    modem_.SendToModem(true, bytes);
}

// Start checks.

bool TaskEngine::CheckStart(TTaskKind kind) {
    taskStart_ = clock_.now();
    const auto periodValid = [this] {
        return dt::toSeconds(finishMoment()) >= dt::toSeconds(settings_.dateBegin()) + 86400;
    };
    const auto ask = [this, kind](const char* question) {
        EngineEvent e = event(EngineEvent::Question, kind);
        e.text = question;
        tell(e);
        return e.answer;
    };
    bool ok = port_.IsOpen() && table_.LoggerCount > 0 && !running_;
    if (ok) {
        switch (kind) {
        case TTaskKind::Download:
            ok = table_.ClearLoadedData(true) && periodValid();
            break;
        case TTaskKind::Erase:
            ok = ask(kEraseQuestion);
            break;
        case TTaskKind::SetChannel:
            ok = ask(kChannelQuestion);
            break;
        default:
            break;
        }
    }
    if (!ok && kind == TTaskKind::Download && !periodValid()) {
        EngineEvent e = event(EngineEvent::Error, kind);
        e.text = kPeriodMessage;
        tell(e);
    }
    return ok;
}

void TaskEngine::StartTask(TTaskKind kind) {
    kind_ = kind;
    running_ = true;
    table_.CurrentLogger = -1;
    sendCommand("#C" + byteText(settings_.modemChannel()));
    sendCommand(std::string("#T\x02\x00\x12", 5));
    // The front end stops the noise reading: the task owns the modem from here.
    tell(EngineEvent::TaskStarted);
    FailureCount = 0;
    ByteCount = 0;
    DroppedRecords = 0;
    clockSetRows_.clear();
    eraseKept_.clear();
    taskStart_ = clock_.now();
    for (int i = 0; i < table_.LoggerCount; ++i) {
        table_.loggers[static_cast<size_t>(i)].LoggerState = NotPolled;
        table_.loggers[static_cast<size_t>(i)].GivenUpRecords = 0;
        tellLoggerState(i, NotPolled);
    }
    TaskStep = firstStep(kind);
    port_.SetDtrLine(true);
    NextLogger();
}

void TaskEngine::StopTask() {
    setReception(false);
    stopLimit();
    setProgress(0, progressMax_, EngineEvent::Phase::None);
    running_ = false;
    EngineEvent finished = event(EngineEvent::TaskFinished);
    // A task run through ends with every attempt made; any other end is a stop.
    finished.completed = AttemptIndex >= 3;
    tell(finished);
    if (port_.IsOpen()) {
        if (settings_.listenAfterTask())
            tell(EngineEvent::ListeningResumed);
        else
            port_.SetDtrLine(false);
    }
}

void TaskEngine::NextLogger() {
    setReception(false);
    ResetReception = true;
    AcceptSequence = true;
    BlockFailures = 0;
    merged_.clear();
    mergedValid_.clear();
    heldRaw_.clear();
    pending_.clear();
    probeFound_.clear();
    turnClockValid_ = false;
    turnClockSet_ = false;

    if (table_.CurrentLogger >= 0) {
        EngineEvent notice = event(EngineEvent::Notice);
        notice.row = table_.CurrentLogger;
        notice.notice =
            currentValid() &&
                    table_.loggers[static_cast<size_t>(table_.CurrentLogger)].LoggerState == TaskDone
                ? EngineEvent::Sound::Completed
                : EngineEvent::Sound::Missed;
        tell(notice);
    } else {
        AttemptIndex = 0;
        powerSent_ = false;
    }
    port_.PurgeQueues(true, true);
    setProgress(0, progressMax_, phase_);

    while (AttemptIndex < 4) {
        if (AttemptIndex >= 3) {
            tell(EngineEvent::RunThrough);
            EngineEvent notice = event(EngineEvent::Notice);
            notice.notice = EngineEvent::Sound::Finished;
            tell(notice);
            return;
        }
        if (!settings_.attemptTicked(AttemptIndex)) {
            ++AttemptIndex;
            continue;
        }
        EngineEvent attempt = event(EngineEvent::AttemptStarted);
        attempt.attempt = AttemptIndex;
        tell(attempt);

        int& cur = table_.CurrentLogger;
        do {
            ++cur;
        } while (cur < table_.LoggerCount &&
                 !(settings_.loggerTicked(cur) &&
                   table_.loggers[static_cast<size_t>(cur)].LoggerState < TaskDone &&
                   !eraseKept_.count(cur)));
        if (cur >= table_.LoggerCount) {
            ++AttemptIndex;
            cur = -1;
            powerSent_ = false;
            continue;
        }
        if (!powerSent_) {
            // The power group is read only now, when its attempt starts.
            sendCommand("#P" + byteText(powerByte(settings_.powerIndex(AttemptIndex))));
            powerSent_ = true;
        }
        EngineEvent served = event(EngineEvent::LoggerServed);
        served.row = cur;
        served.attempt = AttemptIndex;
        tell(served);
        TaskStep = firstStep(kind_);
        HandleReply();
        return;
    }
}

void TaskEngine::TimerSkipDevTimer() {
    // A tick queued before StopTask must not start a logger of a task that is over. The timer
    // is not switched off here: NextLogger has already restarted it for the next logger.
    if (!running_)
        return;
    NextLogger();
}

// Link display and states.

void TaskEngine::UpdateLinkDisplay() {
    EngineEvent link = event(EngineEvent::LinkLevel);
    link.row = currentValid() ? table_.CurrentLogger : -1;
    link.level = SignalLevel;
    link.barWidth = signalBarWidth(SignalLevel);
    link.time = clock_.now();
    EngineEvent counts = event(EngineEvent::Counts);
    counts.failures = FailureCount;
    counts.bytes = ByteCount;
    counts.dropped = DroppedRecords;
    counts.unarchived = sink_ ? sink_->unarchivedRecords() : 0;
    // The level goes to the row and to the noise analyzer, the counts to the panel.
    tell(link);
    tell(counts);
}

void TaskEngine::ShowState(int code) {
    if (!currentValid())
        return;
    table_.loggers[static_cast<size_t>(table_.CurrentLogger)].LoggerState = static_cast<uint8_t>(code);
    tellLoggerState(table_.CurrentLogger, code);
    if (code >= StatusLoaded)
        UpdateLinkDisplay();
}

bool TaskEngine::ChannelChangeSucceeded() {
    int& cur = table_.CurrentLogger;
    cur = 0;
    while (cur < table_.LoggerCount &&
           !(settings_.loggerTicked(cur) && table_.loggers[static_cast<size_t>(cur)].LoggerState < TaskDone))
        ++cur;
    return cur >= table_.LoggerCount;
}

// Reception.

size_t TaskEngine::replyDataLimit() const {
    size_t usable = 0;
    if (awaitingStatus())
        usable = maxStatusLength(currentName().size());
    else if (TaskStep == AwaitBlock && BatchRecordCount > 0)
        usable = static_cast<size_t>(BatchRecordCount) * static_cast<size_t>(RecordLength);
    return usable + kMaxPacketPayload;
}

void TaskEngine::resetIfAsked() {
    if (!ResetReception)
        return;
    ResetReception = false;
    ReceptionError = false;
    PacketPos = 0;
    PacketCount = 0;
    ReplyData.clear();
    ReplyText.clear();
    resetBlockReception();
}

uint32_t TaskEngine::receive() {
    // A closed port reports 65535 bytes waiting; the buffer holds 4096.
    const uint32_t waiting = port_.InputCount();
    uint32_t n = 0;
    if (waiting > 0)
        n = port_.ReadBytes(buffer_.data(), std::min<uint32_t>(waiting, kReceptionBufferSize));
    n = std::min<uint32_t>(n, kReceptionBufferSize);
    if (n == 0)
        return 0;
    lastByteMs_ = clock_.tickCount();
    if (awaitingFirstByte_) {
        // How long a logger takes to answer decides what a request is worth.
        awaitingFirstByte_ = false;
        const double ms = static_cast<double>(lastByteMs_ - sentMs_);
        replyLatencyMs_ = replyLatencyMs_ < 0 ? ms : 0.7 * replyLatencyMs_ + 0.3 * ms;
    }
    if (ReceptionError)
        return n;
    frame(n);
    return n;
}

void TaskEngine::frame(uint32_t n) {
    if (TaskStep == AwaitBlock) {
        frameBlock(n);
        return;
    }
    const size_t limit = replyDataLimit();
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t b = buffer_[i];
        if (PacketPos == 0) {
            PacketLength = static_cast<uint8_t>(b + 1);
            if (PacketLength < 5 || PacketLength > 63) {
                ReceptionError = true;
                return;
            }
        } else if (PacketPos == 1) {
            if (AcceptSequence) {
                SequenceNumber = b;
                AcceptSequence = false;
            } else {
                ++SequenceNumber;
                if (SequenceNumber != b) {
                    ReceptionError = true;
                    return;
                }
            }
        } else if (PacketPos == PacketLength - 2) {
            SignalLevel = levelOfStrength(b);
        } else if (PacketPos == PacketLength - 1) {
            if (b < 0x80) {
                ReceptionError = true;
                return;
            }
        } else if (PacketCount == 0) {
            ReplyText += static_cast<char>(b);
        } else {
            // A stream that never goes quiet would grow the reply for the whole time limit.
            ReplyData.push_back(b);
            if (ReplyData.size() > limit) {
                ReceptionError = true;
                return;
            }
        }
        ++PacketPos;
        if (PacketPos >= PacketLength) {
            PacketPos = 0;
            ++PacketCount;
            packetEnded();
        }
    }
}

// A packet left over from the reply before (it came after that reply was already whole) must not
// make the reply that follows it wrong: a first packet that carries no reply's text is dropped.
void TaskEngine::packetEnded() {
    if (PacketCount != 1)
        return;
    const std::string& name = currentName();
    const auto endsWith = [this](const char* keyword) {
        const size_t n = std::strlen(keyword);
        return ReplyText.size() >= n && ReplyText.compare(ReplyText.size() - n, n, keyword) == 0;
    };
    const bool text = (!name.empty() && ReplyText.compare(0, name.size(), name) == 0) || endsWith("START") ||
                      endsWith("EMPTY") || endsWith("READY") || endsWith("ERASE");
    if (!text) {
        ReplyText.clear();
        PacketCount = 0;
    }
}

bool TaskEngine::replyComplete() const {
    if (TaskStep == AwaitBlock)
        return blockReplyWhole() || blockReplyOver();
    if (ReceptionError || PacketPos != 0 || PacketCount == 0)
        return false;
    if (replyIs("READY") || replyIs("ERASE") || replyIs("EMPTY"))
        return PacketCount == 1;
    if (!replyIs("START"))
        return false;
    if (awaitingStatus()) {
        const size_t l = currentName().size();
        return ReplyData.size() >= l + 4 && ReplyData.size() == statusLength(l, ReplyData[l + 3]);
    }
    if (TaskStep == AwaitBlock && BatchRecordCount > 0)
        return ReplyData.size() == static_cast<size_t>(BatchRecordCount) * static_cast<size_t>(RecordLength);
    return false;
}

void TaskEngine::takeReply() {
    ResetReception = true;
    setReception(false);
    HandleReply();
}

void TaskEngine::ReadArrived() {
    resetIfAsked();
    if (receive() > 0 && replyComplete())
        takeReply();
}

void TaskEngine::TimerReadStreamTimer() {
    resetIfAsked();
    if (TaskStep != AwaitBlock)
        advanceProgress();

    if (receive() > 0) {
        if (replyComplete())
            takeReply();
        return;
    }
    // The line is quiet only when no byte came for a whole tick, also when the bytes were read
    // between ticks as they arrived.
    if (clock_.tickCount() - lastByteMs_ < TaskDriver::kTickMs)
        return;
    // A block reply of which nothing could be placed is one that went wrong, not one to wait for.
    if (PacketCount == 0 && !ReceptionError && !(TaskStep == AwaitBlock && (flawed_ || PacketPos > 0)))
        return;
    if (ReceptionError) {
        ResetReception = true;
        FailureCount += 1;
        UpdateLinkDisplay();
        AcceptSequence = true;
        port_.PurgeQueues(true, true);
        sendLastCommand();
        return;
    }
    takeReply();
}

// Step machine.

void TaskEngine::sendRequest(const std::string& request, int waitingStep, bool newTurn) {
    restartLimit();
    // The bar fills in about the time limit of ticks.
    setProgress(progress_,
                static_cast<int>(std::nearbyint(TaskDriver::kLimitMs / (TaskDriver::kTickMs * 1.15))),
                EngineEvent::Phase::Search);
    TaskStep = waitingStep;
    LastCommand = currentName() + request;
    sendAir(LastCommand);
    setReception(true);
    if (newTurn)
        ShowState(NotFound);
}

std::string TaskEngine::setClockRequest() {
    TimeText = dt::formatDateTime(clock_.now());
    return "T" + setClockBytes(TimeText);
}

void TaskEngine::sendLastCommand() {
    // A clock setting sent again carries the time of now, not the time of the first try: the
    // row shows TimeText as confirmed once the logger answers.
    if (TaskStep == AwaitTimeAck)
        LastCommand = currentName() + setClockRequest();
    sendAir(LastCommand);
}

void TaskEngine::retransmit() {
    FailureCount += 1;
    AcceptSequence = true;
    port_.PurgeQueues(true, true);
    sendLastCommand();
    setReception(true);
    UpdateLinkDisplay();
}

void TaskEngine::HandleReply() {
    switch (TaskStep) {
    case AskStatus:
        sendRequest("HEADER-", AwaitStatus);
        break;
    case AwaitStatus:
        handleStatus();
        break;
    case AwaitBlock:
        handleBlock();
        break;
    case SendTime:
        if (clockChecked())
            sendRequest("HEADER-", AwaitClockStatus);
        else
            sendRequest(setClockRequest(), AwaitTimeAck);
        break;
    case AwaitClockStatus:
        handleClockStatus();
        break;
    case AwaitTimeAck:
        if (replyIs("READY") && clockChecked()) {
            // Taken is not yet right: the status that follows shows the clock the logger keeps.
            clockTaken();
            break;
        }
        if (replyIs("READY")) {
            ShowState(TaskDone);
            tellClockConfirmed(TimeText);
        }
        finish();
        break;
    case AwaitClockConfirm:
        handleClockConfirm();
        break;
    case SendErase:
        // With an archive to ask, the status tells first what an erase would lose.
        if (sink_)
            sendRequest("HEADER-", AwaitEraseStatus);
        else
            sendRequest("ERASE--", AwaitEraseAck);
        break;
    case AwaitEraseStatus:
        handleEraseStatus();
        break;
    case AwaitEraseAck:
        if (replyIs("ERASE"))
            ShowState(TaskDone);
        finish();
        break;
    case SendPeriod:
        sendRequest("P" + byteText(settings_.loggerPeriod()) + "-----", AwaitPeriodAck);
        break;
    case SendMeasure:
        sendRequest("MEASE--", AwaitMeasureAck);
        break;
    case SendChannel:
        sendRequest("C" + byteText(settings_.loggerChannel()) + "-----", AwaitChannelAck);
        break;
    case AwaitPeriodAck:
    case AwaitMeasureAck:
    case AwaitChannelAck:
        if (replyIs("READY"))
            ShowState(TaskDone);
        finish();
        break;
    default:
        TaskStep = AskStatus;
        finish();
        break;
    }
}

std::string panelText(const EngineEvent& e) {
    if (e.kind == EngineEvent::TaskStarted)
        return "Инициализация...";
    if (e.kind != EngineEvent::Counts)
        return {};
    std::string panel = "Сбоев: " + std::to_string(e.failures) + " Байт: " + std::to_string(e.bytes);
    if (e.dropped > 0)
        panel += " Потеряно записей: " + std::to_string(e.dropped);
    if (e.unarchived > 0)
        panel += " Не в архиве: " + std::to_string(e.unarchived);
    return panel;
}

double ChannelFrequency(int channel) {
    const long double khz = static_cast<long double>(channel) * 199.951172L + 430007.69L;
    return static_cast<double>(std::nearbyint(khz / 100.0L) / 10.0L);
}
