// Downloads through the task engine into the archive: each good record kept once, and downloads
// of only what is new asking for no more than that.
#include "ArchiveTestSupport.h"
#include "archive/ArchiveSink.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/files/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

using namespace enginetest;

namespace {

struct DownloadArchive : ::testing::Test {
    TempDir dir;
    Harness h;
    std::vector<std::string> reports;
    ArchiveSink sink{h.clock, [this](const std::string& t) { reports.push_back(t); }};
    TestLogger a{"D0041"}, b{"D0042"};
    TDateTime now0 = h.clock.now();

    void SetUp() override {
        ASSERT_TRUE(sink.open(dir.file("archive.sqlite")));
        h.engine.setRecordSink(&sink);
        h.addLoggers({"D0041", "D0042"});
        for (TestLogger* l : {&a, &b}) {
            l->status.codes = {11, 12, 13};
            l->status.period = 3;
            l->records = makeRecords(now0, 300, 3, 3, l == &b ? 5 : 0);
            h.attach(*l);
        }
    }
    // The download runs until `until` holds, the owner's retry called between ticks.
    void startUntil(const std::function<bool()>& until) {
        h.host.begin = now0 - 10;
        h.host.finish = h.clock.now();
        ASSERT_TRUE(h.start(TTaskKind::Download));
        while (h.engine.running() && !until()) {
            h.step();
            sink.retry();
        }
    }
    void download(TDateTime begin) {
        h.host.begin = begin;
        h.host.finish = h.clock.now();
        ASSERT_TRUE(h.start(TTaskKind::Download));
        h.run();
    }
    int64_t kept() {
        std::vector<ArchivedLogger> loggers;
        EXPECT_TRUE(sink.archive().loggers(loggers));
        int64_t n = 0;
        for (const auto& l : loggers)
            n += l.recordCount;
        return n;
    }
    // Half an hour on, a measurement made on demand, between two periods, by the logger's clock.
    void addMeasurementNow(TestLogger& l) {
        h.clock.advanceMs(30 * 60 * 1000);
        const DateTimeParts p = dt::decode(h.clock.now() + l.clockOffsetSec / 86400.0);
        RecordImage fresh;
        const int stamp[6] = {p.day, p.month, p.year % 100, p.hour, p.minute, p.second};
        for (int k = 0; k < 6; ++k)
            fresh.stamp[k] = static_cast<uint8_t>(stamp[k]);
        fresh.readings = {1, 2, 3};
        l.records.push_back(recordBytes(fresh));
    }
    std::vector<std::string> blockRequests(const TestLogger& l) const {
        std::vector<std::string> out;
        for (const std::string& r : l.heard)
            if (r[5] == 'D')
                out.push_back(r.substr(6, 4));
        return out;
    }
};

} // namespace

TEST_F(DownloadArchive, EachGoodRecordIsKeptOnceOverRepeatedAndOverlappingDownloads) {
    // 10 days at 3 hours: 80 records of each logger.
    download(now0 - 10);
    EXPECT_EQ(h.table.LoadedRecordCount, 160);
    EXPECT_EQ(kept(), 160);
    download(now0 - 10);
    EXPECT_EQ(kept(), 160);
    download(now0 - 20);
    EXPECT_EQ(kept(), 320);
    EXPECT_TRUE(reports.empty());
}

// Each logger is asked down to its newest kept record, which shows that the new ones reach it.
TEST_F(DownloadArchive, OnlyNewAsksForTheOneNewRecordAndTheNewestKeptOne) {
    download(now0 - 10);
    // The first logger is told to measure: one record newer than the archive's.
    addMeasurementNow(a);
    a.heard.clear();
    b.heard.clear();

    h.host.onlyNewDownload = true;
    download(now0 - 10);
    EXPECT_EQ(blockRequests(a), std::vector<std::string>{std::string("\0\0\0\x02", 4)});
    EXPECT_EQ(blockRequests(b), std::vector<std::string>{std::string("\0\0\0\x01", 4)});
    EXPECT_EQ(h.state(0), TaskDone);
    EXPECT_EQ(h.state(1), NoMeasurements);
    EXPECT_EQ(h.table.LoadedRecordCount, 1);
    EXPECT_EQ(kept(), 161);
}

// A measurement made on demand, damaged in every try, is given up; the next "только новые" asks
// for it again although it lies within a period of the newest record kept.
TEST_F(DownloadArchive, OnlyNewAsksAgainForANewestRecordGivenUp) {
    b.silent = true;
    addMeasurementNow(a);
    a.spoil = [](const std::string& req, Bytes& framed) {
        if (req[5] == 'D' && req.substr(6, 2) == std::string("\0\0", 2))
            framed[framed.size() - 5] ^= 0x40; // a reading of the newest record
        return true;
    };
    download(now0 - 10);
    ASSERT_EQ(h.table.loggers[0].GivenUpRecords, 1);
    a.spoil = {};
    a.heard.clear();
    h.host.onlyNewDownload = true;
    download(now0 - 10);
    EXPECT_EQ(blockRequests(a), std::vector<std::string>{std::string("\0\0\0\x02", 4)});
    EXPECT_EQ(h.table.LoadedRecordCount, 1);
}

// After an erase the logger holds fewer records than the archive saw: every one it holds is new.
TEST_F(DownloadArchive, OnlyNewAfterAnEraseAsksForEveryRecordHeld) {
    download(now0 - 10);
    a.records.clear();
    addMeasurementNow(a);
    h.host.onlyNewDownload = true;
    download(now0 - 10);
    EXPECT_EQ(h.state(0), TaskDone);
    EXPECT_EQ(h.table.loggers[0].RecordTimes.size(), 1u);
    EXPECT_EQ(kept(), 161);
}

// A clock set back behind the newest archived record: the times no longer tell what is new, so
// every record the logger holds is asked for.
TEST_F(DownloadArchive, OnlyNewWithTheClockSetBackAsksForEveryRecordHeld) {
    download(now0 - 10);
    a.clockOffsetSec = -2 * 86400;
    addMeasurementNow(a);
    h.host.onlyNewDownload = true;
    download(now0 - 10);
    EXPECT_EQ(h.state(0), TaskDone);
    EXPECT_EQ(h.table.loggers[0].RecordTimes.size(), 301u);
    EXPECT_EQ(kept(), 301 + 80); // all of the first logger's now
}

// Another program holds the archive's write lock through the first logger's download: its
// blocks wait without holding reception up, panel 1 counts them, and the first block after the
// lock is gone brings them all in.
TEST_F(DownloadArchive, BlocksWaitForABusyArchiveAndAreAllKeptOnceItIsFree) {
    h.host.blockPosition = 3; // 512-byte blocks: three for each logger
    a.delayMs = b.delayMs = 1000;
    RawConnection other(sink.archive().path());
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    const auto t0 = std::chrono::steady_clock::now();
    startUntil([&] { return h.state(0) >= TaskDone; });
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2))
        << "reception waited on the lock";
    EXPECT_GT(h.clock.elapsedMs(), 3000u);
    EXPECT_NE(h.host.panel1.find("Не в архиве: 80"), std::string::npos) << h.host.panel1;
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("занят"), std::string::npos) << reports[0];

    ASSERT_EQ(other.exec("COMMIT"), SQLITE_OK);
    h.run();
    EXPECT_EQ(kept(), 160);
    EXPECT_EQ(sink.unarchivedRecords(), 0);
    EXPECT_EQ(h.host.panel1.find("Не в архиве"), std::string::npos) << h.host.panel1;
    EXPECT_EQ(reports.back(), ArchiveSink::kAllArchivedText);
}

// The archive's folder removed after the first logger: told, made anew, and the rest kept there
// alone (nothing of the old file's log finds its way into the new one).
TEST_F(DownloadArchive, AnArchiveDeletedDuringTheRunIsToldAndMadeAnew) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows deletes no file that is open";
#endif
    startUntil([&] { return h.state(0) >= TaskDone; });
    ASSERT_EQ(kept(), 80);
    std::filesystem::remove_all(dir.path());
    h.run();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("удален"), std::string::npos) << reports[0];
    RecordArchive reader;
    ASSERT_TRUE(reader.open(sink.archive().path(), RecordArchive::Mode::ReadOnly)) << reader.errorText();
    std::vector<ArchivedLogger> loggers;
    ASSERT_TRUE(reader.loggers(loggers));
    ASSERT_EQ(loggers.size(), 1u);
    EXPECT_EQ(loggers[0].LoggerName, "D0042");
    EXPECT_EQ(loggers[0].recordCount, 80);
}

// A file that is no archive: the download goes on and the failure is told once.
TEST(DownloadArchiveFailure, GarbageArchiveIsToldOnceAndTheDownloadGoesOn) {
    TempDir dir;
    const std::string path = dir.file("archive.sqlite");
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("this is not a database, it only has its name", f);
        std::fclose(f);
    }
    Harness h;
    std::vector<std::string> reports;
    ArchiveSink sink(h.clock, [&](const std::string& t) { reports.push_back(t); });
    EXPECT_FALSE(sink.open(path));
    h.engine.setRecordSink(&sink);
    h.addLoggers({"D0041"});
    TestLogger a{"D0041"};
    a.status.codes = {11};
    a.records = makeRecords(h.clock.now(), 20, 3, 1);
    h.attach(a);
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    EXPECT_EQ(h.table.LoadedRecordCount, 20);
    EXPECT_EQ(h.state(0), TaskDone);
    ASSERT_EQ(reports.size(), 1u);
}
