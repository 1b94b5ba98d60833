#pragma once
#include "archive/StatusRead.h"
#include "platform/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ArchivedLogger {
    std::string LoggerName;
    std::string LoggerComment; // the group file's, as it was at the latest download; Windows-1251
    int64_t recordCount = 0;   // conflicts included
    int64_t conflictCount = 0;
    TDateTime firstTime = 0.0;
    TDateTime lastTime = 0.0;
};

// A run of a logger's history under one string; the fields are the logger table's, so that a part
// can be copied into a table row and written as a measurement file.
struct HistoryPart {
    uint8_t StringType = 0;
    int16_t StringSerial = 0;
    std::vector<int16_t> SensorCodes;
    std::vector<TDateTime> RecordTimes;
    std::vector<int16_t> RecordVoltages;
    std::vector<std::vector<int16_t>> SensorReadings; // [sensor][record]
    std::vector<TDateTime> DownloadTimes;             // when each record was first stored
    std::vector<uint8_t> conflict;                    // 1: its values differ from a record stored earlier

    size_t recordCount() const { return RecordTimes.size(); }
};

struct LoggerHistory {
    std::string LoggerName;
    std::vector<HistoryPart> parts; // in time order; a new part starts wherever the string changes

    size_t recordCount() const;
};

// What the viewer reads from an archive, the laptop's own file or a team's central database: the
// loggers it holds and one logger's whole history. A failure is a false result; errorText() says it.
class IArchiveReader {
public:
    virtual ~IArchiveReader() = default;
    // Every logger with records, ordered by name bytes.
    virtual bool loggers(std::vector<ArchivedLogger>& out) = 0;
    // The history in time order; records of one time in the order the archive first took them.
    virtual bool history(const std::string& loggerName, LoggerHistory& out) = 0;
    // Every status read of the logger and every setting of its clock, in time order; an archive
    // that keeps none gives none.
    virtual bool statusHistory(const std::string& loggerName, std::vector<StatusRead>& out) {
        (void)loggerName;
        out.clear();
        return true;
    }
    // The last failure as a line for the message panel or box (UTF-8, Russian).
    virtual std::string errorText() const = 0;
    // Where the archive is, for captions: a file's path or a database's address.
    virtual std::string location() const = 0;
};
