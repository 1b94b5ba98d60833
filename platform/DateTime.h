#pragma once
#include <cstdint>
#include <string>

// Date-times are doubles counting days since 1899-12-30, the fraction being the time of day;
// that is what the logger table, the plan arithmetic and the plot's time axis work in.
using TDateTime = double;

struct DateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

namespace dt {

constexpr double kSecondsPerDay = 86400.0;

bool isValidDate(int year, int month, int day);
bool isValidTime(int hour, int minute, int second);
// Returns false (and leaves out untouched) for an impossible date or time.
bool tryEncode(const DateTimeParts& parts, TDateTime& out);
TDateTime encode(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// Rounds to the whole second first, so 10:00:00 never reads back as 09:59:59.
DateTimeParts decode(TDateTime value);
// Whole seconds since the epoch of TDateTime, rounded half to even.
int64_t toSeconds(TDateTime value);
TDateTime fromSeconds(int64_t seconds);

// The program's own fixed formats, independent of the system's regional settings.
std::string formatDate(TDateTime value);     // dd.mm.yy
std::string formatTime(TDateTime value);     // hh:nn:ss
std::string formatDateTime(TDateTime value); // dd.mm.yy hh:nn:ss

// A two-digit year is placed in the century of the given current year.
int centuryYear(int twoDigitYear, int currentYear);

TDateTime startOfDay(TDateTime value);

} // namespace dt
