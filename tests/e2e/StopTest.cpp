// A download stopped midway over the pty, by the user and by switching the modem off.
#include "PtyRig.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

// One logger with more records than a few blocks hold, so that the download is well under way
// when it is stopped.
const char* const kLong = R"({"modem": {"port": 7, "id": "M742 SIM e2e03"}, "loggers": [
  {"name": "D4071500021", "sensors": [1, 2, 3, 4, 5, 6, 7, 8], "period": 1, "measuring": false,
   "replyDelayMs": 40, "generate": {"count": 400}},
  {"name": "D4071500022", "sensors": [1], "period": 1, "measuring": false, "replyDelayMs": 40,
   "generate": {"count": 10}}]})";

void startLongDownload(PtyRig& rig) {
    rig.addLoggers({"D4071500021", "D4071500022"});
    rig.begin = rig.clock.now() - 16;
    rig.finish = rig.clock.now();
    rig.blockPosition = 3; // 512-byte blocks: 19 records each, about twenty blocks
    rig.powers[0] = 1;
    ASSERT_TRUE(rig.start(TTaskKind::Download));
    rig.runWhile([&] { return rig.table.LoadedRecordCount == 0; }, 10000);
    ASSERT_TRUE(rig.taskRunning());
    ASSERT_GT(rig.table.LoadedRecordCount, 0);
}

// Nothing more reaches the air once the task is over, however long the timers would have run.
void expectQuiet(PtyRig& rig, SimProcess& sim) {
    const int writes = rig.os.writes;
    // A request written just before the stop is still on its way to the simulator's log.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const size_t air = sim.logged("AIR").size();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (rig.readTimerOn())
            rig.engine.TimerReadStreamTimer();
        rig.engine.TimerSkipDevTimer(); // a tick already queued when the task stopped
    }
    EXPECT_EQ(rig.os.writes, writes);
    EXPECT_EQ(sim.logged("AIR").size(), air);
    EXPECT_FALSE(rig.taskRunning());
    EXPECT_EQ(rig.finishedTimer(), 0); // no finished notice after a stop
    EXPECT_TRUE(rig.table.invariantsHold());
}

} // namespace

TEST(StopOverPty, UserSwitchOffAndModemSwitchOffEndTheDownloadAndKeepWhatCame) {
    {
        SimProcess sim(kLong, 7);
        ASSERT_TRUE(sim.waitForLink()) << sim.errors();
        PtyRig rig(sim.pattern());
        ASSERT_TRUE(rig.connectFound(7));
        startLongDownload(rig);
        rig.switchTaskOff();
        EXPECT_FALSE(rig.readTimerOn());
        EXPECT_FALSE(rig.skipDevOn());
        EXPECT_EQ(rig.state(0), PartlyLoaded);
        EXPECT_EQ(rig.state(1), NotPolled);
        const size_t kept = rig.table.loggers[0].RecordTimes.size();
        expectQuiet(rig, sim);
        EXPECT_EQ(rig.table.loggers[0].RecordTimes.size(), kept);
        EXPECT_TRUE(rig.port.IsOpen()); // the modem stays connected
        EXPECT_EQ(sim.stop(), 0);
    }
    {
        SimProcess sim(kLong, 7);
        ASSERT_TRUE(sim.waitForLink()) << sim.errors();
        PtyRig rig(sim.pattern());
        ASSERT_TRUE(rig.connectFound(7));
        startLongDownload(rig);
        rig.disconnect();
        EXPECT_FALSE(rig.port.IsOpen());
        EXPECT_EQ(rig.panel0, "Нет подключения");
        EXPECT_EQ(rig.state(0), PartlyLoaded);
        expectQuiet(rig, sim);
        EXPECT_EQ(sim.stop(), 0);
        EXPECT_FALSE(sim.linkExists());
    }
}
