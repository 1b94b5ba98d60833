#include "EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

const std::string kPeriodMessage = "Некорректно задан временной интервал";

std::string cmd(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

// Puts one record into logger i so that a download start has something to discard.
void giveRecord(LoggerTable& t, int i) {
    t.loggers[static_cast<size_t>(i)].SensorCodes = {1};
    t.loggers[static_cast<size_t>(i)].SensorReadings.resize(1);
    const int16_t r = 5;
    t.appendRecord(i, 46000.0, 300, &r, 1);
}

} // namespace

TEST(StartChecks, RefusalsInTheirOrder) {
    Harness h;
    // No loggers.
    EXPECT_FALSE(h.start(TTaskKind::SetTime));
    h.addLoggers({"A1"});
    // Port closed.
    h.port.ClosePort();
    EXPECT_FALSE(h.start(TTaskKind::Measure));
    h.port.OpenPort();
    EXPECT_TRUE(h.modem.sent.empty());
    // A task already running.
    TestLogger a{"A1"};
    a.silent = true;
    h.attach(a);
    ASSERT_TRUE(h.start(TTaskKind::Measure));
    const size_t sent = h.modem.sent.size();
    EXPECT_FALSE(h.engine.CheckStart(TTaskKind::Measure));
    EXPECT_EQ(h.modem.sent.size(), sent);
    EXPECT_TRUE(h.host.msgs.errors.empty());
    EXPECT_TRUE(h.host.msgs.questions.empty());
}

TEST(StartChecks, ConfirmationsOfEraseAndChannel) {
    Harness h;
    h.addLoggers({"A1"});
    h.host.attempts[0] = h.host.attempts[1] = false;
    h.host.msgs.answer = false;
    EXPECT_FALSE(h.engine.CheckStart(TTaskKind::Erase));
    EXPECT_FALSE(h.engine.CheckStart(TTaskKind::SetChannel));
    ASSERT_EQ(h.host.msgs.questions.size(), 2u);
    EXPECT_EQ(h.host.msgs.questions[0], "Стереть все данные из памяти приборов?");
    EXPECT_EQ(h.host.msgs.questions[1], "Изменить частотный канал?");
    h.host.msgs.answer = true;
    EXPECT_TRUE(h.engine.CheckStart(TTaskKind::Erase));
    EXPECT_TRUE(h.engine.CheckStart(TTaskKind::SetPeriod));
    EXPECT_EQ(h.host.msgs.questions.size(), 3u);
}

TEST(StartChecks, DownloadPeriodBoundary) {
    Harness h;
    h.addLoggers({"A1"});
    h.host.begin = dt::encode(2026, 12, 1, 10, 30, 0);
    h.host.finish = dt::encode(2026, 12, 2, 10, 30, 0);
    EXPECT_TRUE(h.engine.CheckStart(TTaskKind::Download));
    EXPECT_TRUE(h.host.msgs.errors.empty());

    // One minute less: refused, after the loaded data were discarded with the user's consent.
    giveRecord(h.table, 0);
    h.host.finish = dt::encode(2026, 12, 2, 10, 29, 0);
    EXPECT_FALSE(h.engine.CheckStart(TTaskKind::Download));
    EXPECT_EQ(h.host.msgs.questions.size(), 1u);
    EXPECT_EQ(h.table.LoadedRecordCount, 0);
    ASSERT_EQ(h.host.msgs.errors.size(), 1u);
    EXPECT_EQ(h.host.msgs.errors[0], kPeriodMessage);
}

TEST(StartChecks, DeclinedDiscardKeepsTheDataAndStillWarnsOfThePeriod) {
    Harness h;
    h.addLoggers({"A1"});
    giveRecord(h.table, 0);
    h.host.msgs.answer = false;
    EXPECT_FALSE(h.engine.CheckStart(TTaskKind::Download));
    EXPECT_EQ(h.table.LoadedRecordCount, 1);
    EXPECT_TRUE(h.host.msgs.errors.empty()); // the period is fine

    h.host.finish = h.host.begin;
    EXPECT_FALSE(h.engine.CheckStart(TTaskKind::Download));
    EXPECT_EQ(h.host.msgs.errors.size(), 1u);
}

TEST(StartChecks, PortClosedAndBadPeriodStillShowsTheMessage) {
    Harness h;
    h.addLoggers({"A1"});
    h.port.ClosePort();
    h.host.finish = h.host.begin + 0.5;
    EXPECT_FALSE(h.engine.CheckStart(TTaskKind::Download));
    ASSERT_EQ(h.host.msgs.errors.size(), 1u);
    EXPECT_EQ(h.host.msgs.errors[0], kPeriodMessage);
    // Other kinds never look at the period.
    EXPECT_FALSE(h.engine.CheckStart(TTaskKind::SetTime));
    EXPECT_EQ(h.host.msgs.errors.size(), 1u);
}

TEST(Polling, NoTickedLoggerStartsAndEndsAtOnce) {
    {
        Harness h;
        h.addLoggers({"A1", "A2"});
        h.host.unticked = {{0, true}, {1, true}};
        ASSERT_TRUE(h.start(TTaskKind::SetTime));
        EXPECT_EQ(h.modem.commands(),
                  (std::vector<std::string>{cmd({'#', 'C', 20}), cmd({'#', 'T', 2, 0, 0x12})}));
        EXPECT_TRUE(h.modem.air().empty());
        EXPECT_EQ(h.host.states(), (std::vector<std::pair<int, int>>{{0, NotPolled}, {1, NotPolled}}));
        EXPECT_FALSE(h.engine.running()); // the switch went off and StopTask ran
        EXPECT_FALSE(h.host.switchOn);
        EXPECT_EQ(h.host.finishedNotices(), 1);
        EXPECT_EQ(h.engine.attemptIndex(), 3);
        EXPECT_FALSE(h.os.dtr); // raised at the start, lowered by StopTask
        EXPECT_EQ(h.host.count(EngineEvent::TaskFinished), 1);
        EXPECT_EQ(h.host.count(EngineEvent::TaskStarted), 1);
        EXPECT_EQ(h.host.panel1, "Инициализация...");
    }
}

TEST(Polling, EveryLoggerAlreadyDoneOrNoAttemptTicked) {
    Harness h;
    h.addLoggers({"A1"});
    h.host.attempts[0] = h.host.attempts[1] = h.host.attempts[2] = false;
    ASSERT_TRUE(h.start(TTaskKind::Measure));
    EXPECT_FALSE(h.engine.running());
    EXPECT_EQ(h.modem.commands().size(), 2u);
    EXPECT_TRUE(h.host.attemptsStarted().empty());
}

TEST(Polling, PowersPerAttemptAndTheSilentLoggerAskedInEach) {
    Harness h;
    h.addLoggers({"A1", "B2", "C3"});
    h.host.attempts[2] = true;
    TestLogger a{"A1"};
    TestLogger c{"C3"};
    TestLogger b{"B2"};
    b.silent = true;
    h.attach(a);
    h.attach(b);
    h.attach(c);
    ASSERT_TRUE(h.start(TTaskKind::Measure));
    h.run();
    ASSERT_FALSE(h.engine.running());

    const std::vector<std::string> expected = {cmd({'#', 'C', 20}), cmd({'#', 'T', 2, 0, 0x12}),
                                               cmd({'#', 'P', 0xC0}), cmd({'#', 'P', 0x60}),
                                               cmd({'#', 'P', 0x6E})};
    EXPECT_EQ(h.modem.commands(), expected);
    // "#P" goes out just before each attempt's first request.
    std::vector<std::string> order;
    for (const auto& s : h.modem.sent)
        order.push_back(s.bytes.substr(0, 2));
    EXPECT_EQ(order, (std::vector<std::string>{"#C", "#T", "#P", "A1", "B2", "C3", "#P", "B2", "#P", "B2"}));
    EXPECT_EQ(b.heard.size(), 3u);
    EXPECT_EQ(h.state(0), TaskDone);
    EXPECT_EQ(h.state(1), NotFound);
    EXPECT_EQ(h.state(2), TaskDone);
    EXPECT_EQ(h.host.notices(), "CMCMM");
    EXPECT_EQ(h.host.attemptsStarted(), (std::vector<int>{0, 0, 0, 0, 1, 1, 2, 2}));
    EXPECT_EQ(h.host.finishedNotices(), 1);
}

TEST(Polling, SilentLoggerGetsItsTimeLimitFromTheLastRequest) {
    Harness h;
    h.addLoggers({"A1"});
    h.host.attempts[1] = false;
    TestLogger a{"A1"};
    a.silent = true;
    h.attach(a);
    ASSERT_TRUE(h.start(TTaskKind::Erase));
    const uint64_t t0 = h.clock.elapsedMs();
    h.runFor(25900);
    EXPECT_TRUE(h.engine.running());
    // The bar steps with every tick: 518 of them have gone once round its 452 steps and on.
    EXPECT_EQ(h.host.lastProgress().position, 518 - 453);
    h.run();
    EXPECT_FALSE(h.engine.running());
    EXPECT_GE(h.clock.elapsedMs() - t0, 26000u);
    EXPECT_LT(h.clock.elapsedMs() - t0, 26100u);
    EXPECT_EQ(h.host.lastProgress().maximum, 452);
    EXPECT_EQ(h.host.notices(), "M");
}

TEST(Polling, UntickingTheRunningAttemptMovesOnWithoutANewPower) {
    Harness h;
    h.addLoggers({"A1", "B2", "C3"});
    h.host.attempts[2] = true;
    TestLogger a{"A1"};
    TestLogger b{"B2"};
    TestLogger c{"C3"};
    a.silent = c.silent = true;
    h.attach(a);
    h.attach(b);
    h.attach(c);
    ASSERT_TRUE(h.start(TTaskKind::SetPeriod));
    // While A1 is asked in attempt 1, attempt 1 is unticked: B2 follows in attempt 2, no "#P".
    h.host.attempts[0] = false;
    h.run();
    std::vector<std::string> order;
    for (const auto& s : h.modem.sent)
        order.push_back(s.bytes.substr(0, 2));
    EXPECT_EQ(order, (std::vector<std::string>{"#C", "#T", "#P", "A1", "B2", "C3", "#P", "A1", "C3"}));
    EXPECT_EQ(h.modem.commands()[3], cmd({'#', 'P', 0x6E})); // attempt 3's power
    EXPECT_EQ(h.host.attemptsStarted(), (std::vector<int>{0, 1, 1, 1, 2, 2, 2}));
    EXPECT_EQ(h.state(1), TaskDone);
}

TEST(Polling, PowerGroupIsReadWhenItsAttemptSendsThePower) {
    Harness h;
    h.addLoggers({"A1", "B2"});
    h.host.attempts[1] = false;
    h.host.powers[0] = -1; // none selected
    TestLogger a{"A1"};
    TestLogger b{"B2"};
    h.attach(a);
    h.attach(b);
    ASSERT_TRUE(h.start(TTaskKind::Measure));
    h.host.powers[0] = 0; // changed during the attempt: no effect on it
    h.run();
    const auto c = h.modem.commands();
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[2], cmd({'#', 'P', 0x60}));
}

TEST(Polling, UserStopsTheTask) {
    Harness h;
    h.addLoggers({"A1", "B2"});
    TestLogger a{"A1"};
    a.silent = true;
    h.attach(a);
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.runFor(1000);
    ASSERT_TRUE(h.driver.receiving());
    // The switch goes off by the user's hand: its off-handler.
    h.host.switchOn = false;
    h.engine.StopTask();
    EXPECT_FALSE(h.engine.running());
    EXPECT_FALSE(h.driver.receiving());
    EXPECT_FALSE(h.driver.limitArmed());
    EXPECT_EQ(h.host.lastProgress().phase, EngineEvent::Phase::None);
    EXPECT_EQ(h.host.finishedNotices(), 0);
    EXPECT_EQ(h.state(0), NotFound);
    EXPECT_FALSE(h.os.dtr);
    // A time-limit tick that was already queued changes nothing.
    const size_t sent = h.modem.sent.size();
    h.engine.TimerSkipDevTimer();
    EXPECT_EQ(h.modem.sent.size(), sent);
    EXPECT_EQ(h.host.notices(), "");
}

TEST(Polling, StopHandsThePortBackToAShowingAnalyzer) {
    Harness h;
    h.addLoggers({"A1"});
    h.host.listening = true;
    h.host.unticked[0] = true;
    ASSERT_TRUE(h.start(TTaskKind::Measure));
    EXPECT_EQ(h.host.count(EngineEvent::ListeningResumed), 1);
    EXPECT_TRUE(h.os.dtr); // the analyzer keeps reading

    h.host.listening = false;
    ASSERT_TRUE(h.start(TTaskKind::Measure));
    EXPECT_EQ(h.host.count(EngineEvent::ListeningResumed), 1);
    EXPECT_FALSE(h.os.dtr);
}

TEST(Polling, ModemSwitchedOffMidTask) {
    Harness h;
    h.addLoggers({"A1"});
    TestLogger a{"A1"};
    a.silent = true;
    h.attach(a);
    ASSERT_TRUE(h.start(TTaskKind::Download));
    h.runFor(500);
    // The connection switch goes off: the port closes and the task switches go off.
    h.port.ClosePort();
    h.host.switchTasksOff();
    EXPECT_FALSE(h.engine.running());
    EXPECT_EQ(h.host.finishedNotices(), 0);
    h.runFor(30000); // nothing left to drive
    EXPECT_EQ(h.host.notices(), "");
}

TEST(ChannelResult, FirstTickedLoggerNotDone) {
    Harness h;
    h.addLoggers({"A1", "B2", "C3"});
    h.table.loggers[0].LoggerState = TaskDone;
    h.table.loggers[1].LoggerState = NotFound;
    h.table.loggers[2].LoggerState = NotFound;
    EXPECT_FALSE(h.engine.ChannelChangeSucceeded());
    EXPECT_EQ(h.table.CurrentLogger, 1);
    h.host.unticked[1] = true;
    EXPECT_FALSE(h.engine.ChannelChangeSucceeded());
    EXPECT_EQ(h.table.CurrentLogger, 2);
    h.host.unticked[2] = true;
    EXPECT_TRUE(h.engine.ChannelChangeSucceeded());
    EXPECT_EQ(h.table.CurrentLogger, 3);
}

TEST(ChannelResult, TaskWithEveryLoggerAcknowledging) {
    Harness h;
    h.addLoggers({"A1", "B2"});
    TestLogger a{"A1"};
    TestLogger b{"B2"};
    h.attach(a);
    h.attach(b);
    bool succeeded = false;
    h.host.offHandler = [&] {
        h.engine.StopTask();
        succeeded = h.engine.ChannelChangeSucceeded();
    };
    h.host.loggerChannelValue = 22;
    ASSERT_TRUE(h.start(TTaskKind::SetChannel));
    h.run();
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(a.heard, (std::vector<std::string>{"A1C" + cmd({22}) + "-----"}));
    EXPECT_EQ(h.modem.commands()[0], cmd({'#', 'C', 20})); // the loggers are reached on the old channel
}

TEST(ChannelResult, StoppedBeforeAnyAnswer) {
    Harness h;
    h.addLoggers({"A1"});
    TestLogger a{"A1"};
    a.delayMs = 5000;
    h.attach(a);
    ASSERT_TRUE(h.start(TTaskKind::SetChannel));
    h.runFor(200);
    h.engine.StopTask();
    EXPECT_FALSE(h.engine.ChannelChangeSucceeded());
}
