#pragma once
#include "engine/UiSeams.h"
#include "platform/DateTime.h"

#include <string>

class LoggerTable;
enum class TTaskKind;

// The narrow view of the main window that the task engine needs: the controls it reads at the
// moment it needs them, the progress display, the switches, the timers and the rows. The main
// window implements it; tests implement it with plain fields.
class IEngineHost {
public:
    virtual ~IEngineHost() = default;

    // Controls, read when needed.
    virtual bool attemptTicked(int attempt) const = 0; // attempt 0..2
    virtual int powerIndex(int attempt) const = 0;     // item index of RadioGrPowerN, -1 when none
    virtual int dataBlockPosition() const = 0;         // TrackBarDataBlockSize 0..3
    virtual int modemChannel() const = 0;              // SpinModChannel, rounded
    virtual int loggerChannel() const = 0;             // SpinLogChannel, rounded
    virtual int loggerPeriod() const = 0;              // SpinLogPeriod, rounded
    virtual TDateTime dateBegin() const = 0;
    virtual TDateTime dateFinish() const = 0;
    // The user set the finish; otherwise a download runs to the moment its task started.
    virtual bool finishGiven() const { return true; }
    virtual bool loggerTicked(int row) const = 0;
    // "только новые": a download starts after each logger's newest kept record.
    virtual bool onlyNew() const { return false; }

    // Progress display. A task runs exactly while the progress bar is shown.
    virtual bool taskRunning() const = 0;
    virtual void setProgressShown(bool shown) = 0;
    virtual void setProgressMax(int max) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual void advanceProgress() = 0;
    virtual void setExecutionLabel(const std::string& text) = 0;
    virtual void setStatusPanel1(const std::string& text) = 0;
    virtual void showPointers() = 0;               // ImageArrowDevPtr and ImageArrowAttemptPtr
    virtual void moveAttemptPointer(int left) = 0; // 72, 95, 118
    virtual void moveDevicePointer(int top) = 0;   // row * 14 + 4
    virtual void setModemChannelEnabled(bool enabled) = 0;

    // Switches: the six task switches off in their order (the one that was on runs its off-handler).
    virtual void switchTasksOff() = 0;
    virtual bool connectSwitchOn() const = 0;

    // Timers.
    virtual void setReadStreamTimer(bool on) = 0;
    virtual int readStreamInterval() const = 0; // 50 ms
    virtual void restartSkipDevTimer() = 0;     // off, then on
    virtual void stopSkipDevTimer() = 0;
    virtual void startFinishedSoundTimer() = 0;

    // Rows of the logger list.
    virtual void rowShowState(int row, int code) = 0;                     // light, hint, antenna rules
    virtual void rowShowLink(int row, double levelDbm, int barWidth) = 0; // hints and signal bar
    virtual void rowShowStatus(int row, const LoggerTable& table) = 0;    // after a valid status
    virtual void rowShowClockText(int row, const std::string& text) = 0;  // confirmed clock, normal colour
    // After rowShowStatus, when the status clock bytes form no date or time (StatusClock is NaN
    // then): the clock label shows these raw bytes ("00.13.26 24:00:00") in red, with no
    // comparison against the computer's clock.
    virtual void rowShowRawClock(int row, const std::string& text) = 0;

    // Sound notices.
    virtual int soundMode() const = 0;
    virtual void playCompleted() = 0;
    virtual void playMissed() = 0;

    // Noise analyzer window.
    virtual bool analyzerShowing() const = 0;
    virtual void analyzerStopReading() = 0;                      // TimerReadRSSI off
    virtual void analyzerStart() = 0;                            // its show routine
    virtual void analyzerAddRssi(TDateTime t, double level) = 0; // LineRSSI

    virtual IMessages& messages() = 0;
    // The question a start asks; the window adds what the task acts on to the designed text.
    virtual std::string startQuestion(TTaskKind, const std::string& designed) const { return designed; }
};
