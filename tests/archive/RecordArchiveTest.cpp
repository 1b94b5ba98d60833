#include "archive/RecordArchive.h"

#include "ArchiveTestSupport.h"
#include "tests/files/TempDir.h"

#include <gtest/gtest.h>

namespace {

std::vector<int> hoursOf(const HistoryPart& p) {
    std::vector<int> out;
    for (TDateTime t : p.RecordTimes)
        out.push_back(static_cast<int>((dt::toSeconds(t) - dt::toSeconds(testHour(0))) / 3600));
    return out;
}

class RecordArchiveTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(archive.open(dir.file("archive.sqlite"))) << archive.errorText(); }

    TempDir dir;
    RecordArchive archive;
};

TEST_F(RecordArchiveTest, HeldRecordsAreNotStoredTwiceAndDifferingOnesAreKeptAsConflicts) {
    const TestBlock first = testBlock("D0042", 2, 0, 3);
    StoreCounts c = store(archive, first);
    EXPECT_EQ(c.added, 3);

    c = store(archive, first);
    EXPECT_EQ(c.added, 0);
    EXPECT_EQ(c.duplicates, 3);

    // Hour 0 with another voltage, hour 1 with one reading off by one, hour 2 unchanged, and hour 3
    // twice within the block.
    TestBlock second = testBlock("D0042", 2, 0, 4);
    second.voltages[0] += 1;
    second.readings[2 * 1 + 1] += 1;
    second.times.push_back(second.times[3]);
    second.voltages.push_back(second.voltages[3]);
    second.readings.insert(second.readings.end(), {second.readings[6], second.readings[7]});
    c = store(archive, second);
    EXPECT_EQ(c.added, 3);
    EXPECT_EQ(c.conflicts, 2);
    EXPECT_EQ(c.duplicates, 2);

    // A conflicting record, once held, is a duplicate like any other.
    c = store(archive, second);
    EXPECT_EQ(c.added, 0);
    EXPECT_EQ(c.duplicates, 5);

    LoggerHistory h;
    ASSERT_TRUE(archive.history("D0042", h));
    ASSERT_EQ(h.parts.size(), 1u);
    const HistoryPart& p = h.parts[0];
    EXPECT_EQ(hoursOf(p), (std::vector<int>{0, 0, 1, 1, 2, 3}));
    EXPECT_EQ(p.conflict, (std::vector<uint8_t>{0, 1, 0, 1, 0, 0}));
    EXPECT_EQ(p.RecordVoltages[0], first.voltages[0]);
    EXPECT_EQ(p.RecordVoltages[1], second.voltages[0]);
    EXPECT_EQ(p.SensorReadings[1][2], first.readings[3]);
    EXPECT_EQ(p.SensorReadings[1][3], second.readings[3]);
}

TEST_F(RecordArchiveTest, LoggersNewestTimesAndHistoriesAreKeptApart) {
    std::optional<TDateTime> newest = 1.0;
    ASSERT_TRUE(archive.newestRecordTime("D0042", newest));
    EXPECT_FALSE(newest.has_value());

    // Windows-1251 name bytes; one name the prefix of another.
    const std::string named = "D\xC0\xE1\xE2";
    TestBlock later = testBlock(named, 2, 10, 3);
    TestBlock earlier = testBlock(named, 2, 0, 3);
    TestBlock restrung = testBlock(named, 3, 20, 2);
    restrung.identity.StringSerial = -2;
    EXPECT_EQ(store(archive, later, 46001.25).added, 3);
    EXPECT_EQ(store(archive, earlier, 46002.5).added, 3);
    EXPECT_EQ(store(archive, restrung, 46003.75).added, 2);
    EXPECT_EQ(store(archive, testBlock("D0042", 1, 5, 1)).added, 1);
    EXPECT_EQ(store(archive, testBlock("D00421", 1, 5, 1)).added, 1);

    ASSERT_TRUE(archive.newestRecordTime(named, newest));
    ASSERT_TRUE(newest.has_value());
    EXPECT_EQ(dt::toSeconds(*newest), dt::toSeconds(testHour(21)));

    std::vector<ArchivedLogger> list;
    ASSERT_TRUE(archive.loggers(list));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].LoggerName, "D0042");
    EXPECT_EQ(list[1].LoggerName, "D00421");
    EXPECT_EQ(list[2].LoggerName, named);
    EXPECT_EQ(list[2].recordCount, 8);
    EXPECT_EQ(list[2].conflictCount, 0);
    EXPECT_EQ(dt::toSeconds(list[2].firstTime), dt::toSeconds(testHour(0)));
    EXPECT_EQ(dt::toSeconds(list[2].lastTime), dt::toSeconds(testHour(21)));

    // Time order whatever the order of storing; a new part where the string changed.
    LoggerHistory h;
    ASSERT_TRUE(archive.history(named, h));
    EXPECT_EQ(h.LoggerName, named);
    ASSERT_EQ(h.parts.size(), 2u);
    EXPECT_EQ(hoursOf(h.parts[0]), (std::vector<int>{0, 1, 2, 10, 11, 12}));
    EXPECT_EQ(h.parts[0].DownloadTimes.front(), 46002.5);
    EXPECT_EQ(h.parts[0].DownloadTimes.back(), 46001.25);
    EXPECT_EQ(h.parts[0].SensorCodes, earlier.identity.SensorCodes);
    EXPECT_EQ(h.parts[1].StringSerial, -2);
    EXPECT_EQ(h.parts[1].SensorCodes, restrung.identity.SensorCodes);
    ASSERT_EQ(h.parts[1].SensorReadings.size(), 3u);
    EXPECT_EQ(h.parts[1].SensorReadings[2],
              (std::vector<int16_t>{restrung.readings[2], restrung.readings[5]}));

    ASSERT_TRUE(archive.history("D9", h));
    EXPECT_EQ(h.recordCount(), 0u);
}

TEST_F(RecordArchiveTest, TheViewerReadsBesideTheWriter) {
    EXPECT_EQ(store(archive, testBlock("D0042", 2, 0, 3)).added, 3);
    RecordArchive reader;
    ASSERT_TRUE(reader.open(archive.path(), RecordArchive::Mode::ReadOnly)) << reader.errorText();
    EXPECT_EQ(store(archive, testBlock("D0042", 2, 3, 2)).added, 2);
    LoggerHistory h;
    ASSERT_TRUE(reader.history("D0042", h));
    EXPECT_EQ(h.recordCount(), 5u);
    EXPECT_EQ(store(reader, testBlock("D0042", 2, 9, 1)).added, -1);

    // And with no writer at all, whose closing took its log files away.
    archive.close();
    reader.close();
    ASSERT_TRUE(reader.open(archive.path(), RecordArchive::Mode::ReadOnly)) << reader.errorText();
    ASSERT_TRUE(reader.history("D0042", h));
    EXPECT_EQ(h.recordCount(), 5u);
}

// An archive of the program before the push: the viewer reads it as it is, the pusher waits for the
// downloader to bring it up, which keeps its records, draws its id, and hands its blocks out whole
// in the order stored.
TEST_F(RecordArchiveTest, AnArchiveOfTheVersionBeforeThePushIsBroughtUpOnOpening) {
    ASSERT_EQ(store(archive, testBlock("D0042", 2, 10, 3)).added, 3);
    ASSERT_EQ(store(archive, testBlock("D0001", 1, 0, 2)).added, 2);
    ASSERT_EQ(store(archive, testBlock("D0042", 2, 0, 4)).added, 4);
    archive.close();
    RawConnection(dir.file("archive.sqlite"))
        .exec("DROP TABLE archive; DROP TABLE pushed; DROP INDEX record_block; PRAGMA user_version=1");

    RecordArchive other;
    ASSERT_TRUE(other.open(dir.file("archive.sqlite"), RecordArchive::Mode::ReadOnly)) << other.errorText();
    LoggerHistory h;
    ASSERT_TRUE(other.history("D0042", h));
    EXPECT_EQ(h.recordCount(), 7u);
    EXPECT_FALSE(other.open(dir.file("archive.sqlite"), RecordArchive::Mode::Push));
    EXPECT_EQ(other.error(), ArchiveError::OtherVersion);

    ASSERT_TRUE(archive.open(dir.file("archive.sqlite"))) << archive.errorText();
    std::string id;
    ASSERT_TRUE(archive.archiveId(id));
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
    ASSERT_TRUE(other.open(dir.file("archive.sqlite"), RecordArchive::Mode::Push)) << other.errorText();
    OutgoingBatch batch;
    ASSERT_TRUE(other.outgoing(0, 4, batch));
    ASSERT_EQ(batch.blocks.size(), 2u); // whole blocks: the second reaches 4 records
    EXPECT_EQ(batch.blocks[1].LoggerName, "D0001");
    EXPECT_EQ(batch.recordCount(), 5u);
    EXPECT_EQ(batch.readings.size(), 3 * 2 + 2 * 1u);
    ASSERT_TRUE(other.outgoing(batch.lastBlock(), 4, batch));
    EXPECT_EQ(batch.recordCount(), 4u);
    EXPECT_EQ(batch.times.front(), dt::toSeconds(testHour(0)));

    // Marks per database, never going back.
    int64_t mark = 0, waiting = 0;
    ASSERT_TRUE(other.setPushedUpTo("db-1", 2) && other.setPushedUpTo("db-1", 1));
    ASSERT_TRUE(other.pushedUpTo("db-1", mark) && other.recordsAfter(mark, waiting));
    EXPECT_EQ(mark, 2);
    EXPECT_EQ(waiting, 4);
    ASSERT_TRUE(other.pushedUpTo("db-2", mark));
    EXPECT_EQ(mark, 0);
}

} // namespace

// The loggers' health: every status and every setting of a clock comes back in time order with
// what was unknown left unknown, also from an archive made before the health was kept.
TEST_F(RecordArchiveTest, StatusReadsAndClockSettingsComeBackInTimeOrderAlsoAfterAnUpgrade) {
    ASSERT_EQ(store(archive, testBlock("D0042", 2, 0, 3)).added, 3);
    archive.close();
    RawConnection(dir.file("archive.sqlite")).exec("DROP TABLE status_read; PRAGMA user_version=2");
    ASSERT_TRUE(archive.open(dir.file("archive.sqlite"))) << archive.errorText();

    StatusRead later;
    later.LoggerName = "D0042";
    later.visit = testHour(100);
    later.time = testHour(101);
    later.battery = 3.52;
    later.level = -81.5;
    later.noise = -107.0;
    later.deviation = -12;
    later.error = 4;
    later.measureCount = 336;
    StatusRead set;
    set.LoggerName = "D0042";
    set.visit = testHour(0);
    set.time = testHour(1);
    set.clockSet = true;
    set.deviation = 0;
    StatusRead other = later;
    other.LoggerName = "\xD1\xEA\xE2"; // a new logger, Windows-1251 bytes
    other.deviation.reset();           // a clock that formed no date
    ASSERT_TRUE(archive.storeStatus(later) && archive.storeStatus(set) && archive.storeStatus(other))
        << archive.errorText();

    RecordArchive reader;
    ASSERT_TRUE(reader.open(dir.file("archive.sqlite"), RecordArchive::Mode::ReadOnly));
    std::vector<StatusRead> h;
    ASSERT_TRUE(reader.statusHistory("D0042", h));
    ASSERT_EQ(h.size(), 2u);
    EXPECT_TRUE(h[0].clockSet);
    EXPECT_FALSE(h[0].level);
    EXPECT_EQ(h[0].deviation, 0);
    EXPECT_FALSE(h[1].clockSet);
    EXPECT_DOUBLE_EQ(h[1].battery, 3.52);
    EXPECT_EQ(h[1].level, -81.5);
    EXPECT_EQ(h[1].noise, -107.0);
    EXPECT_EQ(h[1].deviation, -12);
    EXPECT_EQ(h[1].error, 4);
    EXPECT_EQ(h[1].measureCount, 336);
    EXPECT_DOUBLE_EQ(h[1].visit, testHour(100));
    ASSERT_TRUE(reader.statusHistory("\xD1\xEA\xE2", h));
    ASSERT_EQ(h.size(), 1u);
    EXPECT_FALSE(h[0].deviation);
    ASSERT_TRUE(reader.statusHistory("D9999", h));
    EXPECT_TRUE(h.empty());
}
