// The one-shot tasks against kestrovane-sim, each checked through what a later download reads.
#include "PtyRig.h"
#include "SimProcess.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace e2e;

namespace {

const char* const kPair =
    R"({"seed": 3, "modem": {"port": 7, "id": "M742 SIM e2e02", "channel": 20}, "loggers": [
  {"name": "D4071500011", "sensors": [7, 8], "period": 1, "clockOffset": 7200, "advance": 12,
   "measuring": false, "replyDelayMs": 60, "generate": {"count": 5}},
  {"name": "D4071500012", "sensors": [9, 10, 11], "period": 3, "measuring": false, "replyDelayMs": 60,
   "generate": {"count": 8}}]})";

// One task over the pair; both loggers must acknowledge.
void runTask(PtyRig& rig, TTaskKind kind, int expectedState) {
    rig.front.events.clear();
    ASSERT_TRUE(rig.start(kind)) << static_cast<int>(kind);
    rig.run(15000);
    ASSERT_FALSE(rig.taskRunning()) << static_cast<int>(kind);
    EXPECT_EQ(rig.state(0), expectedState) << static_cast<int>(kind);
    EXPECT_EQ(rig.state(1), expectedState) << static_cast<int>(kind);
    EXPECT_EQ(rig.notices(), expectedState == TaskDone ? "CC" : "MM") << static_cast<int>(kind);
}

} // namespace

TEST(OneShotTasksOverPty, ClockPeriodMeasureAndEraseReachTheLoggers) {
    SimProcess sim(kPair, 7);
    ASSERT_TRUE(sim.waitForLink()) << sim.errors();
    PtyRig rig(sim.pattern());
    ASSERT_TRUE(rig.connectFound(7));
    rig.addLoggers({"D4071500011", "D4071500012"});
    rig.attempts[0] = true;
    rig.attempts[1] = false;
    rig.powers[0] = 1;
    rig.begin = rig.clock.now() - 60;
    rig.finish = rig.clock.now();
    rig.blockPosition = 0;

    // Before: the first logger's clock is two hours ahead.
    runTask(rig, TTaskKind::Download, TaskDone);
    ASSERT_EQ(rig.shown.size(), 2u);
    EXPECT_NEAR((rig.shown[0].clock - rig.clock.now()) * 86400, 7200 + 12 * 8, 5);
    const int stored0 = rig.shown[0].measureCount, stored1 = rig.shown[1].measureCount;
    EXPECT_EQ(rig.table.loggers[0].RecordTimes.size(), static_cast<size_t>(stored0));

    runTask(rig, TTaskKind::SetTime, TaskDone);
    EXPECT_FALSE(rig.clockTexts[0].empty());
    EXPECT_EQ(rig.clockTexts[1], rig.engine.timeText());
    rig.loggerPeriodValue = 6;
    runTask(rig, TTaskKind::SetPeriod, TaskDone);
    runTask(rig, TTaskKind::Measure, TaskDone);

    // The download that follows sees each change.
    rig.shown.clear();
    runTask(rig, TTaskKind::Download, TaskDone);
    for (int row = 0; row < 2; ++row) {
        EXPECT_LE(std::fabs(rig.shown[row].clock - rig.clock.now()) * 86400, 3)
            << row; // set, advance cleared
        EXPECT_EQ(rig.shown[row].period, 6) << row;
    }
    EXPECT_EQ(rig.shown[0].measureCount, stored0 + 1);
    EXPECT_EQ(rig.shown[1].measureCount, stored1 + 1);
    EXPECT_EQ(rig.table.loggers[1].RecordTimes.size(), static_cast<size_t>(stored1 + 1));
    // The forced measurement is the newest record, taken by the logger's now corrected clock.
    EXPECT_LE(std::fabs(rig.table.loggers[1].RecordTimes.back() - rig.clock.now()) * 86400, 30);

    runTask(rig, TTaskKind::Erase, TaskDone);
    rig.shown.clear();
    const size_t airBefore = sim.logged("AIR").size();
    runTask(rig, TTaskKind::Download, NoMeasurements);
    EXPECT_EQ(rig.shown[0].measureCount, 0);
    EXPECT_EQ(rig.shown[1].measureCount, 0);
    EXPECT_EQ(rig.table.LoadedRecordCount, 0);
    // An empty memory is asked for its status only.
    const std::vector<std::string> air = sim.logged("AIR");
    ASSERT_EQ(air.size(), airBefore + 2);
    EXPECT_EQ(air[airBefore], "D4071500011HEADER-");
    EXPECT_EQ(air[airBefore + 1], "D4071500012HEADER-");

    // Every task tuned the modem, set the task mode and sent its one power, in this order.
    const std::vector<std::string> commands = afterSearch(sim.logged("CMD"));
    ASSERT_EQ(commands.size(), 7u * 3);
    for (size_t t = 0; t < 7; ++t) {
        EXPECT_EQ(commands[3 * t], std::string("#C\x14")) << t;
        EXPECT_EQ(commands[1 + 3 * t], std::string("#T\x02\x00\x12", 5)) << t;
        EXPECT_EQ(commands[2 + 3 * t], std::string("#P\x60")) << t;
    }
    EXPECT_TRUE(rig.msgs.errors.empty());

    rig.disconnect();
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(sim.linkExists());
}
