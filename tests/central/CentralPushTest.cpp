// The push into a real PostgreSQL server and the reading back: idempotent, resumable, several
// pushes at once, and what a refused login, a missing server or a server lost midway leave.
#include "central/CentralPush.h"
#include "CentralTestSupport.h"
#include "archive/RecordArchive.h"
#include "central/BackgroundPush.h"
#include "central/CentralArchive.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/files/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

namespace {

using pgtest::Cluster;

PushReport push(RecordArchive& local, const std::string& url, size_t batch = 20000,
                std::function<void(const PushReport&)> progress = {}, const std::string& host = "laptop-1") {
    CentralArchive central;
    if (!central.open(url, CentralArchive::Mode::Push)) {
        PushReport failed;
        failed.errorText = central.errorText();
        return failed;
    }
    PushOptions o;
    o.host = host;
    o.batchRecords = batch;
    o.progress = std::move(progress);
    return pushArchive(local, central, o);
}

int64_t localRecords(RecordArchive& a) {
    int64_t n = -1;
    a.recordsAfter(0, n);
    return n;
}

// Everything a viewer sees of the two archives is the same.
void expectSameArchive(IArchiveReader& local, IArchiveReader& central) {
    std::vector<ArchivedLogger> a, b;
    ASSERT_TRUE(local.loggers(a)) << local.errorText();
    ASSERT_TRUE(central.loggers(b)) << central.errorText();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].LoggerName, b[i].LoggerName);
        EXPECT_EQ(a[i].recordCount, b[i].recordCount);
        EXPECT_EQ(a[i].conflictCount, b[i].conflictCount);
        EXPECT_EQ(dt::toSeconds(a[i].firstTime), dt::toSeconds(b[i].firstTime));
        EXPECT_EQ(dt::toSeconds(a[i].lastTime), dt::toSeconds(b[i].lastTime));
        LoggerHistory ha, hb;
        ASSERT_TRUE(local.history(a[i].LoggerName, ha));
        ASSERT_TRUE(central.history(a[i].LoggerName, hb)) << central.errorText();
        ASSERT_EQ(ha.parts.size(), hb.parts.size()) << a[i].LoggerName;
        for (size_t p = 0; p < ha.parts.size(); ++p) {
            const HistoryPart& x = ha.parts[p];
            const HistoryPart& y = hb.parts[p];
            EXPECT_EQ(x.StringType, y.StringType);
            EXPECT_EQ(x.StringSerial, y.StringSerial);
            EXPECT_EQ(x.SensorCodes, y.SensorCodes);
            EXPECT_EQ(x.RecordTimes, y.RecordTimes);
            EXPECT_EQ(x.RecordVoltages, y.RecordVoltages);
            EXPECT_EQ(x.SensorReadings, y.SensorReadings);
            EXPECT_EQ(x.conflict, y.conflict);
            ASSERT_EQ(x.DownloadTimes.size(), y.DownloadTimes.size());
            for (size_t r = 0; r < x.DownloadTimes.size(); ++r)
                EXPECT_NEAR(x.DownloadTimes[r], y.DownloadTimes[r], 1e-6 / 86400);
        }
    }
}

class CentralPush : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_CLUSTER();
        db = cluster().freshDatabase();
        ASSERT_TRUE(cluster().why().empty()) << cluster().why();
        ASSERT_TRUE(local.open(dir.file("archive.sqlite"))) << local.errorText();
    }
    static Cluster& cluster() { return Cluster::get(); }
    std::string url() const { return cluster().pusherUrl(db); }
    long centralCount(const std::string& table) const {
        return cluster().server().count(db, "SELECT count(*) FROM kestrovane." + table);
    }
    // count records of `sensors` from hour `first`, in blocks of 40 as a 4 KB download gives them.
    void download(RecordArchive& a, const std::string& name, int sensors, int first, int count, int seed = 0,
                  TDateTime at = 46000.5) {
        for (int h = first; h < first + count; h += 40)
            ASSERT_GE(store(a, testBlock(name, sensors, h, std::min(40, first + count - h), seed), at).added,
                      0);
    }

    TempDir dir;
    RecordArchive local;
    std::string db;
};

TEST_F(CentralPush, APushedArchiveReadsBackAsTheLocalOneAndPushingAgainAddsNothing) {
    // A Windows-1251 name restrung midway; 16 sensors; a later download with other values at some
    // held times; a block holding one time twice with different values.
    download(local, "D\xC0\xE1\xE2", 3, 0, 90);
    TestBlock restrung = testBlock("D\xC0\xE1\xE2", 2, 90, 30);
    restrung.identity.StringSerial = -7;
    ASSERT_EQ(store(local, restrung, 46001.25).added, 30);
    download(local, "D0042", 16, 0, 100);
    download(local, "D0042", 16, 95, 10, 1, 46002.75);
    TestBlock twice = testBlock("D0042", 16, 200, 2);
    twice.times[1] = twice.times[0];
    ASSERT_EQ(store(local, twice).conflicts, 1);
    const int64_t total = localRecords(local);

    PushReport r = push(local, url(), 25);
    ASSERT_TRUE(r.ok) << r.errorText;
    EXPECT_EQ(r.recordsSent, total);
    EXPECT_EQ(r.recordsAdded, total);
    EXPECT_EQ(r.waiting, 0);
    CentralArchive central;
    ASSERT_TRUE(central.open(url(), CentralArchive::Mode::ReadOnly)) << central.errorText();
    expectSameArchive(local, central);
    const long blocks = centralCount("block");

    r = push(local, url());
    ASSERT_TRUE(r.ok) << r.errorText;
    EXPECT_EQ(r.recordsSent, 0);

    // Marks lost after the server's commit (a kill between the two): all goes again, none is added.
    RawConnection(dir.file("archive.sqlite")).exec("DELETE FROM pushed");
    r = push(local, url());
    ASSERT_TRUE(r.ok) << r.errorText;
    EXPECT_EQ(r.recordsSent, total);
    EXPECT_EQ(r.recordsAdded, 0);
    EXPECT_EQ(centralCount("record"), total);
    EXPECT_EQ(centralCount("block"), blocks);
    expectSameArchive(local, central);
}

TEST_F(CentralPush, PushesAtOnceOfOneArchiveAndOfAnOverlappingOneKeepEveryRecordOnce) {
    for (const char* name : {"D01", "D02", "D03"})
        download(local, name, 4, 0, 2000);
    // Another laptop: half of D01 again with the same values and more after it, D02's first hundred
    // hours with other values, and a logger of its own.
    RecordArchive other;
    ASSERT_TRUE(other.open(dir.file("other.sqlite")));
    download(other, "D01", 4, 1000, 2000);
    download(other, "D02", 4, 0, 100, 1);
    download(other, "D04", 4, 0, 500);
    local.close();
    other.close();

    // Three processes at once, in small batches so that they meet: this archive twice, the other once.
    std::vector<pid_t> children;
    for (const char* file : {"archive.sqlite", "archive.sqlite", "other.sqlite"}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RecordArchive a;
            const bool ok = a.open(dir.file(file), RecordArchive::Mode::Push) && push(a, url(), 200).ok;
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    EXPECT_EQ(centralCount("record"), 6000 + 1000 + 100 + 500);
    EXPECT_EQ(cluster().server().count(db, "SELECT sum(variants - 1) FROM kestrovane.conflict"), 100);
    EXPECT_EQ(centralCount("block"), 3 * 50 + (50 + 3 + 13));
    EXPECT_EQ(centralCount("laptop"), 2);
    ASSERT_TRUE(local.open(dir.file("archive.sqlite")));
    const PushReport again = push(local, url());
    EXPECT_TRUE(again.ok && again.recordsSent == 0) << again.errorText;
}

// A program folder copied whole on the same computer: both archives go on with blocks of the same
// numbers and different loggers, and both reach the database under their own loggers.
TEST_F(CentralPush, ACopiedArchivePushesAsALaptopOfItsOwn) {
    download(local, "D01", 2, 0, 40);
    ASSERT_TRUE(push(local, url()).ok);
    local.close();
    std::filesystem::copy_file(dir.file("archive.sqlite"), dir.file("copy.sqlite"));
    RecordArchive copy;
    ASSERT_TRUE(local.open(dir.file("archive.sqlite")) && copy.open(dir.file("copy.sqlite")));
    download(local, "D01", 2, 40, 40);
    download(copy, "D02", 2, 0, 40);
    ASSERT_TRUE(push(local, url()).ok);
    const PushReport r = push(copy, url());
    ASSERT_TRUE(r.ok) << r.errorText;
    EXPECT_EQ(r.recordsAdded, 40);
    CentralArchive central;
    ASSERT_TRUE(central.open(url(), CentralArchive::Mode::ReadOnly));
    std::vector<ArchivedLogger> loggers;
    ASSERT_TRUE(central.loggers(loggers));
    ASSERT_EQ(loggers.size(), 2u);
    EXPECT_EQ(loggers[0].recordCount, 80);
    EXPECT_EQ(loggers[1].LoggerName, "D02");
    EXPECT_EQ(loggers[1].recordCount, 40);
    EXPECT_EQ(loggers[0].conflictCount + loggers[1].conflictCount, 0);
}

TEST_F(CentralPush, ARefusedLoginOrAMissingServerTellsWhyAndTheNextPushSendsEverything) {
    download(local, "D01", 2, 0, 100);
    struct Case {
        const char* what;
        std::string url;
        std::string password; // in the password file; empty: no file at all
        CentralError error;
        const char* said;
    };
    const Case cases[] = {
        {"wrong password", url(), "not-it", CentralError::LoginRefused, "password authentication failed"},
        {"no password", url(), "", CentralError::NeedsPassword, "~/.pgpass"},
        {"no server", "postgresql:///" + db + "?host=" + dir.file("nothing") + "&user=kestrovane_push",
         pgtest::kPusherPassword, CentralError::CannotConnect, "недоступен"},
        {"password in the address", url() + "&password=x", pgtest::kPusherPassword, CentralError::BadAddress,
         "~/.pgpass"},
        // The pusher may not make the tables: it says who may.
        {"no tables yet", cluster().pusherUrl(cluster().freshDatabase(true)), pgtest::kPusherPassword,
         CentralError::OtherVersion, "владелец"},
    };
    for (const Case& c : cases) {
        if (c.password.empty())
            std::remove(cluster().passwordFile().c_str());
        else
            cluster().writePasswordFile(c.password);
        CentralArchive central;
        EXPECT_FALSE(central.open(c.url, CentralArchive::Mode::Push)) << c.what;
        EXPECT_EQ(central.error(), c.error) << c.what;
        EXPECT_NE(central.errorText().find(c.said), std::string::npos)
            << c.what << ": " << central.errorText();
    }
    cluster().writePasswordFile(pgtest::kPusherPassword);
    const PushReport r = push(local, url());
    EXPECT_TRUE(r.ok) << r.errorText;
    EXPECT_EQ(r.recordsSent, 100);
}

TEST_F(CentralPush, AServerLostMidwayKeepsWhatItCommittedAndTheNextPushSendsTheRest) {
    download(local, "D01", 16, 0, 4000);
    int batches = 0;
    const PushReport r = push(local, url(), 400, [&](const PushReport&) {
        if (++batches == 3)
            cluster().server().halt();
    });
    std::string why;
    ASSERT_TRUE(cluster().server().resume(why)) << why;
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.errorText.find("прервана"), std::string::npos) << r.errorText;
    EXPECT_EQ(r.recordsSent, 3 * 400);
    EXPECT_EQ(r.waiting, 4000 - 3 * 400);

    const PushReport rest = push(local, url());
    ASSERT_TRUE(rest.ok) << rest.errorText;
    EXPECT_EQ(rest.recordsSent, 4000 - 3 * 400);
    EXPECT_EQ(centralCount("record"), 4000);
}

// The window's push on its thread: refused while the server is away, done by itself once it is back.
TEST_F(CentralPush, TheBackgroundPushTriesAgainUntilTheServerTakesIt) {
    download(local, "D01", 2, 0, 300);
    std::mutex m;
    std::condition_variable cv;
    std::vector<PushReport> reports;
    cluster().server().halt();
    BackgroundPush pusher(
        dir.file("archive.sqlite"), url(),
        [&](const PushReport& r) {
            std::lock_guard<std::mutex> lock(m);
            reports.push_back(r);
            cv.notify_all();
        },
        200);
    pusher.pushSoon();
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return !reports.empty(); }));
    EXPECT_FALSE(reports[0].ok);
    EXPECT_NE(reports[0].errorText.find("недоступен"), std::string::npos) << reports[0].errorText;
    lock.unlock();
    std::string why;
    ASSERT_TRUE(cluster().server().resume(why)) << why;
    lock.lock();
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(20), [&] { return reports.back().ok; }));
    EXPECT_EQ(reports.back().waiting, 0);
    EXPECT_EQ(centralCount("record"), 300);
}

// The tests set the server up with the script; the README must give that same script.
TEST(CentralSetup, TheReadmeGivesTheSetupScriptTheTestsRun) {
    const std::string sql = readBytes(std::string(KV_SOURCE_DIR) + "/central/kestrovane-central.sql");
    ASSERT_FALSE(sql.empty());
    EXPECT_NE(readBytes(std::string(KV_SOURCE_DIR) + "/README.md").find("```sql\n" + sql + "```"),
              std::string::npos);
}

} // namespace
