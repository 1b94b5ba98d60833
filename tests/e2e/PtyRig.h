#pragma once
// The program's core on the real clock and a real pseudo-terminal: the POSIX serial layer behind
// the driver, the modem link, and the task engine on its driver, which waits on the real clock.
#include "engine/LoggerTable.h"
#include "modem/ModemLine.h"
#include "modem/ModemLink.h"
#include "platform/AdapterSettingsLinux.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/PortMapping.h"
#include "platform/PosixSerialOs.h"
#include "serial/TSerialPortDriver.h"
#include "tests/serial/SerialOsTap.h"
#include "tests/support/EngineRig.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace e2e {

// What a row showed after a valid status: the status fields at that moment.
struct ShownStatus {
    TDateTime clock = 0;
    int period = 0;
    int measureCount = -1;
    int error = -1;
    double battery = 0;
    int sensorCount = -1;
};

class PtyRig final : public IModemHost {
public:
    explicit PtyRig(const std::string& pattern)
        : os(pattern), port(os, clock), link(port, clock), adapter(&os.real),
          driven(table, port, link, clock, front) {
        setModemLine(port);
        link.setHost(this);
        link.setAdapterSettings(&adapter);
        front.blockPosition = 3;
        front.loggerChannelValue = 20;
        front.finishSet = false; // as the window's finish box: unticked, a download runs to its start
        front.observer = [this](const EngineEvent& e) {
            if (e.kind == EngineEvent::StatusDecoded)
                shown[e.row] = {table.StatusClock, table.StatusPeriod,  table.StatusMeasureCount,
                                table.StatusError, table.StatusBattery, table.StatusSensorCount};
            else if (e.kind == EngineEvent::ClockConfirmed)
                clockTexts[e.row] = e.text;
            else if (e.kind == EngineEvent::RunThrough)
                ++switchesOff;
            else if (e.kind == EngineEvent::AttemptStarted && onAttempt)
                onAttempt(e.attempt);
        };
    }

    // The user switches "модем" on; true when the search left it on.
    bool connect(double spinValue) {
        spin = spinValue;
        connectOn = true;
        link.SwitchConnectOn(*this);
        return connectOn;
    }
    void disconnect() { turnConnectSwitchOff(); }

    // The identification reply is read once, 15 ms after "#?". On a machine shared with busy
    // builds the simulator can be kept off the processor for longer than that, and the search
    // then goes on past the modem, as it would with a slow adapter. Such a search is repeated
    // (at most `tries` searches in all) until `wanted` holds for the ports it tried; returns the
    // number of searches made, 0 when none gave the wanted result. What a test reads is the last
    // search's: a search that went past the modem says so in a box, which is not this one's.
    template <class Wanted> int searchUntil(double spinValue, Wanted wanted, int tries = 3) {
        for (int n = 1; n <= tries; ++n) {
            os.tried.clear();
            os.opened.clear();
            front.msgs.errors.clear();
            connect(spinValue);
            if (wanted())
                return n;
            disconnect();
        }
        return 0;
    }
    bool connectFound(double spinValue) {
        return searchUntil(spinValue, [this] { return connectOn; }) > 0;
    }

    void addLoggers(const std::vector<std::string>& names) {
        for (const std::string& n : names)
            table.appendLogger(n, "");
        table.AllocateTable();
    }

    // The user turns the running task's switch off.
    void switchTaskOff() { front.switchTasksOff(); }
    // A task switch turned on by the user.
    bool start(TTaskKind kind) { return driven.start(kind); }

    // Runs the task on the real clock until it ends or the limit passes.
    void run(int limitMs) {
        runWhile([] { return true; }, limitMs);
    }
    // The same, also stopping as soon as `going` turns false.
    template <class Going> void runWhile(Going going, int limitMs) {
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + milliseconds(limitMs);
        while (taskRunning() && going() && steady_clock::now() < deadline)
            driven.step();
    }

    bool taskRunning() const { return engine.running(); }
    bool readTimerOn() const { return driven.driver.receiving(); }
    bool skipDevOn() const { return driven.driver.limitArmed(); }
    int finishedTimer() const { return front.finishedNotices(); }
    std::string notices() const { return front.notices(); }
    int state(int row) const { return table.loggers[static_cast<size_t>(row)].LoggerState; }
    std::vector<bool> tickedRows() const {
        std::vector<bool> out;
        for (int i = 0; i < table.LoggerCount; ++i)
            out.push_back(front.loggerTicked(i));
        return out;
    }

    // IModemHost.
    void setStatusPanel0(const std::string& t) override { panel0 = t; }
    void setStatusPanel1(const std::string& t) override { front.panel1 = t; }
    double portSpinValue() const override { return spin; }
    double portSpinMinimum() const override { return spinMinimum; }
    void setPortSpinValue(double v) override { spin = std::min(v, spinMaximum); }
    void turnConnectSwitchOff() override {
        if (!connectOn)
            return;
        connectOn = false;
        link.SwitchConnectOff(*this);
    }
    void switchTasksOff() override {
        ++switchesOff;
        front.switchTasksOff();
    }
    bool analyzerShowing() const override { return false; }
    void analyzerShowRoutine() override {}
    void analyzerCloseRoutine() override {}
    IMessages& messages() override { return front.msgs; }

    SystemClock& clock = SystemClock::instance();
    SerialOsTap<PosixSerialOs> os; // notes the ports the search tried
    TSerialPortDriver port;
    ModemLink link;
    LinuxAdapterSettings adapter;
    LoggerTable table;
    rig::FakeFront front;
    rig::DrivenEngine driven;
    TaskEngine& engine = driven.engine;

    // Controls, as the front's fields.
    bool (&attempts)[3] = front.attempts;
    int (&powers)[3] = front.powers; // items "+10", "0", "-10"
    int& blockPosition = front.blockPosition;
    int& modemChannelValue = front.modemChannelValue;
    int& loggerPeriodValue = front.loggerPeriodValue;
    TDateTime& begin = front.begin;
    TDateTime& finish = front.finish;
    std::map<int, bool>& unticked = front.unticked;
    rig::ScriptedMessages& msgs = front.msgs;
    double spin = 2, spinMinimum = 2, spinMaximum = 255;
    std::function<void(int attempt)> onAttempt;

    // What the core did.
    bool connectOn = false;
    int switchesOff = 0;
    std::string panel0;
    std::string& panel1 = front.panel1;
    std::map<int, ShownStatus> shown;
    std::map<int, std::string> clockTexts;
};

// "YYYY-MM-DD hh:mm:ss", the simulator's way of writing a record time.
inline std::string scenarioTime(TDateTime t) {
    const DateTimeParts p = dt::decode(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
    return buf;
}

} // namespace e2e
