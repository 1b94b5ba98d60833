#pragma once
#include "platform/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Who delivered a block: the logger's name (Windows-1251 bytes, as the table holds it) and its
// thermistor string as the status decoded just before gave it.
struct ArchiveIdentity {
    std::string LoggerName;
    uint8_t StringType = 0;
    int16_t StringSerial = 0;
    std::vector<int16_t> SensorCodes;
};

// The accepted records of one block, borrowed from the caller. Readings run record by record:
// record r's are readings[r * sensorCount ... r * sensorCount + sensorCount - 1], the layout of the
// decoder's batch.
struct ArchiveRecords {
    const TDateTime* times = nullptr;
    const int16_t* voltages = nullptr;
    const int16_t* readings = nullptr;
    size_t count = 0;
    int sensorCount = 0;
    // Where the block's newest record sat in the logger's memory when it was asked for: its
    // offset (0 is the newest) under the measurement count the status gave; -1 when unknown.
    int measureCount = -1;
    int newestOffset = -1;
};

// The logger's newest archived record, and where it sat in the logger's memory when it came.
struct NewestPlace {
    TDateTime time = 0.0;
    int measureCount = -1;
    int offset = -1;
};

struct StoreCounts {
    int added = 0;      // new records, conflicts included
    int duplicates = 0; // already held with the same time and values: not stored again
    int conflicts = 0;  // same time as a held record but other values: stored beside it
};

struct ArchivedLogger {
    std::string LoggerName;
    int64_t recordCount = 0; // conflicts included
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

enum class ArchiveError {
    None,
    CannotOpen,   // missing or unwritable folder, a folder in its place, no such file to read
    NotAnArchive, // an SQLite file of another program
    Damaged,      // garbage, truncated, or failing its structure check
    Locked,       // another program holds it
    OtherVersion, // a later program's schema, or (for reading only) an earlier one not yet brought up to date
    Failed,       // a read or write failed after opening (disk full, I/O error)
};

// Every record received, kept across downloads in one SQLite file. A failure never throws: each
// call reports it through its result, and error() / errorText() say what happened.
class RecordArchive {
public:
    enum class Mode {
        ReadWrite, // the downloader's: creates the file and its tables, brings older versions up to date
        ReadOnly,  // the viewer's: opens an existing archive of the current version beside a running download
    };
    static constexpr int kSchemaVersion = 1;

    RecordArchive() = default;
    ~RecordArchive();
    RecordArchive(const RecordArchive&) = delete;
    RecordArchive& operator=(const RecordArchive&) = delete;

    // path in UTF-8; the folder must exist. For writing, every page of the file is checked first
    // (about 0.2 s per million records): open once, not per download. A reader meets damage, if
    // any, as a failing query instead.
    bool open(const std::string& path, Mode mode = Mode::ReadWrite);
    void close();
    bool isOpen() const { return db_ != nullptr; }
    const std::string& path() const { return path_; }

    // Stores one block in one transaction: either all of its new records are held afterwards or
    // none. A block with no records stores nothing.
    bool storeBlock(const ArchiveIdentity& identity, TDateTime downloadTime, const ArchiveRecords& records,
                    StoreCounts& counts);
    // The time of the logger's newest record; empty when the archive holds none of it.
    bool newestRecordTime(const std::string& loggerName, std::optional<TDateTime>& newest);
    bool newestPlace(const std::string& loggerName, std::optional<NewestPlace>& place);
    // Every logger with records, ordered by name bytes.
    bool loggers(std::vector<ArchivedLogger>& out);
    bool history(const std::string& loggerName, LoggerHistory& out);

    ArchiveError error() const { return error_; }
    // The last failure as a line for the message panel (UTF-8, Russian, SQLite's words in brackets).
    std::string errorText() const;

private:
    bool fail(ArchiveError kind, const std::string& detail);
    bool failFromSqlite(int code);
    bool exec(const char* sql);
    bool prepareStatements();
    bool createSchema();
    bool migrate(int fromVersion);
    bool checkStructure();
    bool loggerId(const std::string& name, bool create, int64_t& id);
    bool heldLogger(const std::string& name, int64_t& id);
    void finalizeStatements();
    bool rollback(int code);

    sqlite3* db_ = nullptr;
    std::string path_;
    Mode mode_ = Mode::ReadWrite;
    ArchiveError error_ = ArchiveError::None;
    std::string detail_;

    sqlite3_stmt* findLogger_ = nullptr;
    sqlite3_stmt* addLogger_ = nullptr;
    sqlite3_stmt* addBlock_ = nullptr;
    sqlite3_stmt* sameTime_ = nullptr;
    sqlite3_stmt* addRecord_ = nullptr;
    sqlite3_stmt* newestPlace_ = nullptr;
};
