#include "engine/TaskEngine.h"

#include "engine/EngineHost.h"
#include "engine/LoggerTable.h"
#include "engine/RecordSink.h"
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

int clampToInt(double v) {
    if (!(v > -1e9))
        return -1000000000;
    if (v > 1e9)
        return 1000000000;
    return static_cast<int>(v);
}

// How many records a logger holds that are newer than its newest kept one: by the count of
// measurements since that download when the logger's memory has kept counting, and never fewer
// than whole periods since that record's time.
int NewRecordCount(const KeptNewest& kept, int measureCount, int periodHours, TDateTime now) {
    const double hours = std::max(1, periodHours);
    const int byTime = clampToInt(std::floor((now - kept.time) * 24.0 / hours));
    int byCount = -1;
    // A lower count means the memory was erased since: only the time says anything then.
    if (kept.measureCount >= 0 && kept.offset >= 0 && measureCount >= kept.measureCount)
        byCount = kept.offset + (measureCount - kept.measureCount);
    return std::max({0, byTime, byCount});
}

std::string byteText(int value) {
    return std::string(1, static_cast<char>(static_cast<uint8_t>(value)));
}

std::string be16Text(int value) {
    return byteText((value >> 8) & 0xFF) + byteText(value & 0xFF);
}

} // namespace

TaskEngine::TaskEngine(LoggerTable& table, TSerialPortDriver& port, IModemSender& modem, IClock& clock,
                       IEngineHost& host)
    : table_(table), port_(port), modem_(modem), clock_(clock), host_(host) {}

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
}

void TaskEngine::sendCommand(const std::string& bytes) {
    modem_.SendToModem(true, bytes);
}

// Start checks.

bool TaskEngine::CheckStart(TTaskKind kind) {
    const auto periodValid = [this] {
        return dt::toSeconds(host_.dateFinish()) >= dt::toSeconds(host_.dateBegin()) + 86400;
    };
    bool ok = port_.IsOpen() && table_.LoggerCount > 0 && !host_.taskRunning();
    if (ok) {
        switch (kind) {
        case TTaskKind::Download:
            ok = table_.ClearLoadedData(true) && periodValid();
            break;
        case TTaskKind::Erase:
            ok = host_.messages().question(kEraseQuestion);
            break;
        case TTaskKind::SetChannel:
            ok = host_.messages().question(kChannelQuestion);
            break;
        default:
            break;
        }
    }
    if (!ok && kind == TTaskKind::Download && !periodValid())
        host_.messages().error(kPeriodMessage);
    return ok;
}

void TaskEngine::StartTask(TTaskKind kind) {
    host_.analyzerStopReading();
    sendCommand("#C" + byteText(host_.modemChannel()));
    sendCommand(std::string("#T\x02\x00\x12", 5));
    host_.setStatusPanel1("Инициализация...");
    FailureCount = 0;
    ByteCount = 0;
    DroppedRecords = 0;
    for (int i = 0; i < table_.LoggerCount; ++i) {
        table_.loggers[static_cast<size_t>(i)].LoggerState = NotPolled;
        table_.loggers[static_cast<size_t>(i)].GivenUpRecords = 0;
        host_.rowShowState(i, NotPolled);
    }
    host_.showPointers();
    host_.setProgressShown(true);
    host_.setModemChannelEnabled(false);
    kind_ = kind;
    table_.CurrentLogger = -1;
    TaskStep = firstStep(kind);
    port_.SetDtrLine(true);
    NextLogger();
}

void TaskEngine::StopTask() {
    host_.setReadStreamTimer(false);
    host_.stopSkipDevTimer();
    host_.setProgressPosition(0);
    host_.setProgressShown(false);
    host_.setModemChannelEnabled(true);
    host_.setExecutionLabel("");
    if (port_.IsOpen()) {
        if (host_.analyzerShowing() && host_.connectSwitchOn())
            host_.analyzerStart();
        else
            port_.SetDtrLine(false);
    }
}

void TaskEngine::NextLogger() {
    host_.setReadStreamTimer(false);
    ResetReception = true;
    AcceptSequence = true;
    BlockFailures = 0;
    merged_.clear();
    mergedValid_.clear();

    if (table_.CurrentLogger >= 0) {
        if (currentValid() &&
            table_.loggers[static_cast<size_t>(table_.CurrentLogger)].LoggerState == TaskDone)
            host_.playCompleted();
        else
            host_.playMissed();
    } else {
        AttemptIndex = 0;
        powerSent_ = false;
    }
    port_.PurgeQueues(true, true);
    host_.setProgressPosition(0);

    while (AttemptIndex < 4) {
        if (AttemptIndex >= 3) {
            host_.switchTasksOff();
            if (host_.soundMode() > 0)
                host_.startFinishedSoundTimer();
            return;
        }
        if (!host_.attemptTicked(AttemptIndex)) {
            ++AttemptIndex;
            continue;
        }
        host_.moveAttemptPointer(72 + 23 * AttemptIndex);

        int& cur = table_.CurrentLogger;
        do {
            ++cur;
        } while (
            cur < table_.LoggerCount &&
            !(host_.loggerTicked(cur) && table_.loggers[static_cast<size_t>(cur)].LoggerState < TaskDone));
        if (cur >= table_.LoggerCount) {
            ++AttemptIndex;
            cur = -1;
            powerSent_ = false;
            continue;
        }
        if (!powerSent_) {
            // The power group is read only now, when its attempt starts.
            sendCommand("#P" + byteText(powerByte(host_.powerIndex(AttemptIndex))));
            powerSent_ = true;
        }
        host_.moveDevicePointer(cur * 14 + 4);
        TaskStep = firstStep(kind_);
        HandleReply();
        return;
    }
}

void TaskEngine::TimerSkipDevTimer() {
    // A tick queued before StopTask must not start a logger of a task that is over. The timer
    // is not switched off here: NextLogger has already restarted it for the next logger.
    if (!host_.taskRunning())
        return;
    NextLogger();
}

// Link display and states.

void TaskEngine::UpdateLinkDisplay() {
    if (currentValid())
        host_.rowShowLink(table_.CurrentLogger, SignalLevel, signalBarWidth(SignalLevel));
    std::string panel = "Сбоев: " + std::to_string(FailureCount) + " Байт: " + std::to_string(ByteCount);
    if (DroppedRecords > 0)
        panel += " Потеряно записей: " + std::to_string(DroppedRecords);
    if (const int unarchived = sink_ ? sink_->unarchivedRecords() : 0; unarchived > 0)
        panel += " Не в архиве: " + std::to_string(unarchived);
    host_.setStatusPanel1(panel);
    if (host_.analyzerShowing())
        host_.analyzerAddRssi(clock_.now(), SignalLevel);
}

void TaskEngine::ShowState(int code) {
    if (!currentValid())
        return;
    table_.loggers[static_cast<size_t>(table_.CurrentLogger)].LoggerState = static_cast<uint8_t>(code);
    host_.rowShowState(table_.CurrentLogger, code);
    if (code >= StatusLoaded)
        UpdateLinkDisplay();
}

bool TaskEngine::ChannelChangeSucceeded() {
    int& cur = table_.CurrentLogger;
    cur = 0;
    while (cur < table_.LoggerCount &&
           !(host_.loggerTicked(cur) && table_.loggers[static_cast<size_t>(cur)].LoggerState < TaskDone))
        ++cur;
    return cur >= table_.LoggerCount;
}

// Reception.

size_t TaskEngine::replyDataLimit() const {
    size_t usable = 0;
    if (TaskStep == AwaitStatus)
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
    if (ReceptionError)
        return n;
    frame(n);
    return n;
}

void TaskEngine::frame(uint32_t n) {
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
        }
    }
}

bool TaskEngine::replyComplete() const {
    if (ReceptionError || PacketPos != 0 || PacketCount == 0)
        return false;
    if (replyIs("READY") || replyIs("ERASE") || replyIs("EMPTY"))
        return PacketCount == 1;
    if (!replyIs("START"))
        return false;
    if (TaskStep == AwaitStatus) {
        const size_t l = currentName().size();
        return ReplyData.size() >= l + 4 && ReplyData.size() == statusLength(l, ReplyData[l + 3]);
    }
    if (TaskStep == AwaitBlock && BatchRecordCount > 0)
        return ReplyData.size() == static_cast<size_t>(BatchRecordCount) * static_cast<size_t>(RecordLength);
    return false;
}

void TaskEngine::takeReply() {
    ResetReception = true;
    host_.setReadStreamTimer(false);
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
        host_.advanceProgress();

    if (receive() > 0) {
        if (replyComplete())
            takeReply();
        return;
    }
    // The line is quiet only when no byte came for a whole tick, also when the bytes were read
    // between ticks as they arrived.
    if (clock_.tickCount() - lastByteMs_ < static_cast<uint32_t>(std::max(1, host_.readStreamInterval())))
        return;
    if (PacketCount == 0 && !ReceptionError)
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

void TaskEngine::sendRequest(const std::string& request, int waitingStep) {
    host_.restartSkipDevTimer();
    host_.setProgressMax(
        static_cast<int>(std::nearbyint(26000.0 / (std::max(1, host_.readStreamInterval()) * 1.15))));
    host_.setExecutionLabel("Поиск...");
    TaskStep = waitingStep;
    LastCommand = currentName() + request;
    sendAir(LastCommand);
    host_.setReadStreamTimer(true);
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
    host_.setReadStreamTimer(true);
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
        sendRequest(setClockRequest(), AwaitTimeAck);
        break;
    case AwaitTimeAck:
        if (replyIs("READY")) {
            ShowState(TaskDone);
            host_.rowShowClockText(table_.CurrentLogger, TimeText);
        }
        finish();
        break;
    case SendErase:
        sendRequest("ERASE--", AwaitEraseAck);
        break;
    case AwaitEraseAck:
        if (replyIs("ERASE"))
            ShowState(TaskDone);
        finish();
        break;
    case SendPeriod:
        sendRequest("P" + byteText(host_.loggerPeriod()) + "-----", AwaitPeriodAck);
        break;
    case SendMeasure:
        sendRequest("MEASE--", AwaitMeasureAck);
        break;
    case SendChannel:
        sendRequest("C" + byteText(host_.loggerChannel()) + "-----", AwaitChannelAck);
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

// The begin of this logger's download: the date picked, or with "только новые" just after its
// newest kept record, put as the begin whose planned offset is the count of newer records.
TDateTime TaskEngine::downloadBegin(const LoggerStatus& status) const {
    const TDateTime begin = host_.dateBegin();
    if (!sink_ || !host_.onlyNew())
        return begin;
    const std::optional<KeptNewest> kept = sink_->newestKept(currentName());
    if (!kept || kept->time < begin)
        return begin;
    const int fresh = NewRecordCount(*kept, status.measureCount, status.period, clock_.now());
    return std::max(begin, clock_.now() - fresh * std::max(1, status.period) / 24.0);
}

void TaskEngine::handleStatus() {
    const std::string& name = currentName();
    // At least the name and the sensor count: the exact length check of the decoding decides.
    if (replyIs("START") && ReplyData.size() >= name.size() + 4) {
        LoggerStatus status;
        if (DecodeStatus(ReplyData.data(), ReplyData.size(), name, currentYear(), status) == StatusOk) {
            const int cur = table_.CurrentLogger;
            ByteCount += static_cast<int>(ReplyData.size());
            // Records held at this point come from an earlier turn of this download, which
            // asks for the whole period again: keep each record once, and the lists in step
            // with a sensor count that may have changed.
            if (!table_.loggers[static_cast<size_t>(cur)].RecordTimes.empty())
                table_.dropRecords(cur);
            StoreStatus(table_, cur, status);
            statusClockValid_ = status.clockValid;
            host_.rowShowStatus(cur, table_);
            if (!status.clockValid)
                host_.rowShowRawClock(cur, status.clockRaw);

            const int blocks =
                PlanDownload(clock_.now(), downloadBegin(status), host_.dateFinish(), status.sensorCount,
                             status.period, status.measureCount, host_.dataBlockPosition());
            if (BatchRecordCount > 0) {
                host_.restartSkipDevTimer();
                host_.setProgressPosition(0);
                host_.setExecutionLabel("Загрузка...");
                host_.setProgressMax(blocks);
                requestBlock();
                ShowState(StatusLoaded);
            } else {
                ShowState(NoMeasurements);
                finish();
            }
            return;
        }
    }
    if (replyIs("EMPTY")) {
        ShowState(NoMeasurements);
        finish();
        return;
    }
    retransmit();
}

void TaskEngine::handleBlock() {
    const size_t expected =
        static_cast<size_t>(std::max(0, BatchRecordCount)) * static_cast<size_t>(RecordLength);
    if (replyIs("START") && BatchRecordCount > 0 && ReplyData.size() == expected) {
        // A damaged record is asked for again; a block that stays damaged is taken as it is
        // after a few tries so that a bad memory region cannot hold the logger to its time limit.
        const int missing = mergeBlockTry();
        const bool accept = missing == 0 || ++BlockFailures >= kBlockTries;
        if (accept) {
            const RecordBatch batch = DecodeRecords(merged_.data(), merged_.size(), BatchRecordCount,
                                                    table_.StatusSensorCount, currentYear());
            StoreRecords(table_, table_.CurrentLogger, batch);
            if (sink_)
                sink_->blockAccepted(table_, table_.CurrentLogger, batch, table_.StatusMeasureCount,
                                     newestKeptOffset());
            DroppedRecords += batch.damaged;
            if (currentValid())
                table_.loggers[static_cast<size_t>(table_.CurrentLogger)].GivenUpRecords += batch.damaged;
            ByteCount += static_cast<int>(ReplyData.size());
            host_.advanceProgress();
            if (NextBlock()) {
                host_.restartSkipDevTimer();
                requestBlock();
                ShowState(PartlyLoaded);
            } else {
                // Records given up are missing from the file: the logger is not done, and the
                // next attempt asks it again.
                const bool complete =
                    !currentValid() ||
                    table_.loggers[static_cast<size_t>(table_.CurrentLogger)].GivenUpRecords == 0;
                ShowState(complete ? TaskDone : PartlyLoaded);
                finish();
            }
            return;
        }
        retransmit();
        return;
    }
    if (replyIs("EMPTY")) {
        ShowState(NoMeasurements);
        finish();
        return;
    }
    retransmit();
}

// The offset of the block's newest good record: records run oldest first and the last one sits at
// StartOffset. A newest record given up is not one the archive holds, and must be asked again.
int TaskEngine::newestKeptOffset() const {
    const int count = static_cast<int>(mergedValid_.size());
    for (int r = count - 1; r >= 0; --r)
        if (mergedValid_[static_cast<size_t>(r)])
            return StartOffset + (count - 1 - r);
    return StartOffset;
}

int TaskEngine::mergeBlockTry() {
    const size_t len = static_cast<size_t>(RecordLength);
    const size_t count = static_cast<size_t>(BatchRecordCount);
    if (merged_.size() != len * count || mergedValid_.size() != count) {
        merged_.assign(len * count, 0);
        mergedValid_.assign(count, 0);
    }
    const int n = table_.StatusSensorCount;
    const int year = currentYear();
    std::vector<int16_t> readings(static_cast<size_t>(std::max(0, n)));
    std::vector<uint8_t> validNow(count, 0);
    bool moved = false;
    for (size_t r = 0; r < count; ++r) {
        TDateTime time = 0;
        int16_t voltage = 0;
        const uint8_t* rec = ReplyData.data() + r * len;
        validNow[r] = DecodeRecord(rec, n, year, time, voltage, readings.data()) ? 1 : 0;
        if (validNow[r] && mergedValid_[r] && std::memcmp(rec, merged_.data() + r * len, len) != 0)
            moved = true;
    }
    // The logger took a new measurement between two tries: its offsets moved on, and the
    // records kept from the earlier tries no longer belong to these positions.
    if (moved) {
        std::fill(merged_.begin(), merged_.end(), 0); // zero bytes never decode (day 0)
        std::fill(mergedValid_.begin(), mergedValid_.end(), 0);
    }
    int missing = 0;
    for (size_t r = 0; r < count; ++r) {
        if (validNow[r]) {
            std::memcpy(merged_.data() + r * len, ReplyData.data() + r * len, len);
            mergedValid_[r] = 1;
        }
        missing += mergedValid_[r] ? 0 : 1;
    }
    return missing;
}

// Download plan.

int TaskEngine::PlanDownload(TDateTime now, TDateTime begin, TDateTime finish, int sensorCount, int period,
                             int measureCount, int blockPosition) {
    RecordLength = recordLength(sensorCount);
    const int position = std::clamp(blockPosition, 0, 3);
    const int blockSize = 512 << (3 - position);
    // 512-byte blocks hold no whole record of 252 sensors or more; one record still fits a reply.
    BatchRecordCount = std::max(1, blockSize / RecordLength);
    const double hours = std::max(1, period);
    StartOffset = clampToInt(std::nearbyint((now - begin) * 24.0 / hours));
    EndOffset = clampToInt(std::nearbyint((now - finish) * 24.0 / hours));
    if (EndOffset > measureCount)
        EndOffset = measureCount;
    if (StartOffset > measureCount)
        StartOffset = measureCount;
    const int span = StartOffset - EndOffset;
    if (span < BatchRecordCount)
        BatchRecordCount = span;
    if (StartOffset < BatchRecordCount)
        BatchRecordCount = StartOffset;
    StartOffset -= BatchRecordCount;
    BlockFailures = 0;
    if (BatchRecordCount <= 0)
        return 0;
    return static_cast<int>(std::trunc(static_cast<double>(span) / BatchRecordCount + 0.999999));
}

bool TaskEngine::NextBlock() {
    if (StartOffset - EndOffset < BatchRecordCount)
        BatchRecordCount = StartOffset - EndOffset;
    if (StartOffset < BatchRecordCount)
        BatchRecordCount = StartOffset;
    StartOffset -= BatchRecordCount;
    BlockFailures = 0;
    return BatchRecordCount > 0;
}

std::string TaskEngine::blockRequest() const {
    return currentName() + "D" + be16Text(StartOffset) + be16Text(BatchRecordCount) + "--";
}

void TaskEngine::requestBlock() {
    merged_.clear();
    mergedValid_.clear();
    TaskStep = AwaitBlock;
    LastCommand = blockRequest();
    sendAir(LastCommand);
    host_.setReadStreamTimer(true);
}

double ChannelFrequency(int channel) {
    const long double khz = static_cast<long double>(channel) * 199.951172L + 430007.69L;
    return static_cast<double>(std::nearbyint(khz / 100.0L) / 10.0L);
}
