// The modem's side of a link log served back: which of the program's writes are answered, when,
// and with what.
#include "sim/LinkReplay.h"
#include "serial/LinkLog.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

const char* const kLog = "# Kestrovane: журнал связи\n"
                         "       10 > 23 3F\n"
                         "       25 < 3F 4D\n"                   // the identification, read at once
                         "       40 > 41 54 01 02 03 04 05 06\n" // "AT" and a clock
                         "      240 < 4F 4B\n"
                         "      300 > 42 42\n"
                         "      500 < 31\n"
                         "      650 < 32\n";

} // namespace

TEST(LinkReplay, MatchedWritesAreAnsweredAsLongAfterAsThenAndOthersNotAtAll) {
    LinkReplay r(parseLinkLog(kLog));
    EXPECT_EQ(r.nextDueMs(), UINT64_MAX);
    const auto id = bytes("#?");
    r.written(id.data(), id.size(), 1000);
    EXPECT_EQ(r.nextDueMs(), 1000u) << "within a read's lag: at once";
    EXPECT_EQ(r.due(1000), bytes("?M"));

    // The clock carries this run's time; written in two pieces.
    const auto clock = bytes("AT\x09\x08\x07\x06\x05\x04");
    r.written(clock.data(), 3, 2000);
    EXPECT_EQ(r.nextDueMs(), UINT64_MAX);
    r.written(clock.data() + 3, clock.size() - 3, 2001);
    EXPECT_EQ(r.nextDueMs(), 2001u + 200 - LinkReplay::kReadLagMs);
    EXPECT_TRUE(r.due(2100).empty());
    EXPECT_EQ(r.due(2200), bytes("OK"));

    // Never logged: no answer; sent again, the last logged one is answered again.
    const auto other = bytes("ZZZ");
    r.written(other.data(), other.size(), 3000);
    EXPECT_EQ(r.nextDueMs(), UINT64_MAX);
    r.written(clock.data(), clock.size(), 3001);
    EXPECT_EQ(r.due(4000), bytes("OK"));

    const auto last = bytes("BB");
    r.written(last.data(), last.size(), 5000);
    EXPECT_EQ(r.due(5000 + 150), bytes("1"));
    EXPECT_FALSE(r.finished());
    EXPECT_EQ(r.due(5000 + 300), bytes("2"));
    EXPECT_TRUE(r.finished());
}
