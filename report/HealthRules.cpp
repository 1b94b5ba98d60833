#include "report/HealthRules.h"

#include <cmath>
#include <cstdio>

namespace health {

std::optional<double> driftAt(const std::vector<StatusRead>& readings, size_t i) {
    if (i >= readings.size() || readings[i].clockSet || !readings[i].deviation)
        return std::nullopt;
    const StatusRead& later = readings[i];
    for (size_t k = i; k-- > 0;) {
        const StatusRead& e = readings[k];
        const double span = later.time - e.time;
        if (!(span >= kMinDriftSpanDays)) {
            if (e.clockSet)
                return std::nullopt;
            continue;
        }
        const std::optional<int64_t> base = e.clockSet ? std::optional<int64_t>(0) : e.deviation;
        if (!base)
            return std::nullopt;
        return static_cast<double>(*later.deviation - *base) / span;
    }
    return std::nullopt;
}

std::optional<double> margin(const StatusRead& r) {
    if (!r.level)
        return std::nullopt;
    return *r.level - r.noise.value_or(kNominalNoiseDbm);
}

namespace {
// A Russian reader's decimal comma.
std::string commas(const char* text) {
    std::string s = text;
    for (char& c : s)
        if (c == '.')
            c = ',';
    return s;
}
} // namespace

std::vector<std::string> warnings(const StatusRead& latest, const std::optional<double>& driftPerDay) {
    std::vector<std::string> out;
    char text[160];
    if (latest.battery >= 1.0 && latest.battery < kBatteryLowVolts) {
        std::snprintf(text, sizeof text, "батарея на исходе: %.2f В (меньше %.1f В)", latest.battery,
                      kBatteryLowVolts);
        out.push_back(commas(text));
    }
    if (driftPerDay && std::fabs(*driftPerDay) > kDriftLimitSecondsPerDay) {
        std::snprintf(text, sizeof text, "часы уходят на %+.1f с/сут (больше %.0f с/сут)", *driftPerDay,
                      kDriftLimitSecondsPerDay);
        out.push_back(commas(text));
    }
    if (const std::optional<double> m = margin(latest); m && *m < kMarginLimitDb) {
        std::snprintf(text, sizeof text, "слабая связь: %.0f дБ над шумом (меньше %.0f дБ)", *m,
                      kMarginLimitDb);
        out.push_back(commas(text));
    }
    return out;
}

} // namespace health
