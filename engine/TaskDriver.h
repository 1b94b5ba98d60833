#pragma once
#include <cstdint>
#include <functional>

class IClock;
class TaskEngine;
class TSerialPortDriver;

// Time for the task engine: the reception tick, the time limit of a logger and the reads between
// ticks as bytes arrive, and after each of them the check for a pulled adapter. The window binds
// its timers to it; the collector, the benchmark and the tests let it wait on the clock itself.
class TaskDriver {
public:
    // The reception tick: a line quiet for a whole tick ends a reply.
    static constexpr uint32_t kTickMs = 50;
    // How long one logger may take over one request before the next logger is asked.
    static constexpr uint32_t kLimitMs = 26000;

    // What changed of the two timers, for a front end whose own timers follow them.
    enum class Change { ReceptionOn, ReceptionOff, LimitRestarted, LimitStopped };

    TaskDriver(TaskEngine& engine, TSerialPortDriver& port, IClock& clock);
    TaskDriver(const TaskDriver&) = delete;
    TaskDriver& operator=(const TaskDriver&) = delete;

    void setChangeListener(std::function<void(Change)> listener) { listener_ = std::move(listener); }
    // Runs after the call that found the device lost; the task is the handler's to end.
    void setLostHandler(std::function<void()> handler) { lost_ = std::move(handler); }

    // The engine's side: a reply is awaited (on restarts the tick's period), a request went out.
    void setReception(bool on);
    void restartLimit();
    void stopLimit();
    bool receiving() const { return receiving_; }
    bool limitArmed() const { return limitOn_; }

    // The entry points of time. Each runs the engine and then checks the device once; false when
    // it was found lost.
    bool TimerReadStreamTimer();
    bool TimerSkipDevTimer();
    bool ReadArrived();

    // For a loop without timers of its own: waits on the clock for whatever is due first and runs
    // it. waitForBytes(ms), when given, waits at most ms for bytes and says whether some came:
    // they are then read at once.
    using ByteWait = std::function<bool(uint32_t ms)>;
    void runOnce(const ByteWait& waitForBytes = {});
    // Runs while the task does, at most maxMs on the clock.
    void runTask(uint64_t maxMs, const ByteWait& waitForBytes = {});

private:
    bool checked();
    void changed(Change c) {
        if (listener_)
            listener_(c);
    }

    TaskEngine& engine_;
    TSerialPortDriver& port_;
    IClock& clock_;
    std::function<void(Change)> listener_;
    std::function<void()> lost_;
    bool receiving_ = false;
    bool limitOn_ = false;
    uint32_t receivingSince_ = 0;
    uint32_t limitSince_ = 0;
};
