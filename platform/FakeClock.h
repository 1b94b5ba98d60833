#pragma once
#include "platform/Clock.h"

#include <cstdint>

// A clock that moves only when told to, or when the code under test waits on it.
class FakeClock final : public IClock {
public:
    explicit FakeClock(TDateTime start = dt::encode(2026, 12, 7, 12, 0, 0)) : start_(start) {}
    TDateTime now() const override { return start_ + static_cast<double>(elapsedMs_) / 86400000.0; }
    uint32_t tickCount() const override { return static_cast<uint32_t>(elapsedMs_); }
    void sleepMs(uint32_t ms) override { elapsedMs_ += ms; }
    void idle() override { elapsedMs_ += 1; }
    void advanceMs(uint64_t ms) { elapsedMs_ += ms; }
    // Moves the wall clock without turning the tick count back.
    void setNow(TDateTime t) { start_ = t - static_cast<double>(elapsedMs_) / 86400000.0; }
    uint64_t elapsedMs() const { return elapsedMs_; }

private:
    TDateTime start_;
    uint64_t elapsedMs_ = 0;
};
