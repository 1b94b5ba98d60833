#pragma once
#include "archive/StatusRead.h"
#include "report/VisitReport.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class IClock;
class LinkLog;
class LoggerTable;
struct EngineEvent;
enum class TTaskKind;

// Follows a visit as the engine tells its rows about it (status, link level, state) and keeps,
// per logger, what the report says and what the health history stores. The window and the
// collector call it beside their own row handling; it never changes what the engine does.
class VisitRecorder {
public:
    explicit VisitRecorder(IClock& clock) : clock_(clock) {}

    // Where each status and clock setting goes to be kept (the record archive), and where a
    // logger's earlier readings come from (the same archive), for its drift.
    std::function<void(const StatusRead&)> keep;
    std::function<std::vector<StatusRead>(const std::string& loggerName)> earlier;
    // The analyzer's noise floor now, where it measured one.
    std::function<std::optional<double>()> noiseFloor;
    // The engine's words between the bytes of a link log.
    void setLinkLog(LinkLog* log) { log_ = log; }

    // A group was opened: a new visit begins. channel: the group's.
    void startGroup(const LoggerTable& table, const std::string& groupFile, int channel);
    void setModem(const std::string& text);
    // value: the channel of a channel task, the period of a period task.
    void taskStarted(TTaskKind kind, int value);
    void taskEnded();
    // The engine's event as it comes: the end of a task and the rows' status, level and state.
    // Its start is the caller's to tell, with the value only the caller knows.
    void follow(const EngineEvent& e, const LoggerTable& table);
    void status(int row, const LoggerTable& table, bool clockValid);
    void link(int row, double levelDbm);
    void state(int row, int code, const LoggerTable& table);
    // The logger took the computer's time: its drift counts from here.
    void clockSet(int row);
    // A measurement file was written: it is read back, and each logger in it is told whether
    // its signatures hold.
    void saved(const std::string& path, const LoggerTable& table, const std::vector<bool>& ticked);

    VisitReport report() const;
    // The warnings of a logger's latest reading (row hint and report).
    const std::vector<std::string>& warnings(int row) const;
    bool hasRows() const { return !report_.loggers.empty(); }

private:
    struct Extra {
        std::vector<StatusRead> history; // earlier readings, then this visit's
        bool historyLoaded = false;
    };
    bool valid(int row) const { return row >= 0 && static_cast<size_t>(row) < report_.loggers.size(); }
    void note(const std::string& text);
    Extra& extra(int row, const std::string& name);
    void assess(int row);
    void flush();

    IClock& clock_;
    LinkLog* log_ = nullptr;
    VisitReport report_;
    std::vector<Extra> extras_;
    std::vector<std::string> names_; // Windows-1251, as the table holds them
    int pendingRow_ = -1;            // its status waits for its level before it is kept
    int kind_ = -1;
    int taskValue_ = 0;
};
