#include "sim/LinkReplay.h"

#include <algorithm>

LinkReplay::LinkReplay(const std::vector<LinkLogEntry>& entries) {
    writes_.emplace_back();
    uint32_t lastWriteMs = 0;
    for (const LinkLogEntry& e : entries) {
        if (e.mark == LinkLog::kOut && !e.bytes.empty()) {
            writes_.push_back({e.bytes, {}});
            lastWriteMs = e.ms;
        } else if (e.mark == LinkLog::kIn && !e.bytes.empty()) {
            // A log's times only grow; one that does not (edited, joined) counts as no wait.
            const uint32_t delay = e.ms >= lastWriteMs ? e.ms - lastWriteMs : 0;
            writes_.back().answer.push_back({delay > kReadLagMs ? delay - kReadLagMs : 0, e.bytes});
        }
    }
    for (const Part& p : writes_.front().answer)
        pending_.push_back({p.delayMs, p.bytes});
}

namespace {
// name + "T" + day, month, year, hour, minute, second
constexpr size_t kClockBytes = 6;

// How many leading bytes of a logged write must be the same in this run: all but a clock's.
size_t fixedBytes(const std::vector<uint8_t>& logged) {
    const size_t n = logged.size();
    return n > kClockBytes + 1 && logged[n - kClockBytes - 1] == 'T' ? n - kClockBytes : n;
}

// The program's bytes so far may still grow into the logged write.
bool mayBecome(const std::vector<uint8_t>& logged, const std::vector<uint8_t>& partial) {
    const size_t n = std::min(partial.size(), fixedBytes(logged));
    return partial.size() < logged.size() &&
           std::equal(partial.begin(), partial.begin() + static_cast<long>(n), logged.begin());
}
} // namespace

bool LinkReplay::matches(const std::vector<uint8_t>& logged, const std::vector<uint8_t>& now) {
    return logged.size() == now.size() &&
           std::equal(logged.begin(), logged.begin() + static_cast<long>(fixedBytes(logged)), now.begin());
}

void LinkReplay::written(const uint8_t* data, size_t size, uint64_t nowMs) {
    unmatched_.insert(unmatched_.end(), data, data + size);
    takeWrite(nowMs);
}

// The program's bytes may come in other pieces than the log's: a logged write is matched once
// as many bytes have come; bytes that match no logged write within the next few are dropped.
void LinkReplay::takeWrite(uint64_t nowMs) {
    constexpr size_t kLookAhead = 8;
    while (!unmatched_.empty() && nextWrite_ < writes_.size()) {
        bool waiting = false;
        bool found = false;
        for (size_t k = nextWrite_; k < writes_.size() && k < nextWrite_ + kLookAhead; ++k) {
            const std::vector<uint8_t>& w = writes_[k].bytes;
            if (unmatched_.size() < w.size()) {
                waiting = waiting || mayBecome(w, unmatched_);
                continue;
            }
            const std::vector<uint8_t> head(unmatched_.begin(),
                                            unmatched_.begin() + static_cast<long>(w.size()));
            if (!matches(w, head))
                continue;
            unmatched_.erase(unmatched_.begin(), unmatched_.begin() + static_cast<long>(w.size()));
            for (const Part& p : writes_[k].answer)
                pending_.push_back({nowMs + p.delayMs, p.bytes});
            nextWrite_ = k + 1;
            found = true;
            break;
        }
        if (found)
            continue;
        if (waiting)
            return;
        // A request sent again is answered again, as a logger answers every copy it hears.
        const std::vector<uint8_t>& last = writes_[nextWrite_ - 1].bytes;
        if (nextWrite_ > 1 && unmatched_.size() >= last.size() &&
            matches(last, std::vector<uint8_t>(unmatched_.begin(),
                                               unmatched_.begin() + static_cast<long>(last.size())))) {
            unmatched_.erase(unmatched_.begin(), unmatched_.begin() + static_cast<long>(last.size()));
            for (const Part& p : writes_[nextWrite_ - 1].answer)
                pending_.push_back({nowMs + p.delayMs, p.bytes});
            continue;
        }
        // No logged write starts here: this piece was never heard in the log's run.
        unmatched_.clear();
    }
}

uint64_t LinkReplay::nextDueMs() const {
    return pending_.empty() ? UINT64_MAX : pending_.front().atMs;
}

std::vector<uint8_t> LinkReplay::due(uint64_t nowMs) {
    std::vector<uint8_t> out;
    while (!pending_.empty() && pending_.front().atMs <= nowMs) {
        out.insert(out.end(), pending_.front().bytes.begin(), pending_.front().bytes.end());
        pending_.erase(pending_.begin());
    }
    return out;
}
