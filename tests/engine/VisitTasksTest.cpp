// The clock task with an allowance, the erase that keeps what the archive lacks, and the clock
// set after a download.
#include "engine/RecordSink.h"
#include "tests/engine/EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

int clockSettings(const TestLogger& l) {
    int n = 0;
    for (const std::string& r : l.heard)
        n += r.size() == l.name.size() + 7 && r[l.name.size()] == 'T';
    return n;
}

// An archive that holds, per logger, this many of the records its memory holds.
class CountingSink final : public IRecordSink {
public:
    void blockAccepted(const LoggerTable&, int, const RecordBatch&, int, int) override {}
    std::optional<KeptNewest> newestKept(const std::string&) override { return std::nullopt; }
    std::optional<int> keptBetween(const std::string& name, TDateTime from, TDateTime to) override {
        asked.push_back(name);
        spans.push_back({from, to});
        return kept.count(name) ? std::optional<int>(kept[name]) : std::nullopt;
    }
    std::map<std::string, int> kept;
    std::vector<std::string> asked;
    std::vector<std::pair<TDateTime, TDateTime>> spans;
};

struct Visit : ::testing::Test {
    Harness h;
    TestLogger a{"A1"}, b{"B2"};
    void SetUp() override {
        h.clock.setNow(dt::encode(2026, 12, 7, 9, 5, 7));
        h.addLoggers({"A1", "B2"});
        h.attach(a);
        h.attach(b);
    }
};

} // namespace

TEST_F(Visit, ClockWithinTheAllowanceIsLeftAloneAndOneBeyondIsSetAndReadBack) {
    h.host.clockAllowanceSeconds = 10;
    a.clockOffsetSec = 8;
    b.clockOffsetSec = -400;
    ASSERT_TRUE(h.start(TTaskKind::SetTime));
    h.run();
    EXPECT_EQ(a.heard, (std::vector<std::string>{"A1HEADER-"}));
    ASSERT_EQ(b.heard.size(), 3u);
    EXPECT_EQ(b.heard[0], "B2HEADER-");
    EXPECT_EQ(clockSettings(b), 1);
    EXPECT_EQ(b.heard[2], "B2HEADER-");
    EXPECT_EQ(h.state(0), TaskDone);
    EXPECT_EQ(h.state(1), TaskDone);
    const auto checked = h.host.of(EngineEvent::ClockChecked);
    ASSERT_EQ(checked.size(), 2u);
    EXPECT_EQ(checked[0].seconds, 8);
    EXPECT_TRUE(checked[0].completed);
    EXPECT_EQ(checked[1].seconds, -400);
    EXPECT_FALSE(checked[1].completed);
    // Only the one set is confirmed, with the clock it reads afterwards.
    const auto confirmed = h.host.of(EngineEvent::ClockConfirmed);
    ASSERT_EQ(confirmed.size(), 1u);
    EXPECT_EQ(confirmed[0].row, 1);
    EXPECT_EQ(h.host.notices(), "CC");
}

TEST_F(Visit, CheckOnlySetsNoClock) {
    h.host.clockOnlyCheck = true;
    a.clockOffsetSec = 3;
    b.clockOffsetSec = 5000;
    ASSERT_TRUE(h.start(TTaskKind::SetTime));
    h.run();
    EXPECT_EQ(clockSettings(a) + clockSettings(b), 0);
    EXPECT_EQ(h.host.count(EngineEvent::ClockChecked), 2);
    EXPECT_EQ(h.host.count(EngineEvent::ClockConfirmed), 0);
    EXPECT_EQ(h.state(1), TaskDone);
}

TEST_F(Visit, ClockThatKeepsReadingWrongIsNotTakenForSet) {
    h.host.clockAllowanceSeconds = 10;
    h.host.attempts[1] = false;
    h.host.unticked[0] = true;
    b.clockOffsetSec = 900;
    b.takesTime = false;
    ASSERT_TRUE(h.start(TTaskKind::SetTime));
    h.run();
    EXPECT_EQ(clockSettings(b), TaskEngine::kClockSetTries);
    EXPECT_EQ(h.host.count(EngineEvent::ClockConfirmed), 0);
    EXPECT_LT(h.state(1), TaskDone);
    EXPECT_EQ(h.host.notices(), "M");
}

TEST_F(Visit, EraseAsksOnlyForALoggerWithRecordsTheArchiveLacksAndKeepsItOnNo) {
    CountingSink sink;
    h.engine.setRecordSink(&sink);
    a.storedCount = 40;
    b.storedCount = 40;
    sink.kept = {{"A1", 40}, {"B2", 37}};
    h.host.msgs.answers = {true}; // the start's question; B2's is then answered No
    h.host.msgs.answer = false;
    ASSERT_TRUE(h.start(TTaskKind::Erase));
    h.run();
    EXPECT_EQ(a.heard, (std::vector<std::string>{"A1HEADER-", "A1ERASE--"}));
    // B2 is asked about once, in the first attempt, and never erased.
    EXPECT_EQ(b.heard, (std::vector<std::string>{"B2HEADER-"}));
    const auto questions = h.host.of(EngineEvent::Question);
    ASSERT_EQ(questions.size(), 2u); // the start's own, then B2's
    EXPECT_EQ(questions[0].row, -1);
    EXPECT_EQ(questions[1].row, 1);
    EXPECT_EQ(questions[1].records, 3);
    EXPECT_EQ(h.state(0), TaskDone);
    EXPECT_EQ(h.state(1), StatusLoaded);
    // The span asked covers the stored records a period apart back from the status clock.
    ASSERT_FALSE(sink.spans.empty());
    const double spanDays = sink.spans[0].second - sink.spans[0].first;
    EXPECT_NEAR(spanDays * 24, (40 + 2) * 3, 0.01);
}

TEST_F(Visit, DownloadSetsAClockOffByMoreThanAskedAfterItsRecords) {
    h.host.clockSetBeyondSeconds = 60;
    h.host.unticked[0] = true;
    b.records = makeRecords(h.clock.now(), 5, 3, 2);
    b.clockOffsetSec = -120;
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.run();
    ASSERT_GE(b.heard.size(), 4u);
    EXPECT_EQ(clockSettings(b), 1);
    EXPECT_EQ(b.heard.back(), "B2HEADER-");
    EXPECT_EQ(h.host.count(EngineEvent::ClockConfirmed), 1);
    EXPECT_EQ(h.table.loggers[1].RecordTimes.size(), 5u);
    EXPECT_EQ(h.state(1), TaskDone);
}
