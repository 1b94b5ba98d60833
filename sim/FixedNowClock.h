#pragma once
#include "platform/Clock.h"
#include "platform/DateTime.h"

#include <cstdio>
#include <string>

// A clock whose date-time stands still while its ticks and sleeps are real. The simulator and the
// console downloader both take "now" from it, so that the records a scenario makes, the plan and
// the file's header line do not depend on when or where the run happens.
class FixedNowClock final : public IClock {
public:
    FixedNowClock(IClock& ticks, TDateTime fixedNow) : ticks_(ticks), now_(fixedNow) {}
    TDateTime now() const override { return now_; }
    uint32_t tickCount() const override { return ticks_.tickCount(); }
    void sleepMs(uint32_t ms) override { ticks_.sleepMs(ms); }
    void idle() override { ticks_.idle(); }

private:
    IClock& ticks_;
    TDateTime now_;
};

// "YYYY-MM-DD hh:mm:ss" (seconds optional); false for anything else or an impossible date-time.
inline bool parseFixedNow(const std::string& text, TDateTime& out) {
    DateTimeParts p;
    char tail = 0;
    int n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &p.year, &p.month, &p.day, &p.hour,
                        &p.minute, &p.second, &tail);
    if (n == 5) {
        p.second = 0;
        n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d%c", &p.year, &p.month, &p.day, &p.hour, &p.minute,
                        &tail);
        if (n != 5)
            return false;
    } else if (n != 6) {
        return false;
    }
    return dt::tryEncode(p, out);
}
