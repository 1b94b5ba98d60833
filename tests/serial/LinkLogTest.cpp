// The link log: what the decorator notes of a port reads back byte for byte.
#include "serial/LinkLog.h"
#include "ScriptedSerialOs.h"
#include "platform/FakeClock.h"
#include "serial/LinkLogSerialOs.h"

#include <gtest/gtest.h>

#include <numeric>

TEST(LinkLog, EveryByteBothWaysAndTheWordsBetweenReadBackInOrderWithTheirTimes) {
    FakeClock clock;
    LinkLog log(clock);
    log.openInMemory();
    std::vector<uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    clock.sleepMs(7);
    log.bytes(LinkLog::kOut, all.data(), all.size()); // many lines, bytes of every value
    clock.sleepMs(15);
    log.event("логгер D4071534826:\r\nстатус"); // a line break stays within its entry
    log.bytes(LinkLog::kIn, all.data() + 250, 6);
    log.port("RTS 0");

    const std::vector<LinkLogEntry> entries = parseLinkLog(log.text());
    ASSERT_EQ(entries.size(), 4u) << log.text();
    EXPECT_EQ(entries[0].mark, LinkLog::kOut);
    EXPECT_EQ(entries[0].ms, 7u);
    EXPECT_EQ(entries[0].bytes, all);
    EXPECT_EQ(entries[1].mark, LinkLog::kEvent);
    EXPECT_EQ(entries[1].ms, 22u);
    EXPECT_EQ(entries[1].text, "логгер D4071534826:  статус");
    EXPECT_EQ(entries[2].bytes, std::vector<uint8_t>(all.begin() + 250, all.end()));
    EXPECT_EQ(entries[3].mark, LinkLog::kPort);
    EXPECT_EQ(entries[3].text, "RTS 0");
}

// A log edited by hand or joined from pieces: foreign lines are skipped, and a line without a
// time continues only the bytes of its own direction just before it.
TEST(LinkLog, ForeignLinesAreSkippedAndContinuationsNeverJoinAnotherEntry) {
    const std::string text = "# heading\n"
                             "      10 > 23 3F  |#?|\n"
                             "         < 41 42\n" // no read to continue
                             "      12 < 41\n"
                             "         < 42 43\n" // continues the read
                             "garbage 99 > 00\n"
                             "      13 = DTR 1\n"
                             "         < 44\n"     // after a port line: nothing to continue
                             "99999999999 > 01\n"; // a time beyond 32 bits
    const std::vector<LinkLogEntry> e = parseLinkLog(text);
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].bytes, (std::vector<uint8_t>{0x23, 0x3F}));
    EXPECT_EQ(e[1].bytes, (std::vector<uint8_t>{0x41, 0x42, 0x43}));
    EXPECT_EQ(e[2].text, "DTR 1");
}

TEST(LinkLogSerialOs, ThePortPassesThroughUnchangedAndWhatWentOverItIsNoted) {
    FakeClock clock;
    ScriptedSerialOs inner(clock);
    inner.devices[6] = ScriptedSerialOs::answering("?M");
    LinkLog log(clock);
    LinkLogSerialOs os(inner, log);
    ASSERT_TRUE(os.open("\\\\.\\COM6"));
    uint32_t n = 0;
    const uint8_t cmd[] = {'#', '?'};
    os.setRts(false);
    ASSERT_TRUE(os.write(cmd, 2, n));
    EXPECT_TRUE(log.text().empty()) << "nothing is noted while the log is closed";

    log.openInMemory();
    ASSERT_TRUE(os.write(cmd, 2, n));
    uint8_t buf[8];
    uint32_t got = 0;
    ASSERT_TRUE(os.read(buf, sizeof buf, got));
    ASSERT_EQ(got, 4u); // the device answered both
    EXPECT_EQ(inner.written.size(), 4u);
    const std::vector<LinkLogEntry> e = parseLinkLog(log.text());
    ASSERT_EQ(e.size(), 2u) << log.text();
    EXPECT_EQ(e[0].bytes, (std::vector<uint8_t>{'#', '?'}));
    EXPECT_EQ(e[1].mark, LinkLog::kIn);
    EXPECT_EQ(e[1].bytes, (std::vector<uint8_t>{'?', 'M', '?', 'M'}));
}
