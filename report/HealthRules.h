#pragma once
#include "archive/StatusRead.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// When a logger's health needs the engineer's eye before the next visit, and why these limits.
namespace health {

// The row's battery scale runs from 2.9 V (empty) to 2.9 + 18/23 V (full) in 19 pictures; the
// lowest quarter of it, below 3.1 V, is where the lithium thionyl chloride cells of the loggers
// have left their flat 3.4..3.6 V and fall within weeks. A visit a quarter away is too late then.
inline constexpr double kBatteryLowVolts = 3.1;
// A watch crystal of ±20 ppm runs within 1.7 s/day, and its parabola takes it to about -70 ppm
// (6 s/day) at -20 °C. Beyond 10 s/day the oscillator or its supply is failing; at that rate a
// clock also drifts 15 minutes in a quarter, a quarter of the hour that the row shows in red.
inline constexpr double kDriftLimitSecondsPerDay = 10.0;
// Levels from day to day move by several dB with snow, leaves and wet ground, and the search
// attempts step the power by 10 dB: a reply less than 10 dB over the noise has no reserve left.
inline constexpr double kMarginLimitDb = 10.0;
// Without the analyzer's measurement the noise is taken at the bottom of the row's level scale.
inline constexpr double kNominalNoiseDbm = -110.0;
// Two readings closer than this give no drift worth telling: the clock reads in whole seconds.
inline constexpr double kMinDriftSpanDays = 1.0;

// Seconds per day that the clock ran off, at reading i of a logger's readings in time order:
// from the latest reading at least kMinDriftSpanDays before it, or from a setting of the clock
// that far back. Empty when the clock was set within that day, or no such reading has a clock.
std::optional<double> driftAt(const std::vector<StatusRead>& readings, size_t i);
// Signal over noise, dB; empty without a level.
std::optional<double> margin(const StatusRead& r);

// The warnings for a reading, in Russian, given the drift at it.
std::vector<std::string> warnings(const StatusRead& latest, const std::optional<double>& driftPerDay);

} // namespace health
