// Block replies over a poor link: every record that came whole in intact packets is kept, and
// only what is still missing is asked for again.
#include "engine/EngineEvents.h"
#include "engine/LoggerTable.h"
#include "engine/TaskEngine.h"
#include "serial/TSerialPortDriver.h"

#include <algorithm>
#include <cstring>
#include <optional>

void TaskEngine::resetBlockReception() {
    packet_.clear();
    have_.clear();
    baseKnown_ = false;
    lastPacket_ = -1;
    textIntact_ = false;
    allFull_ = true;
    flawed_ = false;
    overlong_ = false;
    framingLost_ = false;
    dataBytes_ = 0;
    unconfirmed_.clear();
    unconfirmedNumber_ = -1;
    leftoverDropped_ = false;
    if (TaskStep == AwaitBlock && BatchRecordCount > 0) {
        const size_t expected = static_cast<size_t>(BatchRecordCount) * static_cast<size_t>(RecordLength);
        ReplyData.assign(expected, 0);
        have_.assign(expected, 0);
    }
}

void TaskEngine::frameBlock(uint32_t n) {
    if (have_.size() != ReplyData.size() || (ReplyData.empty() && BatchRecordCount > 0))
        resetBlockReception();
    for (uint32_t i = 0; i < n && !framingLost_; ++i) {
        const uint8_t b = buffer_[i];
        if (PacketPos == 0) {
            PacketLength = static_cast<uint8_t>(b + 1);
            // A length that cannot be leaves no way to find the packets after it.
            if (PacketLength < 5 || PacketLength > 63) {
                framingLost_ = flawed_ = true;
                return;
            }
            packet_.clear();
        }
        packet_.push_back(b);
        if (++PacketPos >= PacketLength) {
            PacketPos = 0;
            blockPacket();
        }
    }
}

void TaskEngine::blockPacket() {
    const size_t length = packet_.size();
    const uint8_t sequence = packet_[1];
    SignalLevel = levelOfStrength(packet_[length - 2]);
    const bool intact = packet_[length - 1] >= 0x80;
    const uint8_t* payload = packet_.data() + 2;
    const size_t size = length - 4;

    // Which packet of the reply this is, by its sequence number: 0 the text, 1… the data.
    int number = 0;
    if (!baseKnown_) {
        if (AcceptSequence) {
            AcceptSequence = false;
        } else {
            const uint8_t ahead = static_cast<uint8_t>(sequence - static_cast<uint8_t>(SequenceNumber + 1));
            if (ahead >= 128) {
                flawed_ = true; // from before the request: not this reply's
                return;
            }
            const std::string& name = currentName();
            const bool text =
                !name.empty() && size >= name.size() && std::memcmp(payload, name.data(), name.size()) == 0;
            // One packet left over from the reply before may come first; a second such one is
            // this reply's own text, damaged.
            if (ahead == 0 && intact && !text && !leftoverDropped_) {
                leftoverDropped_ = true;
                SequenceNumber = sequence;
                return;
            }
            number = ahead;
        }
        baseKnown_ = true;
        baseSequence_ = static_cast<uint8_t>(sequence - number);
    } else {
        number = static_cast<uint8_t>(sequence - baseSequence_);
    }
    if (number <= lastPacket_) {
        flawed_ = true; // again or out of order
        unconfirmed_.clear();
        return;
    }
    const bool afterGap = number > lastPacket_ + 1;
    if (afterGap)
        flawed_ = true; // packets lost before this one
    if (!unconfirmed_.empty()) {
        if (!afterGap)
            placeData(unconfirmedNumber_, unconfirmed_.data(), unconfirmed_.size());
        unconfirmed_.clear();
    }
    lastPacket_ = number;
    SequenceNumber = sequence;
    ++PacketCount;

    if (number == 0) {
        textIntact_ = intact;
        flawed_ = flawed_ || !intact;
        if (intact)
            ReplyText.assign(reinterpret_cast<const char*>(payload), size);
        return;
    }
    // More packets than the request's bytes fill: a reply to something else.
    if (static_cast<size_t>(number - 1) * kMaxPacketPayload >= ReplyData.size()) {
        overlong_ = flawed_ = true;
        return;
    }
    // A data packet's place is certain while every one before it carried a whole payload: only
    // the last is shorter.
    const bool placeKnown = allFull_;
    allFull_ = allFull_ && size == kMaxPacketPayload;
    if (!intact || !placeKnown) {
        flawed_ = true;
        return;
    }
    if (afterGap) {
        unconfirmed_.assign(payload, payload + size);
        unconfirmedNumber_ = number;
        return;
    }
    placeData(number, payload, size);
}

void TaskEngine::placeData(int number, const uint8_t* payload, size_t size) {
    const size_t at = static_cast<size_t>(number - 1) * kMaxPacketPayload;
    if (at + size > ReplyData.size()) {
        overlong_ = flawed_ = true;
        return;
    }
    std::memcpy(ReplyData.data() + at, payload, size);
    std::fill(have_.begin() + static_cast<std::ptrdiff_t>(at),
              have_.begin() + static_cast<std::ptrdiff_t>(at + size), uint8_t{1});
    dataBytes_ += size;
}

// The packet that carries the reply's last byte has come: what else it lacks will not follow.
bool TaskEngine::blockReplyOver() const {
    if (ReplyData.empty() || PacketPos != 0)
        return false;
    const int packets = static_cast<int>((ReplyData.size() + kMaxPacketPayload - 1) / kMaxPacketPayload);
    return lastPacket_ >= packets;
}

// The last packet after a gap has no next one to vouch for its place: its number and a length
// that is just the rest of the reply do.
void TaskEngine::closeBlockReception() {
    if (unconfirmed_.empty())
        return;
    const size_t at = static_cast<size_t>(unconfirmedNumber_ - 1) * kMaxPacketPayload;
    if (unconfirmedNumber_ == lastPacket_ && at + unconfirmed_.size() == ReplyData.size())
        placeData(unconfirmedNumber_, unconfirmed_.data(), unconfirmed_.size());
    unconfirmed_.clear();
}

bool TaskEngine::blockReplyWhole() const {
    return !flawed_ && PacketPos == 0 && textIntact_ && !ReplyData.empty() &&
           dataBytes_ == ReplyData.size() && replyIs("START");
}

int TaskEngine::mergeReply() {
    const size_t len = static_cast<size_t>(RecordLength);
    const size_t count = static_cast<size_t>(blockCount_);
    if (merged_.size() != len * count || mergedValid_.size() != count || tries_.size() != count) {
        merged_.assign(len * count, 0);
        mergedValid_.assign(count, 0);
        tries_.assign(count, 0);
    }
    const int n = table_.StatusSensorCount;
    const int year = currentYear();
    std::vector<int16_t> readings(static_cast<size_t>(std::max(0, n)));
    const size_t part = static_cast<size_t>(std::max(0, BatchRecordCount));
    std::vector<uint8_t> good(part, 0), came(part, 0);
    bool moved = false;
    for (size_t r = 0; r < part; ++r) {
        const size_t at = r * len;
        if (at + len > ReplyData.size() || !std::all_of(have_.begin() + static_cast<std::ptrdiff_t>(at),
                                                        have_.begin() + static_cast<std::ptrdiff_t>(at + len),
                                                        [](uint8_t h) { return h != 0; }))
            continue;
        came[r] = 1;
        TDateTime time = 0;
        int16_t voltage = 0;
        const uint8_t* rec = ReplyData.data() + at;
        good[r] = DecodeRecord(rec, n, year, time, voltage, readings.data()) ? 1 : 0;
        const size_t i = static_cast<size_t>(partFirst_) + r;
        if (!good[r] || i >= count)
            continue;
        if (mergedValid_[i])
            moved = moved || std::memcmp(rec, merged_.data() + i * len, len) != 0;
        else if (partFirst_ != 0 || part != count)
            moved = moved || !fitsBetweenHeld(i, rec, time);
    }
    // The logger took a new measurement between two replies: its offsets moved on, and the
    // records kept from the earlier replies no longer belong to these places.
    if (moved) {
        std::fill(merged_.begin(), merged_.end(), 0); // zero bytes never decode (day 0)
        std::fill(mergedValid_.begin(), mergedValid_.end(), 0);
        std::fill(tries_.begin(), tries_.end(), 0);
        if (partFirst_ != 0 || part != count)
            return static_cast<int>(count); // placed by the old offsets: the whole block again
    }
    for (size_t r = 0; r < part; ++r) {
        const size_t i = static_cast<size_t>(partFirst_) + r;
        if (i >= count || mergedValid_[i])
            continue;
        // A record that came and failed its check has had a try; one the link lost is asked
        // again until the time limit, as a damaged reply always was.
        if (good[r]) {
            std::memcpy(merged_.data() + i * len, ReplyData.data() + r * len, len);
            mergedValid_[i] = 1;
        } else if (came[r] && tries_[i] < 255) {
            ++tries_[i];
        }
    }
    int missing = 0;
    for (size_t i = 0; i < count; ++i)
        missing += !mergedValid_[i] && tries_[i] < kBlockTries ? 1 : 0;
    return missing;
}

// A record asked for on its own must be the one of its place: not one held at another place of
// the block (the memory moved on by a record since), and, where the records around it run in time
// order, later than the held one before it and earlier than the held one after it.
bool TaskEngine::fitsBetweenHeld(size_t i, const uint8_t* rec, TDateTime time) const {
    const size_t len = static_cast<size_t>(RecordLength);
    const int n = table_.StatusSensorCount;
    const int year = currentYear();
    std::vector<int16_t> readings(static_cast<size_t>(std::max(0, n)));
    const auto timeAt = [&](size_t k) {
        TDateTime t = 0;
        int16_t v = 0;
        DecodeRecord(merged_.data() + k * len, n, year, t, v, readings.data());
        return dt::toSeconds(t);
    };
    std::optional<int64_t> before, after;
    for (size_t k = 0; k < mergedValid_.size(); ++k) {
        if (!mergedValid_[k])
            continue;
        if (std::memcmp(rec, merged_.data() + k * len, len) == 0)
            return false;
        if (k < i)
            before = timeAt(k);
        else if (!after)
            after = timeAt(k);
    }
    const int64_t t = dt::toSeconds(time);
    if (before && after && *before >= *after)
        return true; // a clock set back in between: the times say nothing here
    return (!before || t > *before) && (!after || t < *after);
}

// The records of a gap between two runs of missing records cost their time on the line when one
// request spans both runs; a request of its own costs the wait for its reply and its text packet.
int TaskEngine::joinRecords() const {
    const double bytesPerMs = std::max<uint32_t>(port_.BaudRateValue(), 1200) / 10.0 / 1000.0;
    const double latencyMs = replyLatencyMs_ >= 0 ? replyLatencyMs_ : 100.0;
    const double requestBytes = latencyMs * bytesPerMs + static_cast<double>(currentName().size() + 5 + 4);
    const double recordBytes = std::max(1, RecordLength) * (kMaxPacketPayload + 4.0) / kMaxPacketPayload;
    return std::max(1, static_cast<int>(requestBytes / recordBytes));
}

// A reply whose tail is lost keeps what came before the cut, and the next request asks for the
// rest: one such reply costs a quiet tick whatever its length, and smaller requests would be cut
// as often. Two in a row are a link that keeps cutting replies short: the requests are halved,
// down to the smallest block size, and each reply that comes whole doubles them again, up to the
// block size setting.
void TaskEngine::adaptRequestSize(bool cutOff, bool clean) {
    if (cutOff) {
        if (++cutRun_ >= 2) {
            airBatch_ = std::max(minBatch_, airBatch_ / 2);
            cutRun_ = 0;
        }
    } else {
        cutRun_ = 0;
        if (clean)
            airBatch_ = std::min(maxBatch_, airBatch_ * 2);
    }
}

// The next request of the block: the first run of records still to ask for, joined with the runs
// close behind it, no longer than the link allows.
void TaskEngine::askMissing(bool failed) {
    const int count = blockCount_;
    const auto wanted = [this](int i) {
        return !mergedValid_[static_cast<size_t>(i)] && tries_[static_cast<size_t>(i)] < kBlockTries;
    };
    int first = 0;
    while (first < count && !wanted(first))
        ++first;
    int last = first;
    const int join = joinRecords();
    for (int i = first + 1; i < count && i - first < airBatch_; ++i) {
        if (!wanted(i))
            continue;
        if (i - last > join)
            break;
        last = i;
    }
    if (first >= count) { // nothing placed at all: the whole block
        first = 0;
        last = std::min(count, airBatch_) - 1;
    } else if (last == count - 1 && first > 0 && mergedValid_[static_cast<size_t>(first - 1)]) {
        // Nothing held after it in the block to tell a moved memory by: one held before it goes
        // along, whose sameness shows the places still hold.
        --first;
    }
    partFirst_ = first;
    StartOffset = blockStart_ + count - 1 - last;
    BatchRecordCount = last - first + 1;
    LastCommand = blockRequest();
    if (failed) {
        ++BlockFailures;
        retransmit();
        return;
    }
    sendAir(LastCommand);
    setReception(true);
}
