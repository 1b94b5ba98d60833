#pragma once
// The engine as every test drives it: the values of a front end's controls as plain fields, the
// events it tells recorded in order (with views of them), and the engine on its driver over a
// port and a modem the test chooses, on the test's clock (a fake one, but for the pty rig).
#include "engine/EngineEvents.h"
#include "engine/LoggerTable.h"
#include "engine/TaskDriver.h"
#include "engine/TaskEngine.h"
#include "engine/UiSeams.h"
#include "platform/Clock.h"
#include "tests/support/ScriptedMessages.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace rig {

// The controls as fields, and what the engine told, as a front end would keep it.
class FakeFront final : public IEngineSettings {
public:
    bool attemptTicked(int a) const override { return attempts[static_cast<size_t>(a)]; }
    int powerIndex(int a) const override { return powers[static_cast<size_t>(a)]; }
    int dataBlockPosition() const override { return blockPosition; }
    int modemChannel() const override { return modemChannelValue; }
    int loggerChannel() const override { return loggerChannelValue; }
    int loggerPeriod() const override { return loggerPeriodValue; }
    TDateTime dateBegin() const override { return begin; }
    TDateTime dateFinish() const override { return finish; }
    bool finishGiven() const override { return finishSet; }
    bool onlyNew() const override { return onlyNewDownload; }
    bool loggerTicked(int row) const override { return !unticked.count(row); }
    bool listenAfterTask() const override { return listening; }
    int clockAllowance() const override { return clockAllowanceSeconds; }
    bool clockCheckOnly() const override { return clockOnlyCheck; }
    int clockSetBeyond() const override { return clockSetBeyondSeconds; }

    void operator()(EngineEvent& e) {
        events.push_back(e);
        if (observer)
            observer(e);
        switch (e.kind) {
        case EngineEvent::Question:
            e.answer = msgs.question(e.text);
            break;
        case EngineEvent::Error:
            msgs.error(e.text);
            break;
        case EngineEvent::RunThrough:
            switchTasksOff();
            break;
        default:
            break;
        }
        if (const std::string text = panelText(e); !text.empty())
            panel1 = text;
    }

    // The task switch goes off; it runs its off handler when it was on.
    void switchTasksOff() {
        if (!switchOn)
            return;
        switchOn = false;
        if (offHandler)
            offHandler();
    }

    std::vector<EngineEvent> of(EngineEvent::Kind kind) const {
        std::vector<EngineEvent> out;
        for (const EngineEvent& e : events)
            if (e.kind == kind)
                out.push_back(e);
        return out;
    }
    int count(EngineEvent::Kind kind) const { return static_cast<int>(of(kind).size()); }
    std::vector<std::pair<int, int>> states() const {
        std::vector<std::pair<int, int>> out;
        for (const EngineEvent& e : of(EngineEvent::LoggerState))
            out.push_back({e.row, e.state});
        return out;
    }
    // 'C' a logger done, 'M' a logger missed, in the order the turns ended.
    std::string notices() const {
        std::string out;
        for (const EngineEvent& e : of(EngineEvent::Notice))
            if (e.notice != EngineEvent::Sound::Finished)
                out += e.notice == EngineEvent::Sound::Completed ? 'C' : 'M';
        return out;
    }
    int finishedNotices() const {
        int n = 0;
        for (const EngineEvent& e : of(EngineEvent::Notice))
            n += e.notice == EngineEvent::Sound::Finished;
        return n;
    }
    std::vector<int> attemptsStarted() const {
        std::vector<int> out;
        for (const EngineEvent& e : of(EngineEvent::AttemptStarted))
            out.push_back(e.attempt);
        return out;
    }
    std::vector<int> statusRows() const {
        std::vector<int> out;
        for (const EngineEvent& e : of(EngineEvent::StatusDecoded))
            out.push_back(e.row);
        return out;
    }
    // The text shown with the last event of this kind for a row.
    std::string lastText(EngineEvent::Kind kind, int row) const {
        std::string out;
        for (const EngineEvent& e : of(kind))
            if (e.row == row)
                out = e.text;
        return out;
    }
    EngineEvent lastProgress() const {
        const auto p = of(EngineEvent::Progress);
        return p.empty() ? EngineEvent{} : p.back();
    }

    // Controls.
    bool attempts[3] = {true, true, false};
    int powers[3] = {0, 1, 2};
    int blockPosition = 1;
    int modemChannelValue = 20;
    int loggerChannelValue = 21;
    int loggerPeriodValue = 3;
    TDateTime begin = 0, finish = 0;
    bool finishSet = true;
    bool onlyNewDownload = false;
    bool listening = false;
    int clockAllowanceSeconds = 0;
    bool clockOnlyCheck = false;
    int clockSetBeyondSeconds = -1;
    std::map<int, bool> unticked;

    // The task switch and what the front end did with the events.
    bool switchOn = false;
    std::function<void()> offHandler;
    // Sees every event first, for a rig that keeps more of them.
    std::function<void(const EngineEvent&)> observer;
    std::vector<EngineEvent> events;
    std::string panel1;
    ScriptedMessages msgs;
};

// The engine and its driver over the given port and modem; the timers wait on the fake clock.
struct DrivenEngine {
    DrivenEngine(LoggerTable& table, TSerialPortDriver& port, IModemSender& modem, IClock& clock,
                 FakeFront& front)
        : clock_(clock), front_(front), engine(table, port, modem, clock, front, std::ref(front)),
          driver(engine, port, clock) {
        front.offHandler = [this] { engine.StopTask(); };
        driver.setChangeListener(
            [this](TaskDriver::Change c) { limitRestarts += c == TaskDriver::Change::LimitRestarted; });
        table.setMessages(&front.msgs);
    }

    // A task switch turned on by the user.
    bool start(TTaskKind kind) {
        if (!engine.CheckStart(kind))
            return false;
        front_.switchOn = true;
        engine.StartTask(kind);
        return true;
    }
    // Whatever is due next: a reception tick, the time limit, or 50 ms of nothing.
    void step() { driver.runOnce(); }
    void run(uint64_t maxMs = 10 * 60 * 1000) { driver.runTask(maxMs); }
    void runFor(uint32_t ms) {
        const uint32_t start = clock_.tickCount();
        while (clock_.tickCount() - start < ms)
            step();
    }

    IClock& clock_;
    FakeFront& front_;
    TaskEngine engine;
    TaskDriver driver;
    int limitRestarts = 0;
};

} // namespace rig
