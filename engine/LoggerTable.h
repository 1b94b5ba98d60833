#pragma once
#include "platform/DateTime.h"

#include <cstdint>
#include <string>
#include <vector>

class IMessages;
class IRowNotifications;

enum LoggerStateCode : uint8_t {
    NotPolled = 0,
    NotFound = 1,
    StatusLoaded = 2,
    PartlyLoaded = 3,
    TaskDone = 4,
    NoMeasurements = 5,
};

struct StateLook {
    const char* hint; // UTF-8
    uint8_t r, g, b;
};
// Hint text and status-light colour of a state code; codes above 5 get the NotPolled look.
const StateLook& stateLook(int code);

// One group of loggers: who they are, their state in the running task, their last status and
// every measurement downloaded. Names and comments are Windows-1251 bytes, kept as read.
class LoggerTable {
public:
    struct Logger {
        std::string LoggerName;
        std::string LoggerComment;
        uint8_t LoggerState = NotPolled;
        int16_t StringSerial = 0;
        uint8_t StringType = 0;
        std::vector<int16_t> SensorCodes;
        std::vector<TDateTime> RecordTimes;
        std::vector<int16_t> RecordVoltages;
        std::vector<std::vector<int16_t>> SensorReadings;
        // Records of this download given up after every try of their block came damaged.
        int32_t GivenUpRecords = 0;
    };

    // Group fields.
    int32_t LoggerCount = 0;
    int32_t LoadedRecordCount = 0;
    std::string ConfigFileName;
    int32_t CurrentLogger = -1;
    std::vector<Logger> loggers;
    // Records appended since the program started, never lowered: whether any came in after a save.
    uint64_t recordsArrived = 0;
    // recordsArrived at the last save: records the user has saved are not lost by a new download.
    uint64_t savedArrivals = 0;
    bool hasUnsavedRecords() const { return LoadedRecordCount > 0 && recordsArrived != savedArrivals; }

    // Status of the logger being served, from its last decoded status.
    int32_t StatusSensorCount = 0;
    int32_t StatusError = 0;
    double StatusBattery = 0.0;
    TDateTime StatusClock = 0.0;
    int32_t StatusPeriod = 1;
    int32_t StatusMeasureCount = 0;

    void setMessages(IMessages* messages) { messages_ = messages; }
    void setRowNotifications(IRowNotifications* rows) { rows_ = rows; }

    static const char* confirmationText(); // the loss-of-data question

    bool ResetTable(bool ask);
    bool ClearLoadedData(bool ask);
    // After the reader appended names and comments: sizes everything, every state NotPolled, rows built.
    void AllocateTable();
    // Used by the configuration reader while it reads.
    void appendLogger(std::string name, std::string comment);

    // Appends one record to logger i at once to every list; keeps LoadedRecordCount in step.
    void appendRecord(int i, TDateTime time, int16_t voltage, const int16_t* readings, size_t count);
    // The same at position `at` of the lists (records fetched from older memory go in front).
    void insertRecord(int i, size_t at, TDateTime time, int16_t voltage, const int16_t* readings,
                      size_t count);
    // Drops every record of logger i (restart of a download); lowers LoadedRecordCount.
    void dropRecords(int i);

    bool validIndex(int i) const { return i >= 0 && i < LoggerCount; }
    // The invariants of the table; tests and debug builds check them after every operation.
    bool invariantsHold() const;

private:
    bool confirmLoss(bool ask);
    void checkInvariants() const;

    IMessages* messages_ = nullptr;
    IRowNotifications* rows_ = nullptr;
};
