#pragma once
#include "platform/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class LoggerTable;

// Result codes of DecodeStatus; only zero versus non-zero matters to the step machine.
enum StatusResult : int {
    StatusOk = 0,
    StatusNameMismatch = 2,
    StatusWrongLength = 3,
    StatusChecksumError = 4,
};

// A logger's status reply, decoded but not yet stored, so that the caller can drop earlier
// records before the new sensor count is applied.
struct LoggerStatus {
    uint8_t stringType = 0;
    int16_t stringSerial = 0;
    int sensorCount = 0;
    std::vector<int16_t> sensorCodes;
    int error = 0;
    double battery = 0.0; // volts
    // The clock lies outside the checksum: a damaged one is kept apart instead of being made
    // into some date. clock is NaN then, and clockRaw shows the bytes as they came.
    bool clockValid = false;
    TDateTime clock = 0.0;
    std::string clockRaw; // "dd.mm.yy hh:nn:ss" of the raw bytes, e.g. "00.13.26 24:00:00"
    // The advance is in clock but not in the records' times, which carry the bare clock.
    int64_t advanceSeconds = 0;
    int period = 1;       // hours, 0 taken as 1
    int measureCount = 0; // 0..65535
};

// Length of a status reply of a logger named with nameLength bytes and n sensors.
constexpr size_t statusLength(size_t nameLength, int sensorCount) {
    return nameLength + 2 * static_cast<size_t>(sensorCount) + 20;
}
// The longest status any logger can send (255 sensors).
constexpr size_t maxStatusLength(size_t nameLength) {
    return statusLength(nameLength, 255);
}
constexpr int recordLength(int sensorCount) {
    return 2 * sensorCount + 10;
}

// Checks name, length and checksum, in that order, and decodes every field. currentYear fixes
// the century of the two-digit years.
int DecodeStatus(const uint8_t* data, size_t size, const std::string& loggerName, int currentYear,
                 LoggerStatus& out);

// Writes a decoded status into the table: the logger's string fields and sensor codes, its
// per-sensor lists sized to the sensor count, and the current-logger status fields.
void StoreStatus(LoggerTable& table, int logger, const LoggerStatus& status);
// Only the current-logger status fields: a logger whose records the table holds keeps the string
// fields they were decoded under.
void StoreStatusFields(LoggerTable& table, const LoggerStatus& status);

// The hint of the error lamp for a logger's error code (UTF-8).
const char* LoggerErrorText(int code);

// The records of one block reply. Readings are kept row by row: record r's readings are
// readings[r * sensorCount ... r * sensorCount + sensorCount - 1].
struct RecordBatch {
    int sensorCount = 0;
    std::vector<TDateTime> times;
    std::vector<int16_t> voltages;
    std::vector<int16_t> readings;
    int damaged = 0; // records dropped: bad checksum or a date or time that does not exist

    int valid() const { return static_cast<int>(times.size()); }
};

// Decodes one record of recordLength(sensorCount) bytes. False for a bad checksum or an
// impossible date or time (an all-zero record passes the checksum for any sensor count).
bool DecodeRecord(const uint8_t* record, int sensorCount, int currentYear, TDateTime& time, int16_t& voltage,
                  int16_t* readings);

// Decodes recordCount records that follow each other in data; size must hold them all (a
// shorter buffer decodes the whole records it holds and counts the rest as damaged).
RecordBatch DecodeRecords(const uint8_t* data, size_t size, int recordCount, int sensorCount,
                          int currentYear);

// Appends the valid records to the logger's lists; returns how many were appended.
int StoreRecords(LoggerTable& table, int logger, const RecordBatch& batch);

// Builds a date-time from the logger's byte triples, the year within the century of currentYear.
bool LoggerDateTime(const uint8_t* date, const uint8_t* time, int currentYear, TDateTime& out);
