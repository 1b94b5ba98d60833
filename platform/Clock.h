#pragma once
#include "platform/DateTime.h"

#include <cstdint>

// Every wait and every "now" in the core goes through this seam, so that tests and the
// in-process simulator can run the 10/15 ms waits and the 26 s limit on a fake clock.
class IClock {
public:
    virtual ~IClock() = default;
    // Local date and time.
    virtual TDateTime now() const = 0;
    // Milliseconds from an arbitrary start; wraps like a 32-bit tick count.
    virtual uint32_t tickCount() const = 0;
    virtual void sleepMs(uint32_t ms) = 0;
    // Called by busy loops that wait for bytes; a fake clock advances a millisecond here.
    virtual void idle() = 0;
};

class SystemClock final : public IClock {
public:
    TDateTime now() const override;
    uint32_t tickCount() const override;
    void sleepMs(uint32_t ms) override;
    void idle() override;
    static SystemClock& instance();
};
