#include "report/VisitRecorder.h"

#include "engine/EngineEvents.h"
#include "engine/LoggerTable.h"
#include "engine/TaskEngine.h"
#include "files/Cp1251.h"
#include "orxparse/OrxLoader.h"
#include "platform/Clock.h"
#include "report/HealthRules.h"
#include "serial/LinkLog.h"

#include <algorithm>
#include <cmath>

namespace {

const char* kindWord(int kind) {
    static const char* const words[] = {"данные", "время", "стереть", "период", "замер", "канал"};
    return kind >= 0 && kind < 6 ? words[kind] : "?";
}

std::string number(double v, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", digits, v);
    return text;
}

} // namespace

void VisitRecorder::note(const std::string& text) {
    if (log_)
        log_->event(text);
}

void VisitRecorder::startGroup(const LoggerTable& table, const std::string& groupFile, int channel) {
    const std::string modem = report_.modem;
    report_ = VisitReport{};
    report_.modem = modem;
    report_.group = groupFile;
    report_.date = clock_.now();
    extras_.assign(static_cast<size_t>(table.LoggerCount), Extra{});
    names_.clear();
    for (const LoggerTable::Logger& l : table.loggers) {
        VisitLogger v;
        v.name = cp1251ToUtf8(l.LoggerName);
        v.comment = cp1251ToUtf8(l.LoggerComment);
        v.channel = channel;
        report_.loggers.push_back(v);
        names_.push_back(l.LoggerName);
    }
    note("группа " + groupFile + ": логгеров " + std::to_string(table.LoggerCount) + ", канал " +
         std::to_string(channel));
}

void VisitRecorder::setModem(const std::string& text) {
    report_.modem = text;
    note("модем: " + text);
}

void VisitRecorder::taskStarted(TTaskKind kind, int value) {
    kind_ = static_cast<int>(kind);
    taskValue_ = value;
    note(std::string("задача «") + kindWord(kind_) + "» начата");
}

void VisitRecorder::taskEnded() {
    flush();
    note(std::string("задача «") + kindWord(kind_) + "» окончена");
}

void VisitRecorder::follow(const EngineEvent& e, const LoggerTable& table) {
    switch (e.kind) {
    case EngineEvent::TaskFinished:
        taskEnded();
        break;
    case EngineEvent::LoggerState:
        state(e.row, e.state, table);
        break;
    case EngineEvent::LinkLevel:
        link(e.row, e.level);
        break;
    case EngineEvent::StatusDecoded:
        status(e.row, table, e.clockValid);
        break;
    case EngineEvent::ClockConfirmed:
        clockSet(e.row);
        break;
    default:
        break;
    }
}

VisitRecorder::Extra& VisitRecorder::extra(int row, const std::string& name) {
    Extra& e = extras_[static_cast<size_t>(row)];
    if (!e.historyLoaded) {
        e.historyLoaded = true;
        if (earlier) {
            std::vector<StatusRead> past = earlier(name);
            e.history.insert(e.history.begin(), past.begin(), past.end());
        }
    }
    return e;
}

void VisitRecorder::status(int row, const LoggerTable& t, bool clockValid) {
    if (!valid(row))
        return;
    const TDateTime now = clock_.now();
    StatusRead r;
    r.LoggerName = names_[static_cast<size_t>(row)];
    r.visit = report_.date;
    r.time = now;
    r.battery = t.StatusBattery;
    r.error = t.StatusError;
    r.measureCount = t.StatusMeasureCount;
    VisitLogger& v = report_.loggers[static_cast<size_t>(row)];
    if (noiseFloor)
        r.noise = noiseFloor();
    if (clockValid && std::isfinite(t.StatusClock))
        r.deviation = dt::toSeconds(t.StatusClock) - dt::toSeconds(now);
    v.statusRead = true;
    v.error = r.error;
    v.battery = r.battery;
    v.noise = r.noise;
    v.level.reset(); // this reply's level follows
    // What the visit found is the clock before it was set; a status after the setting reads it right.
    if (!v.clockSet)
        v.deviation = r.deviation;
    v.period = t.StatusPeriod;
    v.measureCount = t.StatusMeasureCount;
    flush();
    extra(row, r.LoggerName).history.push_back(r);
    // Kept once the reply's level is known: the engine shows the link just after the status.
    pendingRow_ = row;
    note(v.name + ": статус: " + visitreport::errorText(r.error) + ", " + number(r.battery, 2) + " В, часы " +
         (r.deviation ? (*r.deviation > 0 ? "+" : "") + std::to_string(*r.deviation) + " с" : "неверны") +
         ", замеров " + std::to_string(r.measureCount) + ", период " + std::to_string(v.period) + " ч");
}

void VisitRecorder::link(int row, double levelDbm) {
    if (!valid(row))
        return;
    report_.loggers[static_cast<size_t>(row)].level = levelDbm;
    if (row != pendingRow_)
        return;
    extras_[static_cast<size_t>(row)].history.back().level = levelDbm;
    flush();
}

void VisitRecorder::flush() {
    if (!valid(pendingRow_))
        return;
    const int row = pendingRow_;
    pendingRow_ = -1;
    if (keep)
        keep(extras_[static_cast<size_t>(row)].history.back());
    assess(row);
}

void VisitRecorder::state(int row, int code, const LoggerTable& t) {
    if (!valid(row) || !t.validIndex(row))
        return;
    // From StatusLoaded up the engine shows the reply's link right after the state.
    if (row != pendingRow_ || code < StatusLoaded)
        flush();
    VisitLogger& v = report_.loggers[static_cast<size_t>(row)];
    const LoggerTable::Logger& l = t.loggers[static_cast<size_t>(row)];
    note(v.name + ": " + stateLook(code).hint + (v.level ? ", " + number(*v.level, 1) + " dBm" : ""));
    if (kind_ == static_cast<int>(TTaskKind::Download) && code >= StatusLoaded) {
        v.downloaded = static_cast<int>(l.RecordTimes.size());
        v.givenUp = l.GivenUpRecords;
    }
    if (code != TaskDone)
        return;
    switch (static_cast<TTaskKind>(kind_)) {
    case TTaskKind::Erase:
        v.erased = true;
        break;
    case TTaskKind::SetPeriod:
        v.period = taskValue_;
        break;
    case TTaskKind::SetChannel:
        v.channel = taskValue_;
        break;
    default:
        break;
    }
}

void VisitRecorder::clockSet(int row) {
    if (!valid(row))
        return;
    flush();
    report_.loggers[static_cast<size_t>(row)].clockSet = true;
    StatusRead r;
    r.LoggerName = names_[static_cast<size_t>(row)];
    r.visit = report_.date;
    r.time = clock_.now();
    r.clockSet = true;
    r.deviation = 0;
    extra(row, r.LoggerName).history.push_back(r);
    if (keep)
        keep(r);
}

void VisitRecorder::saved(const std::string& path, const LoggerTable& t, const std::vector<bool>& ticked) {
    orx::OrxFile file;
    const bool read = orx::loadOrxFile(path, dt::decode(clock_.now()).year, file) == orx::LoadStatus::Ok;
    for (size_t i = 0; i < report_.loggers.size() && i < t.loggers.size(); ++i) {
        if (i >= ticked.size() || !ticked[i] || t.loggers[i].SensorReadings.empty())
            continue;
        VisitLogger& v = report_.loggers[i];
        v.file = path;
        v.signatureOk = false;
        for (const orx::Logger& l : file.loggers)
            if (read && l.LoggerName == t.loggers[i].LoggerName)
                v.signatureOk = l.badSignatures == 0 && l.recordCount() == t.loggers[i].RecordTimes.size();
    }
    note("сохранён файл " + path);
}

void VisitRecorder::assess(int row) {
    const Extra& e = extras_[static_cast<size_t>(row)];
    VisitLogger& v = report_.loggers[static_cast<size_t>(row)];
    // The latest status, not a setting of the clock, is what the warnings speak of.
    for (size_t i = e.history.size(); i-- > 0;)
        if (!e.history[i].clockSet) {
            v.warnings = health::warnings(e.history[i], health::driftAt(e.history, i));
            return;
        }
}

VisitReport VisitRecorder::report() const {
    return report_;
}

const std::vector<std::string>& VisitRecorder::warnings(int row) const {
    static const std::vector<std::string> none;
    return valid(row) ? report_.loggers[static_cast<size_t>(row)].warnings : none;
}
