// The download steps of the task engine: the status, the plan, and the blocks of one logger's turn.
#include "engine/EngineEvents.h"
#include "engine/IntRange.h"
#include "engine/LoggerTable.h"
#include "engine/RecordSink.h"
#include "engine/TaskEngine.h"
#include "modem/ModemSender.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

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

std::string be16Text(int value) {
    return std::string{static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

int64_t secondsOf(TDateTime t) {
    return dt::toSeconds(t);
}

} // namespace

TDateTime TaskEngine::finishMoment() const {
    return settings_.finishGiven() ? settings_.dateFinish() : taskStart_;
}

// The window of this logger's turn, and the plan's begin that reaches it: the date picked, or
// with "только новые" the newest kept record, asked for too so that the new ones are seen to
// reach it.
int TaskEngine::startTurn(const LoggerStatus& status) {
    const TDateTime now = clock_.now();
    periodHours_ = std::max(1, status.period);
    const double periodDays = periodHours_ / 24.0;
    // Records carry the logger's own times: the window the user set on the computer's clock is
    // moved by how far the logger's clock is off, as counting back from its newest record does.
    // That is the records' clock, without the status's advance: with it, the window's begin
    // passes the oldest record asked for in the last minutes of each period.
    // Under a minute is the status's own delay and its whole seconds, not a clock that is off.
    const TDateTime recordClock =
        status.clockValid ? dt::fromSeconds(secondsOf(status.clock) - status.advanceSeconds) : now;
    double skew = status.clockValid ? recordClock - now : 0.0;
    if (std::fabs(skew) < 60.0 / 86400)
        skew = 0.0;
    windowBegin_ = settings_.dateBegin() + skew;
    windowFinish_ = finishMoment() + skew;
    beginExclusive_ = false;
    timeFilter_ = true;
    TDateTime planBegin = settings_.dateBegin();
    TDateTime planFinish = finishMoment();
    const std::optional<KeptNewest> kept =
        sink_ && settings_.onlyNew() ? sink_->newestKept(currentName()) : std::nullopt;
    if (kept && kept->time >= windowBegin_) {
        // The kept record's time is the logger's own.
        const bool erased = kept->measureCount >= 0 && status.measureCount < kept->measureCount;
        const bool clockBehind = status.clockValid && recordClock < kept->time;
        if (erased || clockBehind) {
            // The memory was erased or the clock moved since: the times no longer tell what is new.
            timeFilter_ = false;
            planBegin = now - (status.measureCount + 1.0) * periodDays;
            planFinish = now;
        } else {
            windowBegin_ = kept->time;
            beginExclusive_ = true;
            const int fresh = NewRecordCount(*kept, status.measureCount, status.period, now + skew);
            planBegin = now - (fresh + 1.0) * periodDays;
        }
    }
    const int blocks = PlanDownload(now, planBegin, planFinish, status.sensorCount, status.period,
                                    status.measureCount, settings_.dataBlockPosition());
    maxBatch_ = blockCapacity(status.sensorCount, settings_.dataBlockPosition());
    minBatch_ = std::min(maxBatch_, blockCapacity(status.sensorCount, 3));
    airBatch_ = maxBatch_;
    cutRun_ = 0;
    blockKind_ = BlockKind::Forward;
    forwardStart_ = StartOffset;
    forwardCount_ = BatchRecordCount;
    oldestAsked_ = StartOffset + BatchRecordCount - 1;
    progressBlocks_ = blocks;
    heldRaw_.clear();
    oldest_.reset();
    newest_.reset();
    haveOldestNext_ = haveNewestPrev_ = false;
    newestIsBlockEnd_ = false;
    pending_.clear();
    probeFound_.clear();
    probeTries_ = 0;
    gap_ = false;
    keptInTable_ = 0;
    return blocks;
}

bool TaskEngine::awaitingStatus() const {
    return TaskStep == AwaitStatus || TaskStep == AwaitClockStatus || TaskStep == AwaitClockConfirm ||
           TaskStep == AwaitEraseStatus;
}

bool TaskEngine::replyStatus(LoggerStatus& status) const {
    // At least the name and the sensor count: the exact length check of the decoding decides.
    return replyIs("START") && ReplyData.size() >= currentName().size() + 4 &&
           DecodeStatus(ReplyData.data(), ReplyData.size(), currentName(), currentYear(), status) == StatusOk;
}

void TaskEngine::tellStatusDecoded(const LoggerStatus& status) {
    ByteCount += static_cast<int>(ReplyData.size());
    statusClockValid_ = status.clockValid;
    EngineEvent decoded = event(EngineEvent::StatusDecoded);
    decoded.row = table_.CurrentLogger;
    decoded.clockValid = status.clockValid;
    if (!status.clockValid)
        decoded.text = status.clockRaw;
    tell(decoded);
}

void TaskEngine::handleStatus() {
    LoggerStatus status;
    if (replyStatus(status)) {
        const int cur = table_.CurrentLogger;
        // Records held at this point come from an earlier turn of this download, which asks for
        // the whole period again: keep each record once, and the lists in step with a sensor
        // count that may have changed. What that turn gave up is asked again.
        if (!table_.loggers[static_cast<size_t>(cur)].RecordTimes.empty())
            table_.dropRecords(cur);
        countGivenUp(-table_.loggers[static_cast<size_t>(cur)].GivenUpRecords);
        StoreStatus(table_, cur, status);
        tellStatusDecoded(status);
        turnClockValid_ = status.clockValid;
        turnDeviation_ = status.clockValid ? deviationOf(status) : 0;

        const int blocks = startTurn(status);
        if (BatchRecordCount > 0) {
            restartLimit();
            setProgress(0, blocks, EngineEvent::Phase::Load);
            requestBlock();
            ShowState(StatusLoaded);
        } else {
            ShowState(NoMeasurements);
            finish();
        }
        return;
    }
    if (replyIs("EMPTY")) {
        ShowState(NoMeasurements);
        finish();
        return;
    }
    retransmit();
}

void TaskEngine::handleBlock() {
    closeBlockReception();
    if (BatchRecordCount <= 0 || overlong_) {
        retransmit();
        return;
    }
    if (textIntact_ && replyIs("EMPTY") && dataBytes_ == 0) {
        ShowState(NoMeasurements);
        finish();
        return;
    }
    // A damaged or lost text packet with data behind it was this logger's "START"; a whole text
    // that says anything else is not this block's reply.
    if (textIntact_ ? !replyIs("START") : dataBytes_ == 0) {
        retransmit();
        return;
    }
    // The answer to a request sent earlier, whose retransmission was answered first, may come
    // in place of this block's: it holds records already kept, and this block is asked again.
    // A logger that keeps repeating itself is taken as it is after a few tries.
    if (blockKind_ != BlockKind::Probe && replyHeldAlready() && ++staleReplies_ < kBlockTries) {
        retransmit();
        return;
    }
    // The reply's tail never came: it was cut off, or lost with the packets after it.
    const int packets = static_cast<int>((ReplyData.size() + kMaxPacketPayload - 1) / kMaxPacketPayload);
    adaptRequestSize(lastPacket_ < packets, !flawed_);
    // What is missing is asked for again, each record a few times, so that a damaged memory
    // region cannot hold the logger to its time limit.
    ByteCount += static_cast<int>(dataBytes_);
    if (mergeReply() > 0) {
        // A part of the block not asked for yet is no failure; a record asked for and not had is.
        const auto asked = mergedValid_.begin() + partFirst_;
        askMissing(flawed_ || std::find(asked, asked + BatchRecordCount, 0) != asked + BatchRecordCount);
        return;
    }
    // A damaged reply counts once, even when what it lacked had come before.
    if (flawed_) {
        FailureCount += 1;
        UpdateLinkDisplay();
    }
    StartOffset = blockStart_;
    BatchRecordCount = blockCount_;
    acceptBlock();
}

bool TaskEngine::replyHeldAlready() const {
    const size_t len = static_cast<size_t>(RecordLength);
    const int n = table_.StatusSensorCount;
    const int year = currentYear();
    std::vector<int16_t> readings(static_cast<size_t>(std::max(0, n)));
    int good = 0;
    for (size_t at = 0; at + len <= ReplyData.size() && at + len <= have_.size(); at += len) {
        TDateTime time = 0;
        int16_t voltage = 0;
        if (std::find(have_.begin() + static_cast<std::ptrdiff_t>(at),
                      have_.begin() + static_cast<std::ptrdiff_t>(at + len),
                      0) != have_.begin() + static_cast<std::ptrdiff_t>(at + len) ||
            !DecodeRecord(ReplyData.data() + at, n, year, time, voltage, readings.data()))
            continue;
        if (!heldRaw_.count(std::vector<uint8_t>(ReplyData.begin() + static_cast<std::ptrdiff_t>(at),
                                                 ReplyData.begin() + static_cast<std::ptrdiff_t>(at + len))))
            return false;
        ++good;
    }
    return good > 0;
}

TaskEngine::Positions TaskEngine::acceptedPositions() const {
    const size_t len = static_cast<size_t>(RecordLength);
    const int n = table_.StatusSensorCount;
    const int year = currentYear();
    Positions out(mergedValid_.size());
    for (size_t r = 0; r < mergedValid_.size(); ++r) {
        if (!mergedValid_[r])
            continue;
        HeldRecord h;
        h.raw.assign(merged_.begin() + static_cast<std::ptrdiff_t>(r * len),
                     merged_.begin() + static_cast<std::ptrdiff_t>((r + 1) * len));
        h.readings.resize(static_cast<size_t>(std::max(0, n)));
        if (DecodeRecord(h.raw.data(), n, year, h.time, h.voltage, h.readings.data()))
            out[r] = std::move(h);
    }
    return out;
}

void TaskEngine::acceptBlock() {
    Positions block = acceptedPositions();
    // The archive takes every good record as it comes, whatever part of the window it lies in.
    if (sink_) {
        const RecordBatch batch = DecodeRecords(merged_.data(), merged_.size(), BatchRecordCount,
                                                table_.StatusSensorCount, currentYear());
        sink_->blockAccepted(table_, table_.CurrentLogger, batch, table_.StatusMeasureCount,
                             newestKeptOffset());
    }
    const int givenUp = static_cast<int>(std::count(block.begin(), block.end(), std::nullopt));
    switch (blockKind_) {
    case BlockKind::Forward:
        countGivenUp(givenUp);
        advanceProgress();
        forwardArrived(block);
        break;
    case BlockKind::Older:
        countGivenUp(givenUp);
        advanceProgress();
        olderArrived(block);
        break;
    case BlockKind::Probe:
        // A damaged record here is one the gap may have lacked.
        gap_ = gap_ || givenUp > 0;
        probeArrived(block);
        break;
    }
}

void TaskEngine::forwardArrived(Positions& block) {
    if (newest_ && boundaryInDoubt(block)) {
        pending_ = std::move(block);
        probeFound_.clear();
        probeTries_ = 0;
        // The previous forward block began where this one ends.
        askProbe(forwardStart_ + forwardCount_);
        return;
    }
    const bool first = heldRaw_.empty();
    keepAll(block, false);
    newestIsBlockEnd_ = !block.empty() && block.back().has_value();
    if (first && needOlder()) {
        askOlder();
        return;
    }
    continueForward();
}

void TaskEngine::olderArrived(Positions& block) {
    keepAll(block, true);
    if (needOlder())
        askOlder();
    else
        continueForward();
}

// The probe's reply, oldest first, holds the newest record before the gap and what followed it,
// unless the memory moved on by more than the probe's length: then the next probe looks further
// back. Records behind the newest before the gap are held already.
void TaskEngine::probeArrived(Positions& block) {
    std::vector<HeldRecord> found;
    bool reached = false;

    for (std::optional<HeldRecord>& p : block) {
        if (!p)
            continue;
        if (p->raw == newest_->raw) {
            reached = true;
            found.clear();
            continue;
        }
        found.push_back(std::move(*p));
    }
    probeFound_.insert(probeFound_.begin(), std::make_move_iterator(found.begin()),
                       std::make_move_iterator(found.end()));
    if (!reached && !gap_ && ++probeTries_ < kProbeTries) {
        askProbe(probeOffset_ + BatchRecordCount);
        return;
    }
    gap_ = gap_ || !reached;
    for (const HeldRecord& r : probeFound_)
        keep(r, false);
    probeFound_.clear();
    keepAll(pending_, false);
    newestIsBlockEnd_ = !pending_.empty() && pending_.back().has_value();
    pending_.clear();
    continueForward();
}

// Where a block meets the records before it, their times should follow one another at about the
// logger's spacing: a wider gap, or time running back, may be a record the shift hid.
bool TaskEngine::boundaryInDoubt(const Positions& block) const {
    // A record given up on either side leaves the logger partly loaded anyway.
    if (!newestIsBlockEnd_ || block.empty() || !block.front())
        return false;
    const HeldRecord& first = *block.front();
    if (first.raw == newest_->raw)
        return false; // sent again: kept once
    const int64_t newest = secondsOf(newest_->time);
    int64_t spacing = int64_t(periodHours_) * 3600;
    if (haveNewestPrev_ && newest > secondsOf(newestPrev_))
        spacing = std::min(spacing, newest - secondsOf(newestPrev_));
    if (block.size() > 1 && block[1] && block[1]->time > first.time)
        spacing = std::min(spacing, secondsOf(block[1]->time) - secondsOf(first.time));
    const int64_t gap = secondsOf(first.time) - newest;

    return gap <= 0 || 2 * gap > 3 * spacing;
}

int64_t TaskEngine::spacingSeconds(bool atNewest) const {
    const int64_t period = int64_t(periodHours_) * 3600;
    int64_t s = 0;
    if (atNewest && haveNewestPrev_ && newest_)
        s = secondsOf(newest_->time) - secondsOf(newestPrev_);
    else if (!atNewest && haveOldestNext_ && oldest_)
        s = secondsOf(oldestNext_) - secondsOf(oldest_->time);
    return s > 0 ? s : period;
}

// The oldest record of the turn may not reach the begin: the period changed, or the memory moved
// on since the status. "только новые" goes on until it meets the newest kept record itself.
bool TaskEngine::needOlder() const {
    if (!timeFilter_ || !oldest_ || oldestAsked_ + 1 >= table_.StatusMeasureCount)
        return false;
    const int64_t oldest = secondsOf(oldest_->time);
    const int64_t begin = secondsOf(windowBegin_);
    if (beginExclusive_)
        return oldest > begin;
    return oldest - spacingSeconds(false) > begin;
}

bool TaskEngine::needNewer() const {
    if (!timeFilter_ || !newest_ || forwardStart_ <= 0)
        return false;
    return secondsOf(newest_->time) + spacingSeconds(true) < secondsOf(windowFinish_);
}

void TaskEngine::askOlder() {
    const int offset = oldestAsked_ + 1;
    const int64_t behind = secondsOf(oldest_->time) - secondsOf(windowBegin_);
    const int64_t want = behind / spacingSeconds(false) + 1;
    const int room = std::min(maxBatch_, table_.StatusMeasureCount - offset);
    const int count = static_cast<int>(std::clamp<int64_t>(want, 1, std::max(1, room)));
    oldestAsked_ = offset + count - 1;
    setProgress(progress_, ++progressBlocks_, phase_);
    askBlock(BlockKind::Older, offset, count);
}

void TaskEngine::askProbe(int offset) {
    probeOffset_ = offset;
    askBlock(BlockKind::Probe, offset, std::clamp(table_.StatusMeasureCount - offset, 1, 2));
}

void TaskEngine::askBlock(BlockKind kind, int offset, int count) {
    blockKind_ = kind;
    StartOffset = offset;
    BatchRecordCount = count;
    if (kind == BlockKind::Forward) {
        forwardStart_ = offset;
        forwardCount_ = count;
    }
    BlockFailures = 0;
    restartLimit();
    requestBlock();
    ShowState(PartlyLoaded);
}

void TaskEngine::continueForward() {
    StartOffset = forwardStart_;
    BatchRecordCount = forwardCount_;
    if (NextBlock()) {
        askBlock(BlockKind::Forward, StartOffset, BatchRecordCount);
        return;
    }
    if (needNewer()) {
        // The records stop short of the finish: the period changed, so ask on towards it.
        const int64_t ahead = secondsOf(windowFinish_) - secondsOf(newest_->time);
        const int extra =
            static_cast<int>(std::clamp<int64_t>(ahead / spacingSeconds(true), 1, forwardStart_));
        StartOffset = forwardStart_;
        EndOffset = forwardStart_ - extra;
        BatchRecordCount = maxBatch_;
        if (NextBlock()) {
            setProgress(progress_, ++progressBlocks_, phase_);
            askBlock(BlockKind::Forward, StartOffset, BatchRecordCount);
            return;
        }
    }
    endTurn();
}

void TaskEngine::endTurn() {
    // A gap no request could close: at least one record is missing from the file.
    if (gap_)
        countGivenUp(1);
    const bool complete =
        !currentValid() || table_.loggers[static_cast<size_t>(table_.CurrentLogger)].GivenUpRecords == 0;
    // Records given up are missing from the file: the logger is not done, and the next attempt
    // asks it again.
    if (!complete)
        ShowState(PartlyLoaded);
    else
        ShowState(keptInTable_ > 0 ? TaskDone : NoMeasurements);
    finish();
}

bool TaskEngine::inWindow(TDateTime t) const {
    if (!timeFilter_)
        return true;
    // The status clock reads whole seconds and comes a moment late: a record on the edge of the
    // window stays in it.
    constexpr int64_t kSlack = 2;
    const int64_t s = secondsOf(t);
    const int64_t begin = secondsOf(windowBegin_);
    return (beginExclusive_ ? s > begin : s >= begin - kSlack) && s <= secondsOf(windowFinish_) + kSlack;
}

bool TaskEngine::keep(const HeldRecord& r, bool atFront) {
    // A record the logger sent twice in this turn is one record.
    if (!heldRaw_.insert(r.raw).second)
        return false;
    if (heldRaw_.size() == 1) {
        oldest_ = r;
        newest_ = r;
    } else if (atFront) {
        if (heldRaw_.size() == 2) {
            newestPrev_ = r.time;
            haveNewestPrev_ = true;
        }
        oldestNext_ = oldest_->time;
        haveOldestNext_ = true;
        oldest_ = r;
    } else {
        if (heldRaw_.size() == 2) {
            oldestNext_ = r.time;
            haveOldestNext_ = true;
        }
        newestPrev_ = newest_->time;
        haveNewestPrev_ = true;
        newest_ = r;
    }
    if (!inWindow(r.time) || !currentValid())
        return true;
    const int cur = table_.CurrentLogger;
    const size_t at = atFront ? 0 : table_.loggers[static_cast<size_t>(cur)].RecordTimes.size();
    table_.insertRecord(cur, at, r.time, r.voltage, r.readings.data(), r.readings.size());
    ++keptInTable_;
    return true;
}

void TaskEngine::keepAll(const Positions& block, bool atFront) {
    int good = 0, fresh = 0;
    const auto one = [&](const std::optional<HeldRecord>& p) {
        if (!p)
            return;
        ++good;
        fresh += keep(*p, atFront) ? 1 : 0;
    };
    if (atFront)
        std::for_each(block.rbegin(), block.rend(), one);
    else
        std::for_each(block.begin(), block.end(), one);
    // A block of nothing but records held already came from somewhere else in the memory: the
    // records of its own place are missing.
    gap_ = gap_ || (good > 0 && fresh == 0);
}

void TaskEngine::countGivenUp(int records) {
    if (currentValid())
        table_.loggers[static_cast<size_t>(table_.CurrentLogger)].GivenUpRecords += records;
    DroppedRecords = 0;
    for (const LoggerTable::Logger& l : table_.loggers)
        DroppedRecords += l.GivenUpRecords;
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

// Download plan.

int TaskEngine::blockCapacity(int sensorCount, int blockPosition) {
    const int blockSize = 512 << (3 - std::clamp(blockPosition, 0, 3));
    // 512-byte blocks hold no whole record of 252 sensors or more; one record still fits a reply.
    return std::max(1, blockSize / recordLength(sensorCount));
}

int TaskEngine::PlanDownload(TDateTime now, TDateTime begin, TDateTime finish, int sensorCount, int period,
                             int measureCount, int blockPosition) {
    RecordLength = recordLength(sensorCount);
    BatchRecordCount = blockCapacity(sensorCount, blockPosition);
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
    tries_.clear();
    staleReplies_ = 0;
    blockStart_ = StartOffset;
    blockCount_ = BatchRecordCount;
    partFirst_ = 0;
    // A block larger than the link allows now is asked for in parts, oldest first.
    if (BatchRecordCount > airBatch_) {
        StartOffset += BatchRecordCount - airBatch_;
        BatchRecordCount = airBatch_;
    }
    TaskStep = AwaitBlock;
    LastCommand = blockRequest();
    sendAir(LastCommand);
    setReception(true);
}
