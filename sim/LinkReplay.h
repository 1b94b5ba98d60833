#pragma once
#include "serial/LinkLog.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The modem's side of a link log, served back. The program's writes are matched with the ones
// the log holds, in order; what the modem sent after a matched write comes again, about as long
// after it as it did then. The last matched write sent again is answered again; any other write
// the log does not hold gets no answer, as a request lost on the air. A set-clock request
// matches whatever time it carries: it is the time of its own run.
class LinkReplay {
public:
    // A read lags the bytes' arrival by up to one reception tick; each answer comes this much
    // sooner, so that a reply read at once (the identification, 15 ms after its command) is there.
    static constexpr uint32_t kReadLagMs = 50;

    explicit LinkReplay(const std::vector<LinkLogEntry>& entries);

    // The program wrote these bytes at nowMs.
    void written(const uint8_t* data, size_t size, uint64_t nowMs);
    // The bytes due by nowMs, in order.
    std::vector<uint8_t> due(uint64_t nowMs);
    // When the next answer falls due; UINT64_MAX when none waits.
    uint64_t nextDueMs() const;
    // Every logged write has been matched and answered.
    bool finished() const { return nextWrite_ >= writes_.size() && pending_.empty(); }

private:
    struct Part {
        uint32_t delayMs = 0; // after its write
        std::vector<uint8_t> bytes;
    };
    struct Write {
        std::vector<uint8_t> bytes;
        std::vector<Part> answer;
    };
    struct Due {
        uint64_t atMs = 0;
        std::vector<uint8_t> bytes;
    };
    static bool matches(const std::vector<uint8_t>& logged, const std::vector<uint8_t>& now);
    void takeWrite(uint64_t nowMs);

    std::vector<Write> writes_; // the first holds what came before any write
    size_t nextWrite_ = 1;
    std::vector<uint8_t> unmatched_; // the program's bytes not yet matched to a logged write
    std::vector<Due> pending_;
};
