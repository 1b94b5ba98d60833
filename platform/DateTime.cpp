#include "platform/DateTime.h"

#include <cmath>
#include <cstdio>

namespace dt {
namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's civil algorithm).
constexpr int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

// 1899-12-30 is day 0 of TDateTime; constexpr so that other files' static initialisers can use it.
constexpr int64_t kEpochOffset = daysFromCivil(1899, 12, 30);

} // namespace

bool isValidDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= last;
}

bool isValidTime(int hour, int minute, int second) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

bool tryEncode(const DateTimeParts& p, TDateTime& out) {
    if (!isValidDate(p.year, p.month, p.day) || !isValidTime(p.hour, p.minute, p.second))
        return false;
    out = encode(p.year, p.month, p.day, p.hour, p.minute, p.second);
    return true;
}

TDateTime encode(int year, int month, int day, int hour, int minute, int second) {
    const int64_t days =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochOffset;
    return static_cast<double>(days) + (hour * 3600.0 + minute * 60.0 + second) / kSecondsPerDay;
}

int64_t toSeconds(TDateTime value) {
    return static_cast<int64_t>(std::nearbyint(value * kSecondsPerDay));
}

TDateTime fromSeconds(int64_t seconds) {
    return static_cast<double>(seconds) / kSecondsPerDay;
}

DateTimeParts decode(TDateTime value) {
    const int64_t total = toSeconds(value);
    int64_t days = total / 86400;
    int64_t secs = total % 86400;
    if (secs < 0) {
        secs += 86400;
        days -= 1;
    }
    DateTimeParts p;
    civilFromDays(days + kEpochOffset, p.year, p.month, p.day);
    p.hour = static_cast<int>(secs / 3600);
    p.minute = static_cast<int>(secs / 60 % 60);
    p.second = static_cast<int>(secs % 60);
    return p;
}

std::string formatDate(TDateTime value) {
    const DateTimeParts p = decode(value);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", p.day, p.month, ((p.year % 100) + 100) % 100);
    return buf;
}

std::string formatTime(TDateTime value) {
    const DateTimeParts p = decode(value);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    return buf;
}

std::string formatDateTime(TDateTime value) {
    return formatDate(value) + " " + formatTime(value);
}

int centuryYear(int twoDigitYear, int currentYear) {
    return currentYear / 100 * 100 + twoDigitYear;
}

TDateTime startOfDay(TDateTime value) {
    const DateTimeParts p = decode(value);
    return encode(p.year, p.month, p.day);
}

} // namespace dt
