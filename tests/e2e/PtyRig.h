#pragma once
// The program's core on the real clock and a real pseudo-terminal: the POSIX serial layer behind
// the driver, the modem link, the task engine and a main window reduced to plain fields. The
// window's QTimers are a loop that ticks every 50 ms.
#include "engine/EngineHost.h"
#include "engine/LoggerTable.h"
#include "engine/TaskEngine.h"
#include "modem/ModemLink.h"
#include "platform/AdapterSettingsLinux.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/PortMapping.h"
#include "platform/PosixSerialOs.h"
#include "serial/TSerialPortDriver.h"
#include "tests/serial/SerialOsTap.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

class CollectedMessages final : public IMessages {
public:
    void error(const std::string& t) override { errors.push_back(t); }
    void info(const std::string& t) override { infos.push_back(t); }
    bool question(const std::string& t) override {
        questions.push_back(t);
        return true;
    }
    std::vector<std::string> errors, infos, questions;
};

// What a row showed after a valid status: the status fields at that moment.
struct ShownStatus {
    TDateTime clock = 0;
    int period = 0;
    int measureCount = -1;
    int error = -1;
    double battery = 0;
    int sensorCount = -1;
};

class PtyRig final : public IEngineHost, public IModemHost {
public:
    explicit PtyRig(const std::string& pattern)
        : os(pattern), port(os, clock), link(port, clock), adapter(&os.real),
          engine(table, port, link, clock, *this) {
        // The line as the window's start-up sets it.
        port.setHwFlow(hfNONE);
        port.setSwFlow(sfNONE);
        port.setEnableDTROnOpen(false);
        port.setCheckLineStatus(false);
        port.setStopBits(sb1BITS);
        port.setDataBits(db8BITS);
        port.setParity(ptNONE);
        port.setOutputTimeout(50);
        port.setInputTimeout(50);
        port.setInBufSize(4096);
        port.setOutBufSize(4096);
        port.setPollingDelay(60000);
        port.setBaudRateValue(57600);
        if (port.PollingActive())
            port.SuspendPolling();
        link.setHost(this);
        link.setAdapterSettings(&adapter);
        table.setMessages(&msgs);
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
    // number of searches made, 0 when none gave the wanted result.
    template <class Wanted> int searchUntil(double spinValue, Wanted wanted, int tries = 3) {
        for (int n = 1; n <= tries; ++n) {
            os.tried.clear();
            os.opened.clear();
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
    void switchTaskOff() {
        if (!taskSwitchOn)
            return;
        taskSwitchOn = false;
        engine.StopTask();
    }

    // A task switch turned on by the user.
    bool start(TTaskKind kind) {
        if (!engine.CheckStart(kind))
            return false;
        taskSwitchOn = true;
        engine.StartTask(kind);
        return true;
    }

    // Ticks the two timers on the real clock until the task ends or the limit passes.
    void run(int limitMs) {
        runWhile([] { return true; }, limitMs);
    }
    // The same, also stopping as soon as `going` turns false.
    template <class Going> void runWhile(Going going, int limitMs) {
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + milliseconds(limitMs);
        auto next = steady_clock::now();
        while (taskRunning() && going() && steady_clock::now() < deadline) {
            next += milliseconds(readStreamInterval());
            std::this_thread::sleep_until(next);
            if (readTimerOn)
                engine.TimerReadStreamTimer();
            if (skipDevOn && steady_clock::now() - skipDevStart >= milliseconds(kSkipDevMs)) {
                skipDevStart = steady_clock::now(); // the timer runs on until switched off
                engine.TimerSkipDevTimer();
            }
        }
    }

    int state(int row) const { return table.loggers[static_cast<size_t>(row)].LoggerState; }
    std::vector<bool> tickedRows() const {
        std::vector<bool> out;
        for (int i = 0; i < table.LoggerCount; ++i)
            out.push_back(loggerTicked(i));
        return out;
    }

    // IEngineHost: controls.
    bool attemptTicked(int a) const override { return attempts[a]; }
    int powerIndex(int a) const override { return powers[a]; }
    int dataBlockPosition() const override { return blockPosition; }
    int modemChannel() const override { return modemChannelValue; }
    int loggerChannel() const override { return loggerChannelValue; }
    int loggerPeriod() const override { return loggerPeriodValue; }
    TDateTime dateBegin() const override { return begin; }
    TDateTime dateFinish() const override { return finish; }
    bool finishGiven() const override { return finishSet; }
    bool loggerTicked(int row) const override { return !unticked.count(row); }

    // Progress display.
    bool taskRunning() const override { return progressShown; }
    void setProgressShown(bool shown) override { progressShown = shown; }
    void setProgressMax(int) override {}
    void setProgressPosition(int) override {}
    void advanceProgress() override {}
    void setExecutionLabel(const std::string&) override {}
    void setStatusPanel1(const std::string& t) override { panel1 = t; }
    void showPointers() override {}
    void moveAttemptPointer(int left) override {
        attemptPointer.push_back(left);
        if (onAttempt)
            onAttempt((left - 72) / 23);
    }
    void moveDevicePointer(int) override {}
    void setModemChannelEnabled(bool) override {}

    void switchTasksOff() override {
        ++switchesOff;
        if (taskSwitchOn) {
            taskSwitchOn = false;
            engine.StopTask();
        }
    }
    bool connectSwitchOn() const override { return connectOn; }

    void setReadStreamTimer(bool on) override { readTimerOn = on; }
    int readStreamInterval() const override { return 50; }
    void restartSkipDevTimer() override {
        skipDevOn = true;
        skipDevStart = std::chrono::steady_clock::now();
    }
    void stopSkipDevTimer() override { skipDevOn = false; }
    void startFinishedSoundTimer() override { ++finishedTimer; }

    void rowShowState(int, int) override {}
    void rowShowRawClock(int, const std::string&) override {}
    void rowShowLink(int, double, int) override {}
    void rowShowStatus(int row, const LoggerTable& t) override {
        shown[row] = {t.StatusClock, t.StatusPeriod,  t.StatusMeasureCount,
                      t.StatusError, t.StatusBattery, t.StatusSensorCount};
    }
    void rowShowClockText(int row, const std::string& text) override { clockTexts[row] = text; }

    int soundMode() const override { return 1; }
    void playCompleted() override { notices += 'C'; }
    void playMissed() override { notices += 'M'; }

    bool analyzerShowing() const override { return false; }
    void analyzerStopReading() override {}
    void analyzerStart() override {}
    void analyzerAddRssi(TDateTime, double) override {}
    IMessages& messages() override { return msgs; }

    // IModemHost.
    void setStatusPanel0(const std::string& t) override { panel0 = t; }
    double portSpinValue() const override { return spin; }
    double portSpinMinimum() const override { return spinMinimum; }
    void setPortSpinValue(double v) override { spin = std::min(v, spinMaximum); }
    void turnConnectSwitchOff() override {
        if (!connectOn)
            return;
        connectOn = false;
        link.SwitchConnectOff(*this);
    }
    void analyzerShowRoutine() override {}
    void analyzerCloseRoutine() override {}

    static constexpr int kSkipDevMs = 26000;

    SystemClock& clock = SystemClock::instance();
    SerialOsTap<PosixSerialOs> os; // notes the ports the search tried
    TSerialPortDriver port;
    ModemLink link;
    LinuxAdapterSettings adapter;
    LoggerTable table;
    TaskEngine engine;
    CollectedMessages msgs;

    // Controls.
    double spin = 2, spinMinimum = 2, spinMaximum = 255;
    bool attempts[3] = {true, true, false};
    int powers[3] = {0, 1, 2}; // items "+10", "0", "-10"
    int blockPosition = 3;
    int modemChannelValue = 20;
    int loggerChannelValue = 20;
    int loggerPeriodValue = 3;
    TDateTime begin = 0, finish = 0;
    bool finishSet = false; // as the window's finish box: unticked, a download runs to its start
    std::set<int> unticked;
    std::function<void(int attempt)> onAttempt;

    // What the core did to the window.
    bool connectOn = false, taskSwitchOn = false, progressShown = false;
    bool readTimerOn = false, skipDevOn = false;
    std::chrono::steady_clock::time_point skipDevStart{};
    int switchesOff = 0, finishedTimer = 0;
    std::string panel0, panel1, notices;
    std::vector<int> attemptPointer;
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
