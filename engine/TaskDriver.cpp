#include "engine/TaskDriver.h"

#include "engine/TaskEngine.h"
#include "platform/Clock.h"
#include "serial/TSerialPortDriver.h"

#include <algorithm>

TaskDriver::TaskDriver(TaskEngine& engine, TSerialPortDriver& port, IClock& clock)
    : engine_(engine), port_(port), clock_(clock) {
    engine_.setDriver(this);
}

void TaskDriver::setReception(bool on) {
    // As a timer started again: the next tick is a whole period away.
    receiving_ = on;
    if (on)
        receivingSince_ = clock_.tickCount();
    changed(on ? Change::ReceptionOn : Change::ReceptionOff);
}

void TaskDriver::restartLimit() {
    limitOn_ = true;
    limitSince_ = clock_.tickCount();
    changed(Change::LimitRestarted);
}

void TaskDriver::stopLimit() {
    limitOn_ = false;
    changed(Change::LimitStopped);
}

// A pulled adapter makes every read find nothing and every write fail: without this check a
// running task would ask every remaining logger for the whole limit.
bool TaskDriver::checked() {
    if (!port_.DeviceLost())
        return true;
    if (lost_)
        lost_();
    return false;
}

bool TaskDriver::TimerReadStreamTimer() {
    receivingSince_ = clock_.tickCount();
    engine_.TimerReadStreamTimer();
    return checked();
}

bool TaskDriver::TimerSkipDevTimer() {
    // The limit repeats from this moment unless the engine restarts it.
    limitSince_ = clock_.tickCount();
    engine_.TimerSkipDevTimer();
    return checked();
}

bool TaskDriver::ReadArrived() {
    engine_.ReadArrived();
    return checked();
}

void TaskDriver::runOnce(const ByteWait& waitForBytes) {
    if (!checked())
        return;
    const uint32_t now = clock_.tickCount();
    uint32_t wait = kTickMs;
    if (receiving_) {
        const uint32_t since = now - receivingSince_;
        wait = since >= kTickMs ? 0 : kTickMs - since;
    }
    if (limitOn_) {
        const uint32_t since = now - limitSince_;
        wait = std::min(wait, since >= kLimitMs ? 0 : kLimitMs - since);
    }
    // While a reply is awaited, bytes are taken as they arrive: a whole reply goes on at once.
    if (wait > 0 && receiving_ && waitForBytes && waitForBytes(wait)) {
        ReadArrived();
        return;
    }
    if (wait > 0)
        clock_.sleepMs(wait);
    const uint32_t t = clock_.tickCount();
    if (limitOn_ && t - limitSince_ >= kLimitMs) {
        TimerSkipDevTimer();
        return;
    }
    if (receiving_ && t - receivingSince_ >= kTickMs)
        TimerReadStreamTimer();
}

void TaskDriver::runTask(uint64_t maxMs, const ByteWait& waitForBytes) {
    uint64_t spent = 0;
    uint32_t last = clock_.tickCount();
    while (engine_.running() && spent < maxMs) {
        runOnce(waitForBytes);
        const uint32_t t = clock_.tickCount();
        spent += t - last;
        last = t;
    }
}
