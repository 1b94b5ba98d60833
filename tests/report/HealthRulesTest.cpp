// When a logger's health is worth a warning.
#include "report/HealthRules.h"

#include <gtest/gtest.h>

namespace {

StatusRead reading(double day, std::optional<int64_t> deviation, bool clockSet = false) {
    StatusRead r;
    r.time = 46000 + day;
    r.deviation = deviation;
    r.clockSet = clockSet;
    r.battery = 3.6;
    return r;
}

} // namespace

// The drift runs from the latest reading a day or more before, or from the setting of the clock;
// a setting within that day leaves nothing to measure.
TEST(HealthRules, TheDriftCountsFromTheLastReadingOrSettingADayBeforeAndNeverAcrossASetting) {
    const std::vector<StatusRead> visits = {
        reading(0, 40),           reading(0.01, 0, true), reading(100, -300),         reading(100.01, -301),
        reading(100.02, 0, true), reading(100.5, 3),      reading(190, std::nullopt), reading(280, 900)};
    EXPECT_FALSE(health::driftAt(visits, 0));
    EXPECT_NEAR(*health::driftAt(visits, 2), -300 / 99.99, 1e-9);
    // Within a day of the setting before it.
    EXPECT_FALSE(health::driftAt(visits, 5));
    // The reading before it has no clock.
    EXPECT_FALSE(health::driftAt(visits, 7));
    EXPECT_FALSE(health::driftAt(visits, 1)) << "a setting is no reading";
    EXPECT_NEAR(*health::driftAt({reading(0, 0, true), reading(10, 150)}, 1), 15.0, 1e-9);
}

TEST(HealthRules, BatteryDriftAndMarginWarnOnlyBeyondTheirLimits) {
    StatusRead r = reading(0, 0);
    r.level = -100.0; // 10 dB over the nominal noise: just enough
    EXPECT_TRUE(health::warnings(r, 10.0).empty());
    r.battery = 3.09;
    r.level = -95.0;
    r.noise = -104.5; // the analyzer's floor counts instead of the nominal one
    const std::vector<std::string> w = health::warnings(r, -10.5);
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0], "батарея на исходе: 3,09 В (меньше 3,1 В)");
    EXPECT_EQ(w[1], "часы уходят на -10,5 с/сут (больше 10 с/сут)");
    EXPECT_EQ(w[2], "слабая связь: 10 дБ над шумом (меньше 10 дБ)");
    r.battery = 0; // unknown, not empty
    EXPECT_EQ(health::warnings(r, std::nullopt).size(), 1u);
}
