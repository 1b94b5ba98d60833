#pragma once
#include "platform/DateTime.h"

#include <functional>
#include <string>

// The six tasks, one per task switch.
enum class TTaskKind { Download, SetTime, Erase, SetPeriod, Measure, SetChannel };

// The values the engine reads at the moment it needs them: the attempt strategy when an attempt
// starts, the block size and the dates when a status comes, the period and the channels when
// their request goes out. The window reads its controls; the collector and the tests hold fields.
class IEngineSettings {
public:
    virtual ~IEngineSettings() = default;
    virtual bool attemptTicked(int attempt) const = 0; // attempt 0..2
    virtual int powerIndex(int attempt) const = 0;     // 0 "+10", 1 "0", 2 "-10"; -1 when none
    virtual int dataBlockPosition() const = 0;         // 0 4 kB … 3 512 bytes
    virtual int modemChannel() const = 0;              // 0..255
    virtual int loggerChannel() const = 0;             // 0..255
    virtual int loggerPeriod() const = 0;              // hours
    virtual TDateTime dateBegin() const = 0;
    virtual TDateTime dateFinish() const = 0;
    // The user set the finish; otherwise a download runs to the moment its task started.
    virtual bool finishGiven() const { return true; }
    virtual bool loggerTicked(int row) const = 0;
    // "только новые": a download starts after each logger's newest kept record.
    virtual bool onlyNew() const { return false; }
    // After a task the modem goes on listening for the noise reading instead of dropping DTR.
    virtual bool listenAfterTask() const { return false; }
    // The clock task: a clock off by no more than this many seconds is left alone (0: every
    // clock is set, unseen); check only: every clock is read and none is set.
    virtual int clockAllowance() const { return 0; }
    virtual bool clockCheckOnly() const { return false; }
    // A download sets, after a logger's records, a clock off by more than this; -1: never.
    virtual int clockSetBeyond() const { return -1; }
};

// What the engine tells, in its own terms: one callback, an event kind and its data (only the
// fields the kind names are set). Questions and errors come this way too; a question's answer
// goes back in `answer`.
struct EngineEvent {
    enum Kind {
        TaskStarted,      // task
        TaskFinished,     // task, completed: every attempt was made (otherwise it was stopped)
        RunThrough,       // task: every attempt made; the front end ends the task as its switch does
        AttemptStarted,   // attempt 0..2
        LoggerServed,     // row, attempt: a turn of this logger begins
        LoggerState,      // row, state (a TLoggerState code)
        LinkLevel,        // row (-1: none current), level dBm, barWidth px, time
        StatusDecoded,    // row; text: the raw clock bytes when clockValid is false
        ClockConfirmed,   // row, text: the clock the logger took
        ClockChecked,     // row, clockValid, seconds: its clock less the computer's; completed: left alone
        Progress,         // position, maximum, phase
        Counts,           // failures, bytes, dropped, unarchived
        Notice,           // notice
        ListeningResumed, // after a task: the noise reading takes the port back
        Question,         // task, text; the handler sets answer. With a row: whether to erase
                          // that logger, records of its memory the archive lacks
        Error,            // text
    };
    enum class Phase { None, Search, Load };
    enum class Sound { Completed, Missed, Finished };

    Kind kind = TaskStarted;
    TTaskKind task = TTaskKind::Download;
    bool completed = false;
    int attempt = 0;
    int row = -1;
    int state = 0;
    double level = 0;
    int barWidth = 0;
    TDateTime time = 0;
    bool clockValid = true;
    int position = 0, maximum = 0;
    Phase phase = Phase::None;
    int failures = 0, bytes = 0, dropped = 0, unarchived = 0;
    long long seconds = 0;
    int records = 0;
    Sound notice = Sound::Completed;
    std::string text;
    bool answer = false;
};

using EngineEventHandler = std::function<void(EngineEvent&)>;

// The designed status-panel text of an event, empty for one that has none.
std::string panelText(const EngineEvent& e);
