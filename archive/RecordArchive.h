#pragma once
#include "archive/ArchiveReader.h"
#include "archive/StatusRead.h"
#include "platform/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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
    // The group file's comment on the logger (Windows-1251); empty keeps the one kept before.
    std::string LoggerComment;
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

// Blocks past a central database's mark with their records, as one push sends them.
struct OutgoingBlock {
    int64_t id = 0; // the block's number in this archive: blocks are numbered in the order stored
    std::string LoggerName;
    TDateTime downloadTime = 0.0;
    uint8_t StringType = 0;
    int16_t StringSerial = 0;
    std::vector<int16_t> SensorCodes;
    int measureCount = -1;
    int newestOffset = -1;
};

struct OutgoingBatch {
    std::vector<OutgoingBlock> blocks; // in number order
    // Record by record: the index of its block in blocks, its time in seconds since 1899-12-30,
    // its variant (0: the first stored for its time), voltage, and readings as wide as the block's
    // sensor codes, packed one record after another.
    std::vector<uint32_t> blockOf;
    std::vector<int64_t> times;
    std::vector<int32_t> variants;
    std::vector<int16_t> voltages;
    std::vector<int16_t> readings;

    size_t recordCount() const { return times.size(); }
    int64_t lastBlock() const { return blocks.empty() ? 0 : blocks.back().id; }
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
class RecordArchive final : public IArchiveReader {
public:
    enum class Mode {
        ReadWrite, // the downloader's: creates the file and its tables, brings older versions up to date
        ReadOnly,  // the viewer's: opens an existing archive beside a running download
        // The pusher's, beside a running download: an existing archive of the current version, read
        // for what a central database lacks; only the marks of what it took are written.
        Push,
    };
    static constexpr int kSchemaVersion = 4;

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
    std::string location() const override { return path_; }

    // Stores one block in one transaction: either all of its new records are held afterwards or
    // none. A block with no records stores nothing.
    bool storeBlock(const ArchiveIdentity& identity, TDateTime downloadTime, const ArchiveRecords& records,
                    StoreCounts& counts);
    // The time of the logger's newest record; empty when the archive holds none of it.
    bool newestRecordTime(const std::string& loggerName, std::optional<TDateTime>& newest);
    bool newestPlace(const std::string& loggerName, std::optional<NewestPlace>& place);
    // Distinct record times of the logger in [from, to]: how much of a stretch of its memory is kept.
    bool recordsBetween(const std::string& loggerName, TDateTime from, TDateTime to, int& count);
    bool loggers(std::vector<ArchivedLogger>& out) override;
    bool history(const std::string& loggerName, LoggerHistory& out) override;

    // The loggers' health over time (RecordArchiveHealth.cpp): every status read and every
    // setting of a clock, kept per logger with the visit it came on.
    bool storeStatus(const StatusRead& read);
    // In time order; empty for a logger never read.
    bool statusHistory(const std::string& loggerName, std::vector<StatusRead>& out) override;

    // The push to central databases. This archive's own id: 32 hex digits, made with the archive
    // and drawn anew in a copy of it, so that a central database tells its blocks from any other
    // archive's.
    bool archiveId(std::string& id);
    // The last block a central database (by its own id) is known to hold; 0 for none.
    bool pushedUpTo(const std::string& central, int64_t& block);
    // Notes that the database holds every block up to this one. The mark never goes back, so two
    // pushes of one archive at once leave the further one's.
    bool setPushedUpTo(const std::string& central, int64_t block);
    // Whole blocks after afterBlock, in number order, up to the first at which the records reach
    // maxRecords (at least one block when any is there).
    bool outgoing(int64_t afterBlock, size_t maxRecords, OutgoingBatch& out);
    // Records in the blocks after afterBlock: what still waits for a database holding up to it.
    bool recordsAfter(int64_t afterBlock, int64_t& count);

    ArchiveError error() const { return error_; }
    // The last failure as a line for the message panel (UTF-8, Russian, SQLite's words in brackets).
    std::string errorText() const override;

private:
    static const char* healthSchema();
    bool storeComment(int64_t logger, const std::string& comment);
    bool fail(ArchiveError kind, const std::string& detail);
    bool failFromSqlite(int code);
    bool exec(const char* sql);
    bool prepareStatements();
    bool createSchema();
    bool migrate();
    bool checkStructure();
    bool loggerId(const std::string& name, bool create, int64_t& id);
    bool heldLogger(const std::string& name, int64_t& id);
    void finalizeStatements();
    bool rollback(int code);
    bool eachRow(const char* sql, const std::function<void(sqlite3_stmt*)>& bind,
                 const std::function<bool(sqlite3_stmt*)>& row);

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
