// The checks a service visit asks of two tasks: a clock is set only when it is off by more than
// the allowance (and then read back), and a logger's memory is erased only when the archive holds
// its records or the user has said to erase it anyway.
#include "engine/LoggerTable.h"
#include "engine/RecordSink.h"
#include "engine/TaskEngine.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstdlib>

long long TaskEngine::deviationOf(const LoggerStatus& status) const {
    return dt::toSeconds(status.clock) - dt::toSeconds(clock_.now());
}

bool TaskEngine::clockChecked() const {
    return kind_ == TTaskKind::Download || settings_.clockAllowance() > 0 || settings_.clockCheckOnly();
}

long long TaskEngine::clockTolerance() const {
    const long long allowed =
        kind_ == TTaskKind::Download ? settings_.clockSetBeyond() : settings_.clockAllowance();
    return std::max<long long>(allowed, kClockConfirmSeconds);
}

void TaskEngine::finish() {
    // A downloaded logger whose status showed its clock off by more than asked: set it now, while
    // the logger listens, and read it back.
    const int beyond = settings_.clockSetBeyond();
    if (kind_ == TTaskKind::Download && beyond >= 0 && turnClockValid_ && !turnClockSet_ && currentValid()) {
        const uint8_t state = table_.loggers[static_cast<size_t>(table_.CurrentLogger)].LoggerState;
        if ((state == TaskDone || state == NoMeasurements) && std::llabs(turnDeviation_) > beyond) {
            turnClockSet_ = true;
            tellClockChecked(true, turnDeviation_, false);
            setClock(true);
            return;
        }
    }
    NextLogger();
}

void TaskEngine::takeCheckStatus(const LoggerStatus& status) {
    const int cur = table_.CurrentLogger;
    // The records the table holds were decoded under the string fields they came with.
    if (table_.loggers[static_cast<size_t>(cur)].RecordTimes.empty())
        StoreStatus(table_, cur, status);
    else
        StoreStatusFields(table_, status);
    tellStatusDecoded(status);
    // The reply's level goes to the row and the visit with the status it came with.
    UpdateLinkDisplay();
}

void TaskEngine::tellClockConfirmed(const std::string& clockText) {
    clockSetRows_.erase(table_.CurrentLogger);
    EngineEvent confirmed = event(EngineEvent::ClockConfirmed);
    confirmed.row = table_.CurrentLogger;
    confirmed.text = clockText;
    tell(confirmed);
}

void TaskEngine::tellClockChecked(bool valid, long long seconds, bool leftAlone) {
    EngineEvent checked = event(EngineEvent::ClockChecked);
    checked.row = table_.CurrentLogger;
    checked.clockValid = valid;
    checked.seconds = seconds;
    checked.completed = leftAlone;
    tell(checked);
}

void TaskEngine::setClock(bool first) {
    clockTries_ = first ? 1 : clockTries_ + 1;
    // After a download the row keeps the download's state.
    sendRequest(setClockRequest(), AwaitTimeAck, kind_ != TTaskKind::Download);
}

void TaskEngine::clockTaken() {
    clockSetRows_.insert(table_.CurrentLogger);
    sendRequest("HEADER-", AwaitClockConfirm, kind_ != TTaskKind::Download);
}

void TaskEngine::handleClockStatus() {
    LoggerStatus status;
    if (replyStatus(status)) {
        takeCheckStatus(status);
        const long long seconds = status.clockValid ? deviationOf(status) : 0;
        const bool within = status.clockValid && std::llabs(seconds) <= settings_.clockAllowance();
        const bool leftAlone = within || settings_.clockCheckOnly();
        tellClockChecked(status.clockValid, seconds, leftAlone);
        if (leftAlone) {
            ShowState(TaskDone);
            // Set in an earlier attempt whose confirming status was lost.
            if (within && clockSetRows_.count(table_.CurrentLogger))
                tellClockConfirmed(dt::formatDateTime(status.clock));
            finish();
            return;
        }
        setClock(true);
        return;
    }
    if (replyIs("EMPTY")) {
        // A logger with an empty memory tells no clock: it is set unseen, and left when only checking.
        if (settings_.clockCheckOnly()) {
            ShowState(NoMeasurements);
            finish();
            return;
        }
        setClock(true);
        return;
    }
    retransmit();
}

void TaskEngine::handleClockConfirm() {
    LoggerStatus status;
    if (replyStatus(status)) {
        ByteCount += static_cast<int>(ReplyData.size());
        if (status.clockValid && std::llabs(deviationOf(status)) <= clockTolerance()) {
            if (kind_ != TTaskKind::Download)
                ShowState(TaskDone);
            tellClockConfirmed(dt::formatDateTime(status.clock));
            finish();
            return;
        }
        // The logger said it took the time but keeps another: once more, then the next attempt.
        if (clockTries_ < kClockSetTries) {
            FailureCount += 1;
            UpdateLinkDisplay();
            setClock(false);
        } else {
            finish();
        }
        return;
    }
    if (replyIs("EMPTY")) {
        // Nothing to read the clock from: the acknowledgement is all there is.
        if (kind_ != TTaskKind::Download)
            ShowState(TaskDone);
        tellClockConfirmed(TimeText);
        finish();
        return;
    }
    retransmit();
}

int TaskEngine::unarchivedOf(const LoggerStatus& status) const {
    if (status.measureCount <= 0)
        return 0;
    // Records without a clock to place them by cannot be found in the archive.
    if (!status.clockValid || !sink_)
        return status.measureCount;
    // The memory holds measureCount records a period apart up to the records' clock (without the
    // advance); a period either side allows for a clock set meanwhile.
    const int64_t period = int64_t{std::max(1, status.period)} * 3600;
    const int64_t newest = dt::toSeconds(status.clock) - status.advanceSeconds;
    const int64_t oldest = newest - int64_t{status.measureCount} * period;
    const std::optional<int> kept =
        sink_->keptBetween(currentName(), dt::fromSeconds(oldest - period), dt::fromSeconds(newest + period));
    if (!kept)
        return status.measureCount;
    return std::max(0, status.measureCount - *kept);
}

void TaskEngine::handleEraseStatus() {
    LoggerStatus status;
    if (replyStatus(status)) {
        takeCheckStatus(status);
        const int missing = unarchivedOf(status);
        if (missing > 0) {
            // The user may be away: the logger's time runs only once the answer is in.
            stopLimit();
            setReception(false);
            EngineEvent q = event(EngineEvent::Question);
            q.row = table_.CurrentLogger;
            q.records = missing;
            tell(q);
            if (!running_)
                return;
            if (!q.answer) {
                eraseKept_.insert(table_.CurrentLogger);
                ShowState(StatusLoaded);
                finish();
                return;
            }
        }
        sendRequest("ERASE--", AwaitEraseAck);
        return;
    }
    // An empty memory has nothing to lose.
    if (replyIs("EMPTY")) {
        sendRequest("ERASE--", AwaitEraseAck);
        return;
    }
    retransmit();
}
