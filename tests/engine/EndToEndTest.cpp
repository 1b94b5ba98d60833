// The engine against the simulated modem and loggers, through the program's own serial driver
// and modem link, all on one fake clock.
#include "EngineTestSupport.h"
#include "tests/support/SimEngineRig.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

using SimRig = rig::SimEngineRig;

int64_t stampSeconds(const uint8_t s[6]) {
    return dt::toSeconds(dt::encode(2000 + s[2], s[1], s[0], s[3], s[4], s[5]));
}

// The simulator's records of logger i taken after begin, up to finish, oldest first.
std::vector<const SimRecord*> heldInPeriod(SimDevices& d, size_t i, TDateTime begin, TDateTime finish) {
    std::vector<const SimRecord*> out;
    for (const SimRecord& r : d.logger(i).records()) {
        const int64_t t = stampSeconds(r.stamp);
        if (t > dt::toSeconds(begin) && t <= dt::toSeconds(finish))
            out.push_back(&r);
    }
    return out;
}

// Every record held in the period is in the table once, in order, with its values; none other.
void expectRecords(SimRig& rig, size_t i, TDateTime begin, TDateTime finish) {
    const auto held = heldInPeriod(rig.devices, i, begin, finish);
    const LoggerTable::Logger& l = rig.table.loggers[i];
    ASSERT_EQ(l.RecordTimes.size(), held.size()) << "logger " << i;
    for (size_t k = 0; k < held.size(); ++k) {
        ASSERT_EQ(dt::toSeconds(l.RecordTimes[k]), stampSeconds(held[k]->stamp)) << i << " record " << k;
        EXPECT_EQ(l.RecordVoltages[k], held[k]->voltage);
        for (size_t s = 0; s < held[k]->readings.size(); ++s)
            EXPECT_EQ(l.SensorReadings[s][k], held[k]->readings[s]);
    }
}

const char* const kGroup = R"({
  "seed": 7,
  "modem": {"port": 6, "channel": 20},
  "loggers": [
    {"name": "G0001", "needPower": -10, "sensors": [1, 2, 3, 4], "period": 1, "measuring": false,
     "generate": {"count": 400}, "faults": {"damage": 0.05, "badRecordCrc": 0.01}},
    {"name": "P0002", "needPower": 10, "level": -95, "sensors": [5, 6, 7, 8, 9, 10, 11, 12], "period": 3,
     "measuring": false, "generate": {"count": 300}, "faults": {"damage": 0.05, "badRecordCrc": 0.01}},
    {"name": "S0003", "sensors": [1], "measuring": false, "generate": {"count": 10},
     "faults": {"silent": true}}
  ]
})";

} // namespace

TEST(EndToEnd, GroupDownloadedOverTwoAttempts) {
    SimRig rig(kGroup);
    rig.addLoggers({"G0001", "P0002", "S0003"});
    const TDateTime now0 = rig.clock.now();
    rig.host.begin = now0 - 10 - 1.5 / 24; // mid-period for both 1 and 3 hours
    rig.host.finish = now0;
    rig.host.blockPosition = 3;
    rig.host.powers[0] = 1; // attempt 1 at 0 dBm, attempt 2 at +10
    rig.host.powers[1] = 0;
    ASSERT_TRUE(rig.start(TTaskKind::Download));
    rig.run();
    ASSERT_FALSE(rig.engine.running());

    EXPECT_EQ(rig.state(0), TaskDone);
    EXPECT_EQ(rig.state(1), TaskDone);
    EXPECT_EQ(rig.state(2), NotFound);
    EXPECT_EQ(rig.host.notices(), "CMMCM");
    EXPECT_EQ(rig.host.finishedNotices(), 1);
    EXPECT_GT(rig.engine.failureCount(), 0); // the faults were there and were asked again
    EXPECT_EQ(rig.engine.droppedRecords(), 0);
    expectRecords(rig, 0, rig.host.begin, rig.host.finish);
    expectRecords(rig, 1, rig.host.begin, rig.host.finish);
    EXPECT_EQ(rig.table.loggers[0].RecordTimes.size(), 242u);
    EXPECT_EQ(rig.table.loggers[1].RecordTimes.size(), 81u);
    EXPECT_TRUE(rig.table.loggers[2].RecordTimes.empty());
    EXPECT_TRUE(rig.table.invariantsHold());

    const std::vector<Bytes> expected = {
        {'#', 'C', 20}, {'#', 'T', 0x02, 0x00, 0x12}, {'#', 'P', 0x60}, {'#', 'P', 0xC0}};
    EXPECT_EQ(rig.sim().commands(), expected);
    // Every request went on the air while RTS was high; the power came before its attempt's first.
    size_t secondPower = 0;
    for (size_t k = 0; k < rig.sim().writes().size(); ++k)
        if (rig.sim().writes()[k].command && rig.sim().writes()[k].bytes == expected[3])
            secondPower = k;
    ASSERT_GT(secondPower, 0u);
    const auto& after = rig.sim().writes()[secondPower + 1].bytes;
    EXPECT_EQ(std::string(after.begin(), after.end()), "P0002HEADER-");
    EXPECT_FALSE(rig.devices.dtr());
}

TEST(EndToEnd, EveryOneShotTaskReachesTheGroup) {
    const char* json = R"({"modem": {"port": 6}, "loggers": [
        {"name": "A1", "sensors": [1], "generate": {"count": 5}},
        {"name": "B2", "sensors": [1, 2], "generate": {"count": 5}, "clockOffset": 7200}]})";
    for (TTaskKind kind : {TTaskKind::SetTime, TTaskKind::Erase, TTaskKind::SetPeriod, TTaskKind::Measure,
                           TTaskKind::SetChannel}) {
        SimRig rig(json);
        rig.addLoggers({"A1", "B2"});
        rig.host.loggerPeriodValue = 6;
        rig.host.loggerChannelValue = 20;
        ASSERT_TRUE(rig.start(kind));
        rig.run();
        EXPECT_EQ(rig.state(0), TaskDone) << static_cast<int>(kind);
        EXPECT_EQ(rig.state(1), TaskDone) << static_cast<int>(kind);
        EXPECT_EQ(rig.host.notices(), "CC");
        if (kind == TTaskKind::Erase) {
            EXPECT_EQ(rig.devices.logger(0).recordCount(), 0u);
        }
        if (kind == TTaskKind::SetPeriod) {
            EXPECT_EQ(rig.devices.logger(1).period(), 6);
        }
        if (kind == TTaskKind::SetTime) {
            EXPECT_LE(std::llabs(rig.devices.logger(1).clockSeconds(rig.clock.now()) -
                                 dt::toSeconds(rig.clock.now())),
                      1);
            EXPECT_EQ(rig.host.lastText(EngineEvent::ClockConfirmed, 1), rig.engine.timeText());
        }
    }
}

TEST(EndToEnd, UserStopsADownloadMidway) {
    SimRig rig(kGroup);
    rig.addLoggers({"G0001", "P0002", "S0003"});
    rig.host.begin = rig.clock.now() - 10;
    rig.host.finish = rig.clock.now();
    rig.host.blockPosition = 3;
    ASSERT_TRUE(rig.start(TTaskKind::Download));
    while (rig.table.LoadedRecordCount == 0)
        rig.step();
    rig.host.switchOn = false;
    rig.engine.StopTask();
    EXPECT_FALSE(rig.engine.running());
    EXPECT_FALSE(rig.devices.dtr());
    EXPECT_EQ(rig.state(0), PartlyLoaded);
    const size_t writes = rig.sim().writes().size();
    for (int i = 0; i < 1000; ++i)
        rig.step();
    EXPECT_EQ(rig.sim().writes().size(), writes); // nothing more goes out
    EXPECT_EQ(rig.host.finishedNotices(), 0);
    EXPECT_TRUE(rig.table.invariantsHold());
}

TEST(EndToEnd, ModemSwitchedOffMidTask) {
    SimRig rig(kGroup);
    rig.addLoggers({"G0001", "P0002", "S0003"});
    rig.host.begin = rig.clock.now() - 10;
    rig.host.finish = rig.clock.now();
    ASSERT_TRUE(rig.start(TTaskKind::Download));
    for (int i = 0; i < 10; ++i)
        rig.step();
    rig.port.ClosePort();
    rig.host.switchTasksOff();
    EXPECT_FALSE(rig.engine.running());
    for (int i = 0; i < 1000; ++i)
        rig.step();
    EXPECT_EQ(rig.host.finishedNotices(), 0);
    EXPECT_TRUE(rig.table.invariantsHold());
}

// The logger measures in the middle of a download, which moves every offset on by one: the record
// that the move hid at a block boundary is found, and the file holds every record once, in order.
TEST(EndToEnd, MeasurementDuringADownloadLosesNoRecord) {
    const char* json = R"({"modem": {"port": 6}, "loggers": [
        {"name": "M0001", "sensors": [1, 2, 3, 4], "period": 1, "generate": {"count": 700}}]})";
    SimRig rig(json, dt::encode(2026, 12, 7, 11, 59, 57));
    rig.addLoggers({"M0001"});
    const TDateTime start = rig.clock.now();
    rig.host.begin = start - 31;
    rig.host.finish = start;
    rig.host.blockPosition = 3; // 28 records a block: 25 blocks, several seconds
    ASSERT_TRUE(rig.start(TTaskKind::Download));
    rig.run();
    ASSERT_EQ(rig.devices.logger(0).recordCount(), 701u); // it did measure meanwhile
    EXPECT_EQ(rig.state(0), TaskDone);
    expectRecords(rig, 0, rig.host.begin, start);
    EXPECT_EQ(rig.table.loggers[0].RecordTimes.size(), 700u);
    EXPECT_TRUE(rig.table.invariantsHold());
}

// The period went from 1 to 3 hours ten days ago: the plan counted in 3-hour steps reaches only
// 10 of the 20 days asked for, and the download goes on back to the begin.
TEST(EndToEnd, ChangedPeriodStillReachesTheBeginDate) {
    const char* json = R"({"modem": {"port": 6}, "loggers": [
        {"name": "P0001", "sensors": [1, 2], "period": 1, "measuring": false, "generate": {"count": 480}}]})";
    SimRig rig(json, dt::encode(2026, 11, 27, 12, 0, 0));
    rig.addLoggers({"P0001"});
    rig.clock.setNow(dt::encode(2026, 12, 7, 12, 0, 0));
    rig.host.loggerPeriodValue = 3;
    rig.host.begin = rig.clock.now() - 20;
    rig.host.finish = rig.clock.now();
    ASSERT_TRUE(rig.start(TTaskKind::SetPeriod));
    rig.run();
    ASSERT_EQ(rig.devices.logger(0).period(), 3);
    ASSERT_TRUE(rig.start(TTaskKind::Download));
    rig.run();
    EXPECT_EQ(rig.state(0), TaskDone);
    expectRecords(rig, 0, rig.host.begin - 1.0 / 86400, rig.host.finish);
    EXPECT_EQ(rig.table.loggers[0].RecordTimes.size(), 241u); // ten days at 1 hour, the first at the begin
}

// The status's clock is advanced while the records carry the bare clock: in the last minutes of a
// period the window must still reach the oldest record the plan asks for.
TEST(EndToEnd, ClockAdvanceDoesNotCutTheOldestRecordNearAPeriodBoundary) {
    const char* json = R"({"modem": {"port": 6}, "loggers": [
        {"name": "A0001", "sensors": [1, 2], "period": 3, "measuring": false, "clockOffset": -18000,
         "advance": 40, "generate": {"count": 310}}]})";
    // The logger's bare clock reads 08:57, three minutes before its period ends; 40 × 8 s more.
    SimRig rig(json, dt::encode(2026, 12, 7, 13, 57, 0));
    rig.addLoggers({"A0001"});
    rig.host.begin = rig.clock.now() - 2;
    rig.host.finish = rig.clock.now();
    ASSERT_TRUE(rig.start(TTaskKind::Download));
    rig.run();
    EXPECT_EQ(rig.state(0), TaskDone);
    const LoggerTable::Logger& l = rig.table.loggers[0];
    ASSERT_EQ(l.RecordTimes.size(), 16u); // two days at 3 hours
    EXPECT_EQ(dt::toSeconds(l.RecordTimes.front()), dt::toSeconds(dt::encode(2026, 12, 5, 9, 0, 0)));
    EXPECT_EQ(dt::toSeconds(l.RecordTimes.back()), dt::toSeconds(dt::encode(2026, 12, 7, 6, 0, 0)));
}

// A poor link at the largest blocks: packets spoiled by the radio, lost, replies cut short. The
// records are those of a good link, each once, and the download needs no second attempt.
TEST(EndToEnd, PoorLinkGivesTheRecordsOfAGoodOne) {
    const char* json = R"({"seed": 11, "modem": {"port": 6}, "loggers": [
        {"name": "L0001", "sensors": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16], "period": 1,
         "measuring": false, "generate": {"count": 1000},
         "faults": {"spoiledPacket": 0.05, "lostPacket": 0.01, "truncate": 0.05}}]})";
    SimRig rig(json);
    rig.addLoggers({"L0001"});
    rig.host.begin = rig.clock.now() - 60;
    rig.host.finish = rig.clock.now();
    rig.host.blockPosition = 0;
    ASSERT_TRUE(rig.start(TTaskKind::Download));
    rig.run();
    EXPECT_EQ(rig.state(0), TaskDone);
    EXPECT_EQ(rig.host.notices(), "C");
    EXPECT_GT(rig.engine.failureCount(), 0);
    expectRecords(rig, 0, rig.host.begin, rig.host.finish);
    EXPECT_EQ(rig.table.loggers[0].RecordTimes.size(), 1000u);
}

namespace {

// An event as a front end reads it, without the data that changes with the link.
std::string told(const EngineEvent& e) {
    const std::string row = " " + std::to_string(e.row);
    switch (e.kind) {
    case EngineEvent::TaskStarted:
        return "started";
    case EngineEvent::TaskFinished:
        return e.completed ? "finished, completed" : "finished, stopped";
    case EngineEvent::RunThrough:
        return "run through";
    case EngineEvent::AttemptStarted:
        return "attempt " + std::to_string(e.attempt);
    case EngineEvent::LoggerServed:
        return "served" + row;
    case EngineEvent::LoggerState:
        return "state" + row + " " + std::to_string(e.state);
    case EngineEvent::LinkLevel:
        return "link" + row;
    case EngineEvent::StatusDecoded:
        return "status" + row;
    case EngineEvent::ClockConfirmed:
        return "clock" + row;
    case EngineEvent::ClockChecked:
        return "clock checked" + row;
    case EngineEvent::Progress:
        return "progress " + std::to_string(e.position) + "/" + std::to_string(e.maximum);
    case EngineEvent::Counts:
        return "counts";
    case EngineEvent::Notice:
        return e.notice == EngineEvent::Sound::Completed ? "completed"
               : e.notice == EngineEvent::Sound::Missed  ? "missed"
                                                         : "all finished";
    case EngineEvent::ListeningResumed:
        return "listening";
    case EngineEvent::Question:
        return "question";
    case EngineEvent::Error:
        return "error";
    }
    return "?";
}

const char* const kOneLogger = R"({"seed": 3, "modem": {"port": 6, "channel": 20}, "loggers": [
  {"name": "E0001", "sensors": [1, 2], "period": 1, "measuring": false, "generate": {"count": 30}}]})";

} // namespace

// What every front end hears of one download, in order; of the bar, only where it starts over.
TEST(Events, OneDownloadInOrder) {
    SimRig rig(kOneLogger);
    rig.addLoggers({"E0001"});
    rig.host.attempts[1] = false;
    rig.host.begin = rig.clock.now() - 2;
    rig.host.finish = rig.clock.now();
    ASSERT_TRUE(rig.start(TTaskKind::Download));
    rig.run();
    ASSERT_EQ(rig.state(0), TaskDone);
    std::vector<std::string> heard;
    for (const EngineEvent& e : rig.host.events)
        if (e.kind != EngineEvent::Progress || e.position == 0)
            heard.push_back(told(e));
    // States: 0 not asked, 1 not found, 2 status loaded, 4 done.
    const std::vector<std::string> expected = {
        "started", "state 0 0", "progress 0/100",
        // The status request: the bar counts the ticks of the time limit.
        "attempt 0", "served 0", "progress 0/452", "state 0 1",
        // The status, then the one block of the period: the bar counts the blocks.
        "status 0", "progress 0/1", "state 0 2", "link 0", "counts", "state 0 4", "link 0", "counts",
        // The logger is done; the attempt finds no other, and no later attempt is ticked.
        "completed", "progress 0/1", "attempt 0", "run through", "progress 0/1", "finished, completed",
        "all finished"};
    EXPECT_EQ(heard, expected);
}

// A pulled adapter is noticed after whichever entry of time comes next, once, and the task
// ends there instead of asking every logger for the whole time limit.
TEST(Events, LostDeviceIsFoundByEveryEntryOfTheDriver) {
    for (int entry = 0; entry < 4; ++entry) {
        SimRig rig(kOneLogger);
        rig.addLoggers({"E0001"});
        rig.host.begin = rig.clock.now() - 2;
        rig.host.finish = rig.clock.now();
        int lost = 0;
        rig.driver.setLostHandler([&] {
            ++lost;
            rig.host.switchTasksOff();
        });
        ASSERT_TRUE(rig.start(TTaskKind::Download));
        rig.step();
        EXPECT_EQ(lost, 0);
        rig.sim().pullOut();
        const uint32_t pulled = rig.clock.tickCount();
        switch (entry) {
        case 0:
            EXPECT_FALSE(rig.driver.TimerReadStreamTimer());
            break;
        case 1:
            EXPECT_FALSE(rig.driver.TimerSkipDevTimer());
            break;
        case 2:
            EXPECT_FALSE(rig.driver.ReadArrived());
            break;
        default:
            rig.run();
            break;
        }
        EXPECT_EQ(lost, 1) << entry;
        EXPECT_FALSE(rig.engine.running()) << entry;
        EXPECT_LE(rig.clock.tickCount() - pulled, TaskDriver::kTickMs) << entry;
    }
}
