#include "tools/headless/HeadlessDownload.h"

#ifdef KV_HAVE_ARCHIVE
#include "archive/ArchiveSink.h"
#endif
#ifdef KV_HAVE_CENTRAL
#include "central/CentralArchive.h"
#endif

#include "engine/EngineEvents.h"
#include "engine/LoggerTable.h"
#include "engine/TaskDriver.h"
#include "engine/TaskEngine.h"
#include "files/ConfigReader.h"
#include "files/Cp1251.h"
#include "files/FileIo.h"
#include "files/OrxWriter.h"
#include "modem/ModemLine.h"
#include "modem/ModemLink.h"
#include "platform/Clock.h"
#include "platform/PortMapping.h"
#include "report/VisitRecorder.h"
#include "serial/TSerialPortDriver.h"
#include "sim/FixedNowClock.h"
#include "tools/headless/HeadlessText.h"
#include "tools/headless/HeadlessVisit.h"
#include "tools/headless/StopSignals.h"

#include <algorithm>
#ifndef _WIN32
#include <poll.h>
#endif
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace headless {

namespace {
bool russian_ = false;
} // namespace

void setRussian(bool russian) {
    russian_ = russian;
}
bool russian() {
    return russian_;
}

bool russianByEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0')
            continue;
        const std::string v(value);
        return !(v == "C" || v.rfind("C.", 0) == 0 || v == "POSIX" || v.rfind("en", 0) == 0);
    }
    return true;
}

namespace {

// "1 record", "5 records"; in Russian a count after a colon needs no plural forms.
std::string recordsText(int n) {
    if (russian_)
        return "записей: " + std::to_string(n);
    return std::to_string(n) + (n == 1 ? " record" : " records");
}

// How long the end of a run waits for a busy archive to take the records held back.
constexpr uint32_t kFinalArchiveWaitMs = 5000;

// The window's part, played by plain fields: every logger ticked, the strategy of the default
// settings; the engine's events become lines of the log and the live bar.
class ConsoleHost final : public IEngineSettings, public IModemHost, public IConfigHost, public IMessages {
public:
    ConsoleHost(const Options& o, IClock& clock, std::FILE* log) : options(o), clock_(clock), log_(log) {}

    // IEngineSettings.
    bool attemptTicked(int a) const override { return a >= 0 && a < 3 && options.attempts[a]; }
    int powerIndex(int a) const override { return a >= 0 && a < 3 ? options.powers[a] : -1; }
    int dataBlockPosition() const override { return options.blockPosition; }
    int modemChannel() const override { return channel; }
    int loggerChannel() const override { return channel; }
    int loggerPeriod() const override { return 3; }
    TDateTime dateBegin() const override { return begin; }
    TDateTime dateFinish() const override { return finish; }
    bool loggerTicked(int) const override { return true; }
    bool onlyNew() const override { return options.onlyNew; }
    int clockSetBeyond() const override { return options.setClockBeyond; }

    bool taskRunning() const { return engine && engine->running(); }

    // The engine's events: the bar follows its progress, the texts are lines only when verbose.
    void onEvent(EngineEvent& e) {
        if (visit && table) {
            // The collector's one task, a download, runs on the group's channel.
            if (e.kind == EngineEvent::TaskStarted)
                visit->taskStarted(e.task, channel);
            visit->follow(e, *table);
        }
        if (const std::string text = panelText(e); !text.empty())
            setStatusPanel1(text);
        switch (e.kind) {
        case EngineEvent::Progress:
            progressMax_ = e.maximum;
            progressPosition_ = e.position;
            drawBar();
            break;
        case EngineEvent::LoggerServed:
            // The engine moves to the next logger: the one it leaves gets its line.
            reportServed();
            served_ = e.row;
            servedAttempt_ = e.attempt + 1;
            break;
        case EngineEvent::RunThrough:
            switchTasksOff();
            break;
        case EngineEvent::LoggerState:
            if (options.verbose && table && table->validIndex(e.row) && e.state >= TaskDone)
                say(tr("logger %d: %s\n", "логгер %d: %s\n"), e.row + 1, stateLook(e.state).hint);
            break;
        case EngineEvent::StatusDecoded:
            if (options.verbose && table)
                say(tr("logger %d: status, %d sensors, %d stored\n",
                       "логгер %d: статус, датчиков %d, в памяти %d\n"),
                    e.row + 1, table->StatusSensorCount, table->StatusMeasureCount);
            break;
        case EngineEvent::ClockChecked:
            say(tr("logger %d: clock %+lld s, to be set\n", "логгер %d: часы %+lld с, будут установлены\n"),
                e.row + 1, e.seconds);
            break;
        case EngineEvent::ClockConfirmed:
            say(tr("logger %d: clock set to %s\n", "логгер %d: часы установлены: %s\n"), e.row + 1,
                e.text.c_str());
            break;
        case EngineEvent::Question:
            e.answer = question(e.text);
            break;
        case EngineEvent::Error:
            error(e.text);
            break;
        default:
            break;
        }
    }
    void setStatusPanel1(const std::string& text) override {
        if (options.verbose && text != panel1_)
            say("%s\n", text.c_str());
        panel1_ = text;
        drawBar();
    }

    // Switches: only the download switch can be on.
    void switchTasksOff() override {
        reportServed();
        if (!downloadOn)
            return;
        downloadOn = false;
        if (engine)
            engine->StopTask();
    }

    // No analyzer here.
    bool analyzerShowing() const override { return false; }
    void analyzerShowRoutine() override {}
    void analyzerCloseRoutine() override {}

    // IModemHost.
    void setStatusPanel0(const std::string& text) override {
        if (options.verbose)
            say("%s\n", text.c_str());
        panel0 = text;
    }
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

    // IConfigHost: the window's channel control keeps the value within the settings' range.
    void setModemChannel(int value) override {
        groupChannel = value;
        channel = options.channels.bound(value);
    }
    void setCaption(const std::string&) override {}
    void groupNotice(const std::string& text) override { say("%s\n", text.c_str()); }

    // IMessages: errors are logged; the only question a download asks is about data that this
    // run cannot have yet.
    void error(const std::string& text) override {
        ++errors;
        say(tr("error: %s\n", "ошибка: %s\n"), text.c_str());
    }
    void info(const std::string& text) override { say("%s\n", text.c_str()); }
    bool question(const std::string& text) override {
        say(tr("question (answered yes): %s\n", "вопрос (ответ «да»): %s\n"), text.c_str());
        return true;
    }
    IMessages& messages() override { return *this; }

    // One line of the log; a live bar is wiped first and drawn again under it. Checked like
    // printf, so a wrong argument is a compile error rather than garbage in the log.
    __attribute__((format(printf, 2, 3))) void say(const char* format, ...) {
        if (!log_)
            return;
        wipeBar();
        if (options.timestamps) {
            // A log read later needs to know when each line was said.
            const DateTimeParts t = dt::decode(clock_.now());
            std::fprintf(log_, "%04d-%02d-%02d %02d:%02d:%02d ", t.year, t.month, t.day, t.hour, t.minute,
                         t.second);
        }
        va_list args;
        va_start(args, format);
        std::vfprintf(log_, format, args);
        va_end(args);
        drawBar();
    }

    // The line of the logger the engine has just left, with the state it left it in.
    void reportServed() {
        if (!table || !table->validIndex(served_))
            return;
        const LoggerTable::Logger& l = table->loggers[static_cast<size_t>(served_)];
        // A logger without measurements has no count to tell.
        const std::string count = l.LoggerState == NoMeasurements
                                      ? std::string()
                                      : ", " + recordsText(static_cast<int>(l.RecordTimes.size()));
        say(tr("%s: %s%s (attempt %d)\n", "%s: %s%s (попытка %d)\n"), cp1251ToUtf8(l.LoggerName).c_str(),
            stateWord(l.LoggerState), count.c_str(), servedAttempt_);
        served_ = -1;
    }

    // After the modem was lost: the loggers the download never reached.
    void sayNotTried() {
        if (!table)
            return;
        std::string names;
        for (const LoggerTable::Logger& l : table->loggers)
            if (l.LoggerState == NotPolled)
                names += (names.empty() ? "" : ", ") + cp1251ToUtf8(l.LoggerName);
        if (!names.empty())
            say(tr("not tried: %s\n", "не опрошены: %s\n"), names.c_str());
    }

    void finishBar() {
        wipeBar();
        barShown_ = false;
    }

    const Options& options;
    TaskEngine* engine = nullptr;
    VisitRecorder* visit = nullptr;
    ModemLink* link = nullptr;
    const LoggerTable* table = nullptr;
    int channel = 0;
    int groupChannel = 0;
    double portValue = 2;
    TDateTime begin = 0;
    TDateTime finish = 0;
    bool downloadOn = false;
    bool connected = false;
    int errors = 0;
    std::function<void()> retryArchive; // the loop's turn for records held back by the archive

    std::string panel0;

private:
    const char* stateWord(int code) const {
        static const char* const words[] = {"not asked",     "not found", "status only",
                                            "partly loaded", "done",      "no measurements"};
        static const char* const slova[] = {"не опрошен",        "не найден", "только статус",
                                            "загружен частично", "выполнено", "нет измерений"};
        // Asked only for what is new, a logger without measurements has nothing new.
        if (code == NoMeasurements && options.onlyNew)
            return tr("nothing new", "ничего нового");
        const int k = code >= 0 && code <= NoMeasurements ? code : 0;
        return russian_ ? slova[k] : words[k];
    }

    // "[#####-----] 2/3 D4071534902 downloading 12/40", kept to one terminal line.
    void drawBar() {
        if (!options.progressBar || !log_ || !taskRunning() || !table ||
            !table->validIndex(table->CurrentLogger))
            return;
        const int cur = table->CurrentLogger;
        const LoggerTable::Logger& l = table->loggers[static_cast<size_t>(cur)];
        constexpr int kWidth = 20;
        const int filled =
            progressMax_ > 0 ? std::clamp(progressPosition_ * kWidth / progressMax_, 0, kWidth) : 0;
        const bool loading = l.LoggerState == StatusLoaded || l.LoggerState == PartlyLoaded;
        std::string text =
            "[" + std::string(static_cast<size_t>(filled), '#') +
            std::string(static_cast<size_t>(kWidth - filled), '-') + "] " + std::to_string(cur + 1) + "/" +
            std::to_string(table->LoggerCount) + " " + cp1251ToUtf8(l.LoggerName) +
            (loading ? tr(" downloading ", " загрузка ") + std::to_string(progressPosition_) + "/" +
                           std::to_string(progressMax_)
                     : std::string(tr(" searching", " поиск"))) +
            (engine && engine->failureCount() > 0
                 ? std::string(tr(", failures ", ", сбоев ")) + std::to_string(engine->failureCount())
                 : std::string());
        if (text.size() > 79)
            text.resize(79);
        // Spaces over the rest of a longer previous bar: no terminal escapes, so any console will do.
        const size_t pad = barLength_ > text.size() ? barLength_ - text.size() : 0;
        std::fprintf(log_, "\r%s%s", text.c_str(), std::string(pad, ' ').c_str());
        std::fflush(log_);
        barLength_ = text.size();
        barShown_ = true;
    }
    void wipeBar() {
        if (!barShown_)
            return;
        std::fprintf(log_, "\r%s\r", std::string(barLength_, ' ').c_str());
        barShown_ = false;
        barLength_ = 0;
    }

    IClock& clock_;
    std::FILE* log_;
    std::string panel1_;
    int progressMax_ = 0;
    int progressPosition_ = 0;
    int served_ = -1;
    int servedAttempt_ = 0;
    bool barShown_ = false;
    size_t barLength_ = 0;
};

// Waits up to ms for bytes on the port; true when some came before the time was up. Without a
// descriptor to wait on (Windows), it looks every 2 ms.
bool waitForBytes(TSerialPortDriver& port, IClock& clock, uint32_t ms) {
#ifndef _WIN32
    const int fd = port.ReadyDescriptor();
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(ms)) > 0;
    }
#endif
    const uint32_t start = clock.tickCount();
    while (clock.tickCount() - start < ms) {
        const uint32_t waiting = port.InputCount();
        if (waiting > 0 && waiting != 65535)
            return true;
        clock.sleepMs(std::min<uint32_t>(2, ms - (clock.tickCount() - start)));
    }
    return false;
}

// Drives the task until it ends; true when a stop request ended it. A pulled adapter ends it
// through the driver's lost handler.
bool driveTask(ConsoleHost& host, TaskDriver& driver, TSerialPortDriver& port, IClock& clock) {
    const TaskDriver::ByteWait bytes = [&](uint32_t ms) { return waitForBytes(port, clock, ms); };
    while (host.taskRunning()) {
        if (host.retryArchive)
            host.retryArchive();
        if (stopRequested()) {
            host.say("%s", tr("stopped by a signal\n", "остановлено сигналом\n"));
            host.switchTasksOff();
            return true;
        }
        driver.runOnce(bytes);
    }
    return false;
}

} // namespace

int run(const Options& options, TSerialPortDriver& port, IClock& systemClock, IAdapterSettings* adapter,
        std::FILE* log) {
    FixedNowClock fixedClock(systemClock, options.nowValue);
    IClock& clock = options.fixedNow ? static_cast<IClock&>(fixedClock) : systemClock;

    setModemLine(port);
    LoggerTable table;
    ConsoleHost host(options, clock, log);
    table.setMessages(&host);
    host.table = &table;
    host.portValue = options.port;
    const TDateTime now = clock.now();
    host.begin = dt::startOfDay(now - options.days);
    host.finish = now;

    // A save killed in an earlier run leaves its temporary file in the output folder.
    fileio::removeStaleTemporaries(fileio::folderOf(options.outFile));
    // With no channel control to fall back on, a group must name its channel.
    LoadConfiguration(options.groupFile, table, host, ChannelLine::Required);
    if (table.LoggerCount == 0)
        return kGroupRefused;
    host.say(tr("group %s: %d loggers, channel %d\n", "группа %s: логгеров %d, канал %d\n"),
             options.groupFile.c_str(), table.LoggerCount, host.channel);
    if (host.channel != host.groupChannel)
        host.say(tr("the group's channel %d lies outside MinChannel..MaxChannel %d..%d of the settings\n",
                    "канал группы %d вне MinChannel..MaxChannel %d..%d настроек\n"),
                 host.groupChannel, options.channels.minimum, options.channels.maximum);
    if (stopRequested()) {
        host.say("%s", tr("stopped by a signal before the download: nothing written\n",
                          "остановлено сигналом до загрузки: ничего не записано\n"));
        return kIncomplete;
    }

    ModemLink link(port, clock);
    link.setAdapterSettings(adapter);
    link.setHost(&host);
    host.link = &link;
    TaskEngine engine(table, port, link, clock, host, [&host](EngineEvent& e) { host.onEvent(e); });
    host.engine = &engine;
    TaskDriver driver(engine, port, clock);
    driver.setLostHandler([&host] {
        // A pulled adapter: nothing more will come; what came is written.
        host.say("%s", tr("the modem was lost\n", "связь с модемом потеряна\n"));
        host.switchTasksOff();
        host.sayNotTried();
    });
    VisitRecorder visit(clock);
    host.visit = &visit;
    attachLinkLog(visit, port);
    visit.startGroup(table, options.groupFile, host.channel);
#ifdef KV_HAVE_ARCHIVE
    // A busy, failing or missing archive is told and holds nothing up: the records wait for it.
    ArchiveSink archive(clock, [&host](const std::string& text) {
        host.say(tr("archive: %s\n", "архив: %s\n"), text.c_str());
    });
    if (!options.archivePath.empty()) {
        archive.open(options.archivePath);
        engine.setRecordSink(&archive);
        visit.keep = [&archive](const StatusRead& r) { archive.keepStatus(r); };
        visit.earlier = [&archive](const std::string& name) { return archive.statusHistory(name); };
        host.retryArchive = [&archive] { archive.retry(); };
    }
#endif

    host.connected = true;
    link.SwitchConnectOn(host);
    if (!host.connected || !port.IsOpen()) {
        host.say("%s", tr("error: no modem found\n", "ошибка: модем не найден\n"));
        return kNoModem;
    }
    // The port as the system names it ("/dev/ttyUSB0"), not the driver's "\\.\Com33".
    host.say(tr("modem %s on port %s\n", "модем %s: порт %s\n"), host.panel0.c_str(),
             link.portLabel(portmap::portNumber(port.PortName())).c_str());
    if (stopRequested()) {
        link.SwitchConnectOff(host);
        host.say("%s", tr("stopped by a signal before the download: nothing written\n",
                          "остановлено сигналом до загрузки: ничего не записано\n"));
        return kIncomplete;
    }

    if (!engine.CheckStart(TTaskKind::Download)) {
        link.SwitchConnectOff(host);
        return kTaskRefused;
    }
    host.downloadOn = true;
    visit.setModem(host.panel0);
    engine.StartTask(TTaskKind::Download);
    const bool stopped = driveTask(host, driver, port, clock);
    host.finishBar();

    bool complete = true;
    for (const LoggerTable::Logger& l : table.loggers)
        complete = complete && l.LoggerState >= TaskDone;
    if (options.onlyNew && table.LoadedRecordCount == 0)
        host.say("%s", tr("nothing new downloaded\n", "нового ничего не загружено\n"));
    else
        host.say(tr("%s downloaded\n", "загружено %s\n"), recordsText(table.LoadedRecordCount).c_str());

    host.connected = false;
    link.SwitchConnectOff(host);

    int unarchived = 0;
#ifdef KV_HAVE_ARCHIVE
    archive.flush(kFinalArchiveWaitMs);
    unarchived = archive.unarchivedRecords();
    if (unarchived > 0 && russian())
        host.say("ошибка: архив %s не принял записи (%s)\n", options.archivePath.c_str(),
                 recordsText(unarchived).c_str());
    else if (unarchived > 0)
        host.say("error: %s could not be kept in the archive %s\n", recordsText(unarchived).c_str(),
                 options.archivePath.c_str());
#endif

    const std::vector<bool> ticked(static_cast<size_t>(table.LoggerCount), true);
    // Cut short by a signal, the file names the loggers it holds only in part, as the window's does.
    std::vector<bool> partial;
    for (const LoggerTable::Logger& l : table.loggers)
        partial.push_back(stopped && l.LoggerState < TaskDone);
    const orx::WriteResult written = WriteFile(options.outFile, table, ticked, clock.now(), partial);
    if (written != orx::WriteResult::Ok)
        host.say(tr("error: %s\n", "ошибка: %s\n"), orxFailureMessage(written, options.outFile).c_str());
    else
        host.say(tr("written %s\n", "записан файл %s\n"), options.outFile.c_str());
    if (written == orx::WriteResult::Ok)
        visit.saved(options.outFile, table, ticked);
    const bool reported = writeVisitReport(
        options, visit, [&host](const std::string& line) { host.say("%s\n", line.c_str()); });
    // What the archive holds goes to the central database whatever became of the file; a run cut
    // short by a signal ends now rather than start on the network.
    bool pushed = true;
#ifdef KV_HAVE_CENTRAL
    if (!options.central.empty() && !stopped)
        pushed = pushToCentral(options, log) == kOk;
#endif
    if (written != orx::WriteResult::Ok || !reported)
        return kWriteFailed;
    if (unarchived > 0)
        return kArchiveIncomplete;
    if (!pushed)
        return kCentralIncomplete;
    return complete && !stopped ? kOk : kIncomplete;
}

} // namespace headless
