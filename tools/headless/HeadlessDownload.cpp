#include "tools/headless/HeadlessDownload.h"

#include "engine/EngineHost.h"
#include "engine/LoggerTable.h"
#include "engine/TaskEngine.h"
#include "files/ConfigReader.h"
#include "files/OrxWriter.h"
#include "modem/ModemLink.h"
#include "platform/Clock.h"
#include "serial/TSerialPortDriver.h"
#include "sim/FixedNowClock.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace headless {
namespace {

constexpr uint32_t kSkipDevInterval = 26000;

bool parseInt(const std::string& text, int low, int high, int& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high)
        return false;
    out = static_cast<int>(v);
    return true;
}

// The window's part, played by plain fields: every logger ticked, the strategy of the default
// settings, timers as deadlines that the loop below serves.
class ConsoleHost final : public IEngineHost, public IModemHost, public IConfigHost, public IMessages {
public:
    ConsoleHost(const Options& o, IClock& clock, std::FILE* log) : options(o), clock_(clock), log_(log) {}

    // IEngineHost: controls.
    bool attemptTicked(int a) const override { return a >= 0 && a < 3 && options.attempts[a]; }
    int powerIndex(int a) const override { return a >= 0 && a < 3 ? options.powers[a] : -1; }
    int dataBlockPosition() const override { return options.blockPosition; }
    int modemChannel() const override { return channel; }
    int loggerChannel() const override { return channel; }
    int loggerPeriod() const override { return 3; }
    TDateTime dateBegin() const override { return begin; }
    TDateTime dateFinish() const override { return finish; }
    bool loggerTicked(int) const override { return true; }

    // Progress.
    bool taskRunning() const override { return progressShown; }
    void setProgressShown(bool shown) override { progressShown = shown; }
    void setProgressMax(int) override {}
    void setProgressPosition(int) override {}
    void advanceProgress() override {}
    void setExecutionLabel(const std::string&) override {}
    void setStatusPanel1(const std::string& text) override {
        if (text != panel1_)
            say("%s\n", text.c_str());
        panel1_ = text;
    }
    void showPointers() override {}
    void moveAttemptPointer(int) override {}
    void moveDevicePointer(int) override {}
    void setModemChannelEnabled(bool) override {}

    // Switches: only the download switch can be on.
    void switchTasksOff() override {
        if (!downloadOn)
            return;
        downloadOn = false;
        if (engine)
            engine->StopTask();
    }
    bool connectSwitchOn() const override { return connected; }

    // Timers.
    void setReadStreamTimer(bool on) override {
        if (on && !readOn)
            readStart = clock_.tickCount();
        readOn = on;
    }
    int readStreamInterval() const override { return 50; }
    void restartSkipDevTimer() override {
        skipOn = true;
        skipStart = clock_.tickCount();
    }
    void stopSkipDevTimer() override { skipOn = false; }
    void startFinishedSoundTimer() override {}

    // Rows.
    void rowShowState(int row, int code) override {
        if (table && table->validIndex(row) && code >= TaskDone)
            say("logger %d: %s\n", row + 1, stateLook(code).hint);
    }
    void rowShowLink(int, double, int) override {}
    void rowShowStatus(int row, const LoggerTable& t) override {
        say("logger %d: status, %d sensors, %d stored\n", row + 1, t.StatusSensorCount, t.StatusMeasureCount);
    }
    void rowShowClockText(int, const std::string&) override {}
    void rowShowRawClock(int, const std::string&) override {}

    // No sound and no analyzer here.
    int soundMode() const override { return 0; }
    void playCompleted() override {}
    void playMissed() override {}
    bool analyzerShowing() const override { return false; }
    void analyzerStopReading() override {}
    void analyzerStart() override {}
    void analyzerAddRssi(TDateTime, double) override {}
    void analyzerShowRoutine() override {}
    void analyzerCloseRoutine() override {}

    // IModemHost.
    void setStatusPanel0(const std::string& text) override { say("%s\n", text.c_str()); }
    double portSpinValue() const override { return portValue; }
    double portSpinMinimum() const override { return options.portMinimum; }
    void setPortSpinValue(double value) override { portValue = std::clamp(value, 1.0, 255.0); }
    void turnConnectSwitchOff() override {
        if (!connected)
            return;
        connected = false;
        if (link)
            link->SwitchConnectOff(*this);
    }

    // IConfigHost: the channel control keeps the one byte that "#C" can carry.
    void setModemChannel(int value) override { channel = std::clamp(value, 0, 255); }
    void setCaption(const std::string&) override {}

    // IMessages: errors are logged; the only question a download asks is about data that this
    // run cannot have yet.
    void error(const std::string& text) override {
        ++errors;
        say("error: %s\n", text.c_str());
    }
    void info(const std::string& text) override { say("%s\n", text.c_str()); }
    bool question(const std::string& text) override {
        say("question (answered yes): %s\n", text.c_str());
        return true;
    }
    IMessages& messages() override { return *this; }

    // Checked like printf, so a wrong argument is a compile error rather than garbage in the log.
    __attribute__((format(printf, 2, 3))) void say(const char* format, ...) {
        if (!log_)
            return;
        va_list args;
        va_start(args, format);
        std::vfprintf(log_, format, args);
        va_end(args);
    }

    const Options& options;
    TaskEngine* engine = nullptr;
    ModemLink* link = nullptr;
    const LoggerTable* table = nullptr;
    int channel = 0;
    double portValue = 2;
    TDateTime begin = 0;
    TDateTime finish = 0;
    bool progressShown = false;
    bool downloadOn = false;
    bool connected = false;
    bool readOn = false;
    bool skipOn = false;
    uint32_t readStart = 0;
    uint32_t skipStart = 0;
    int errors = 0;

private:
    IClock& clock_;
    std::FILE* log_;
    std::string panel1_;
};

void configurePort(TSerialPortDriver& port) {
    port.setInBufSize(4096);
    port.setOutBufSize(4096);
    port.setHwFlow(hfNONE);
    port.setSwFlow(sfNONE);
    port.setEnableDTROnOpen(false);
    port.setCheckLineStatus(false);
    port.setStopBits(sb1BITS);
    port.setDataBits(db8BITS);
    port.setParity(ptNONE);
    port.setOutputTimeout(50);
    port.setInputTimeout(50);
    port.setPollingDelay(60000);
    port.setBaudRateValue(57600);
    if (port.PollingActive())
        port.SuspendPolling();
}

// Serves the two timers until the task ends, sleeping to the nearer deadline in between.
void driveTask(ConsoleHost& host, TaskEngine& engine, TSerialPortDriver& port, IClock& clock) {
    while (host.taskRunning()) {
        if (port.DeviceLost()) {
            // A pulled adapter: nothing more will come; what came is written.
            host.say("the modem was lost\n");
            host.switchTasksOff();
            break;
        }
        const uint32_t now = clock.tickCount();
        uint32_t wait = 50;
        if (host.readOn) {
            const uint32_t due = now - host.readStart;
            wait = due >= 50 ? 0 : 50 - due;
        }
        if (host.skipOn) {
            const uint32_t due = now - host.skipStart;
            wait = std::min(wait, due >= kSkipDevInterval ? 0 : kSkipDevInterval - due);
        }
        if (wait > 0)
            clock.sleepMs(wait);
        const uint32_t t = clock.tickCount();
        if (host.skipOn && t - host.skipStart >= kSkipDevInterval) {
            // A repeating timer: the next limit counts from this tick unless the engine restarts it.
            host.skipStart = t;
            engine.TimerSkipDevTimer();
            continue;
        }
        if (host.readOn && t - host.readStart >= 50) {
            host.readStart = t;
            engine.TimerReadStreamTimer();
        }
    }
}

} // namespace

const char* usageText() {
    return "usage: kv-headless --scenario-group FILE.cfg --out FILE.orx [--port N] [--port-device PATTERN]\n"
           "                   [--fixed-now \"YYYY-MM-DD hh:mm:ss\"] [--block-position 0..3] [--days N]\n";
}

bool parseOptions(const std::vector<std::string>& args, Options& out, std::string& error) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) {
            error = "missing value after " + a;
            return false;
        }
        const std::string& v = args[++i];
        bool ok = true;
        if (a == "--scenario-group" || a == "--group") {
            o.groupFile = v;
        } else if (a == "--out") {
            o.outFile = v;
        } else if (a == "--port") {
            ok = parseInt(v, 1, 256, o.port);
        } else if (a == "--port-device") {
            o.portDevice = v;
        } else if (a == "--fixed-now") {
            ok = o.fixedNow = parseFixedNow(v, o.nowValue);
        } else if (a == "--block-position") {
            ok = parseInt(v, 0, 3, o.blockPosition);
        } else if (a == "--days") {
            ok = parseInt(v, 1, 36500, o.days);
        } else {
            error = "unknown option " + a;
            return false;
        }
        if (!ok) {
            error = "bad value for " + a + ": " + v;
            return false;
        }
    }
    if (o.groupFile.empty() || o.outFile.empty()) {
        error = "--scenario-group and --out are required";
        return false;
    }
    out = o;
    return true;
}

int run(const Options& options, TSerialPortDriver& port, IClock& systemClock, IAdapterSettings* adapter,
        std::FILE* log) {
    FixedNowClock fixedClock(systemClock, options.nowValue);
    IClock& clock = options.fixedNow ? static_cast<IClock&>(fixedClock) : systemClock;

    configurePort(port);
    LoggerTable table;
    ConsoleHost host(options, clock, log);
    table.setMessages(&host);
    host.table = &table;
    host.portValue = options.port;
    const TDateTime now = clock.now();
    host.begin = dt::startOfDay(now - options.days);
    host.finish = now;

    LoadConfiguration(options.groupFile, table, host);
    if (table.LoggerCount == 0)
        return kGroupRefused;
    host.say("group %s: %d loggers, channel %d\n", options.groupFile.c_str(), table.LoggerCount,
             host.channel);

    ModemLink link(port, clock);
    link.setAdapterSettings(adapter);
    link.setHost(&host);
    host.link = &link;
    TaskEngine engine(table, port, link, clock, host);
    host.engine = &engine;

    host.connected = true;
    link.SwitchConnectOn(host);
    if (!host.connected || !port.IsOpen()) {
        host.say("no modem found\n");
        return kNoModem;
    }
    host.say("modem on %s\n", port.PortName().c_str());

    if (!engine.CheckStart(TTaskKind::Download)) {
        link.SwitchConnectOff(host);
        return kTaskRefused;
    }
    host.downloadOn = true;
    engine.StartTask(TTaskKind::Download);
    driveTask(host, engine, port, clock);

    bool complete = true;
    for (const LoggerTable::Logger& l : table.loggers)
        complete = complete && l.LoggerState >= TaskDone;
    host.say("%d records downloaded\n", table.LoadedRecordCount);

    host.connected = false;
    link.SwitchConnectOff(host);

    const std::vector<bool> ticked(static_cast<size_t>(table.LoggerCount), true);
    const orx::WriteResult written = WriteFile(options.outFile, table, ticked, clock.now());
    if (written != orx::WriteResult::Ok) {
        host.say("error: %s\n", orxFailureMessage(written, options.outFile).c_str());
        return kWriteFailed;
    }
    host.say("written %s\n", options.outFile.c_str());
    return complete ? kOk : kIncomplete;
}

} // namespace headless
