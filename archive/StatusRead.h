#pragma once
#include "platform/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One status a logger gave on a visit, or the moment its clock was set: what its health over
// time is drawn from. The logger's name is Windows-1251 bytes, as the table holds it.
struct StatusRead {
    std::string LoggerName;
    TDateTime visit = 0; // when the visit began (the group opened, the collector started)
    TDateTime time = 0;  // the computer's time of the reading
    // A confirmed new time: the clock was right at `time` (deviation 0), the other values unknown.
    bool clockSet = false;
    double battery = 0;               // V
    std::optional<double> level;      // dBm of the reply
    std::optional<double> noise;      // dBm, the analyzer's noise floor, where it measured one
    std::optional<int64_t> deviation; // s, the logger's clock less the computer's; empty: no valid clock
    int error = 0;
    int measureCount = 0;
};
