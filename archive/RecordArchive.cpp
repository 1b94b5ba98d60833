#include "archive/RecordArchive.h"

#include <sqlite3.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace {

// "KVAR": marks the file as ours, so that another program's SQLite file is never taken for an archive.
constexpr int32_t kApplicationId = 0x4B564152;
// A download must not wait on another program's lock: the caller keeps a block it cannot store
// and tries again later. WAL readers (the viewer) never hold the writer up.
constexpr int kBusyTimeoutMs = 5;
constexpr int kPushBusyTimeoutMs = 2000;

// Times are whole seconds since 1899-12-30: the loggers' clocks have no finer grain, and an integer
// makes "the same time" exact where two doubles for one second might differ in the last bit.
// Each block is a row saying what the status gave and when the block came; records point to it.
// A record's key puts a logger's history in time order on disk; variant 0 is the first record
// stored for its time, 1.. the conflicting ones stored beside it.
const char* const kSchema = R"(
CREATE TABLE IF NOT EXISTS logger (
    id INTEGER PRIMARY KEY,
    name BLOB NOT NULL UNIQUE
);
CREATE TABLE IF NOT EXISTS block (
    id INTEGER PRIMARY KEY,
    logger INTEGER NOT NULL REFERENCES logger(id),
    downloaded REAL NOT NULL,
    string_type INTEGER NOT NULL,
    string_serial INTEGER NOT NULL,
    sensor_codes BLOB NOT NULL,
    measure_count INTEGER NOT NULL DEFAULT -1,
    newest_offset INTEGER NOT NULL DEFAULT -1
);
CREATE TABLE IF NOT EXISTS record (
    logger INTEGER NOT NULL,
    time INTEGER NOT NULL,
    variant INTEGER NOT NULL,
    voltage INTEGER NOT NULL,
    readings BLOB NOT NULL,
    block INTEGER NOT NULL REFERENCES block(id),
    PRIMARY KEY (logger, time, variant)
) WITHOUT ROWID;
)";

// Version 2: what the push to central databases needs. The archive's own id, drawn once, with the
// file it was drawn for; per central database (by that database's id) the last block it is known
// to hold; and the records by block, so that a push reads what follows its mark without a scan of
// the whole archive.
const char* const kSchemaPush = R"(
CREATE TABLE IF NOT EXISTS archive (uid TEXT NOT NULL, file TEXT);
INSERT INTO archive(uid) SELECT lower(hex(randomblob(16))) WHERE NOT EXISTS (SELECT 1 FROM archive);
CREATE TABLE IF NOT EXISTS pushed (
    central TEXT PRIMARY KEY,
    block INTEGER NOT NULL
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS record_block ON record(block);
)";

// Version 4: the group file's comment on each logger, for the lists that name loggers.
const char* const kSchemaComments = R"(
CREATE TABLE IF NOT EXISTS logger_comment (
    logger INTEGER PRIMARY KEY REFERENCES logger(id),
    comment BLOB NOT NULL
);
)";

// The reader needs only the tables of version 1.
constexpr int kOldestReadable = 1;

// Which file this is, whatever its name: a copy is another file. Empty where it cannot be told.
std::string fileIdentity(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return std::string();
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::string();
    return std::to_string(static_cast<uint64_t>(st.st_dev)) + ":" +
           std::to_string(static_cast<uint64_t>(st.st_ino));
#endif
}

// Signed 16-bit values as little-endian bytes, whatever the machine's own order.
void packInt16(const int16_t* values, size_t count, std::string& out) {
    out.resize(count * 2);
    for (size_t i = 0; i < count; ++i) {
        const auto u = static_cast<uint16_t>(values[i]);
        out[2 * i] = static_cast<char>(u & 0xFF);
        out[2 * i + 1] = static_cast<char>(u >> 8);
    }
}

int16_t int16At(const unsigned char* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

void bindBytes(sqlite3_stmt* s, int index, const std::string& bytes) {
    // An empty blob must stay a blob: a null pointer would bind NULL.
    static const char none = 0;
    sqlite3_bind_blob(s, index, bytes.empty() ? &none : bytes.data(), static_cast<int>(bytes.size()),
                      SQLITE_STATIC);
}

std::string columnBytes(sqlite3_stmt* s, int column) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s, column));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s, column))) : std::string();
}

// Clears a statement for its next use, whatever happened to it; finalize and reset report the
// statement's last error, which has been handled by then.
class Reset {
public:
    explicit Reset(sqlite3_stmt* s) : s_(s) {}
    ~Reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    Reset(const Reset&) = delete;
    Reset& operator=(const Reset&) = delete;

private:
    sqlite3_stmt* s_;
};

} // namespace

size_t LoggerHistory::recordCount() const {
    size_t n = 0;
    for (const HistoryPart& p : parts)
        n += p.recordCount();
    return n;
}

RecordArchive::~RecordArchive() {
    close();
}

bool RecordArchive::fail(ArchiveError kind, const std::string& detail) {
    error_ = kind;
    detail_ = detail;
    return false;
}

bool RecordArchive::failFromSqlite(int code) {
    const std::string detail = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    switch (code & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return fail(ArchiveError::Damaged, detail);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return fail(ArchiveError::Locked, detail);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
        return fail(ArchiveError::CannotOpen, detail);
    default:
        return fail(ArchiveError::Failed, detail);
    }
}

bool RecordArchive::exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || failFromSqlite(rc);
}

// One integer from a statement such as a pragma; false with the error recorded.
static int queryInt(sqlite3* db, const char* sql, int64_t& value) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            value = sqlite3_column_int64(s, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(s);
    return rc;
}

bool RecordArchive::open(const std::string& path, Mode mode) {
    close();
    path_ = path;
    mode_ = mode;
    error_ = ArchiveError::None;
    detail_.clear();

    const int access = mode == Mode::ReadWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                       : mode == Mode::Push    ? SQLITE_OPEN_READWRITE
                                               : SQLITE_OPEN_READONLY;
    const int flags = access | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        failFromSqlite(rc);
        close();
        return false;
    }
    // The pusher runs on its own thread or process and may wait for the downloader's short writes.
    sqlite3_busy_timeout(db_, mode == Mode::Push ? kPushBusyTimeoutMs : kBusyTimeoutMs);
    // SQLite quietly opens a write-protected file for reading only; the downloader must know now.
    if (mode != Mode::ReadOnly && sqlite3_db_readonly(db_, "main") == 1) {
        fail(ArchiveError::CannotOpen, "the file is read-only");
        close();
        return false;
    }

    int64_t appId = 0, version = 0, tables = 0;
    if ((rc = queryInt(db_, "PRAGMA application_id", appId)) != SQLITE_OK ||
        (rc = queryInt(db_, "PRAGMA user_version", version)) != SQLITE_OK ||
        (rc = queryInt(db_, "SELECT count(*) FROM sqlite_master", tables)) != SQLITE_OK) {
        failFromSqlite(rc);
        close();
        return false;
    }
    const bool fresh = tables == 0 && version == 0 && appId == 0;
    const int64_t oldest = mode == Mode::ReadOnly ? kOldestReadable : mode == Mode::Push ? kSchemaVersion : 0;
    bool ok = true;
    if (fresh && mode != Mode::ReadWrite)
        ok = fail(ArchiveError::NotAnArchive, "the file holds no tables");
    else if (!fresh && appId != kApplicationId)
        ok = fail(ArchiveError::NotAnArchive, "application_id " + std::to_string(appId));
    else if (version > kSchemaVersion || version < oldest)
        ok = fail(ArchiveError::OtherVersion, "schema version " + std::to_string(version));
    else if (!fresh && mode == Mode::ReadWrite)
        ok = checkStructure();
    // NORMAL with WAL: a commit is in the log before storeBlock returns, so killing the process
    // loses nothing committed; only a power cut may take the last blocks back, never half of one.
    if (ok && mode == Mode::ReadWrite)
        ok = exec("PRAGMA journal_mode=WAL") && exec("PRAGMA synchronous=NORMAL") &&
             (fresh ? createSchema() : migrate());
    else if (ok && mode == Mode::Push)
        ok = exec("PRAGMA synchronous=NORMAL");
    // The id belongs to this file from the start, so that a copy made later is known as one.
    if (ok && mode == Mode::ReadWrite)
        ok = eachRow(
            "UPDATE archive SET file = ?1 WHERE file IS NULL",
            [&](sqlite3_stmt* s) {
                sqlite3_bind_text(s, 1, fileIdentity(path).c_str(), -1, SQLITE_TRANSIENT);
            },
            [](sqlite3_stmt*) { return false; });
    ok = ok && prepareStatements();
    if (!ok)
        close();
    return ok;
}

void RecordArchive::close() {
    finalizeStatements();
    if (db_)
        sqlite3_close(db_);
    db_ = nullptr;
}

void RecordArchive::finalizeStatements() {
    for (sqlite3_stmt** s : {&findLogger_, &addLogger_, &addBlock_, &sameTime_, &addRecord_, &newestPlace_}) {
        sqlite3_finalize(*s);
        *s = nullptr;
    }
}

bool RecordArchive::checkStructure() {
    // SQLite finds a file cut short or garbage in place of its header by itself, but damaged pages
    // only when it reads them: storing into such a file could spread the damage, so it is refused.
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_, "PRAGMA quick_check(1)", -1, &s, nullptr);
    std::string verdict;
    if (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(s, 0);
        verdict = text ? reinterpret_cast<const char*>(text) : "";
        rc = SQLITE_OK;
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_OK)
        return failFromSqlite(rc);
    return verdict == "ok" || fail(ArchiveError::Damaged, verdict);
}

bool RecordArchive::createSchema() {
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    const std::string stamp = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                              "; PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
    if (!exec(kSchema) || !exec(kSchemaPush) || !exec(healthSchema()) || !exec(kSchemaComments) ||
        !exec(stamp.c_str()) || !exec("COMMIT")) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return true;
}

// Each later schema adds a step from the version before it here, run in one transaction with the
// new version number, so that an archive of any earlier program is brought up to date on opening.
// The version is read again under the write lock: the window and a pusher may open it at once.
bool RecordArchive::migrate() {
    struct Step {
        int to;
        const char* sql;
    };
    static const Step steps[] = {{2, kSchemaPush}, {3, healthSchema()}, {4, kSchemaComments}};
    int64_t version = 0;
    int rc = queryInt(db_, "PRAGMA user_version", version);
    if (rc != SQLITE_OK)
        return failFromSqlite(rc);
    if (version == kSchemaVersion)
        return true;
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    if ((rc = queryInt(db_, "PRAGMA user_version", version)) != SQLITE_OK)
        return rollback(rc);
    for (const Step& step : steps) {
        if (version >= step.to)
            continue;
        if (version != step.to - 1) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return fail(ArchiveError::OtherVersion,
                        "no upgrade from schema version " + std::to_string(version));
        }
        const std::string stamp = "PRAGMA user_version=" + std::to_string(step.to);
        if (!exec(step.sql) || !exec(stamp.c_str())) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
        version = step.to;
    }
    if ((rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr)) != SQLITE_OK)
        return rollback(rc);
    return true;
}

bool RecordArchive::prepareStatements() {
    struct Entry {
        sqlite3_stmt** stmt;
        const char* sql;
        bool writes;
    };
    const Entry entries[] = {
        {&findLogger_, "SELECT id FROM logger WHERE name = ?1", false},
        {&addLogger_, "INSERT INTO logger(name) VALUES (?1)", true},
        {&addBlock_,
         "INSERT INTO block(logger, downloaded, string_type, string_serial, sensor_codes, measure_count, "
         "newest_offset) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
         true},
        {&sameTime_, "SELECT variant, voltage, readings FROM record WHERE logger = ?1 AND time = ?2", false},
        {&addRecord_,
         "INSERT INTO record(logger, time, variant, voltage, readings, block) VALUES (?1, ?2, ?3, ?4, ?5, "
         "?6)",
         true},
        {&newestPlace_,
         "SELECT r.time, b.measure_count, b.newest_offset FROM record r JOIN block b ON b.id = r.block "
         "WHERE r.logger = ?1 ORDER BY r.time DESC, r.variant LIMIT 1",
         false},
    };
    for (const Entry& e : entries) {
        if (e.writes && mode_ != Mode::ReadWrite)
            continue;
        const int rc = sqlite3_prepare_v3(db_, e.sql, -1, SQLITE_PREPARE_PERSISTENT, e.stmt, nullptr);
        if (rc != SQLITE_OK)
            return failFromSqlite(rc);
    }
    return true;
}

bool RecordArchive::loggerId(const std::string& name, bool create, int64_t& id) {
    id = 0;
    {
        Reset r(findLogger_);
        bindBytes(findLogger_, 1, name);
        const int rc = sqlite3_step(findLogger_);
        if (rc == SQLITE_ROW) {
            id = sqlite3_column_int64(findLogger_, 0);
            return true;
        }
        if (rc != SQLITE_DONE)
            return failFromSqlite(rc);
    }
    if (!create)
        return true;
    Reset r(addLogger_);
    bindBytes(addLogger_, 1, name);
    const int rc = sqlite3_step(addLogger_);
    if (rc != SQLITE_DONE)
        return failFromSqlite(rc);
    id = sqlite3_last_insert_rowid(db_);
    return true;
}

// The id of a logger the archive holds, 0 when it holds none of it; false when the archive cannot say.
bool RecordArchive::heldLogger(const std::string& name, int64_t& id) {
    id = 0;
    if (!db_)
        return fail(ArchiveError::Failed, "the archive is not open");
    return loggerId(name, false, id);
}

bool RecordArchive::rollback(int code) {
    failFromSqlite(code);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool RecordArchive::storeBlock(const ArchiveIdentity& identity, TDateTime downloadTime,
                               const ArchiveRecords& records, StoreCounts& counts) {
    counts = StoreCounts{};
    if (!db_)
        return fail(ArchiveError::Failed, "the archive is not open");
    if (mode_ != Mode::ReadWrite)
        return fail(ArchiveError::Failed, "the archive is open for reading only");
    if (records.count == 0)
        return true;
    if (records.sensorCount < 0 || identity.SensorCodes.size() != static_cast<size_t>(records.sensorCount))
        return fail(ArchiveError::Failed, "the readings do not match the sensor codes");
    for (size_t r = 0; r < records.count; ++r)
        if (!std::isfinite(records.times[r]))
            return fail(ArchiveError::Failed, "a record without a time");

    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return failFromSqlite(rc);
    int64_t logger = 0;
    if (!loggerId(identity.LoggerName, true, logger) || !storeComment(logger, identity.LoggerComment)) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }

    StoreCounts c;
    int64_t block = 0;
    std::string readings;
    const auto n = static_cast<size_t>(records.sensorCount);
    for (size_t r = 0; r < records.count; ++r) {
        const int64_t time = dt::toSeconds(records.times[r]);
        const int16_t voltage = records.voltages[r];
        packInt16(records.readings + r * n, n, readings);

        int64_t variants = 0;
        bool same = false;
        {
            Reset reset(sameTime_);
            sqlite3_bind_int64(sameTime_, 1, logger);
            sqlite3_bind_int64(sameTime_, 2, time);
            while ((rc = sqlite3_step(sameTime_)) == SQLITE_ROW) {
                variants = std::max<int64_t>(variants, sqlite3_column_int64(sameTime_, 0) + 1);
                same = same ||
                       (sqlite3_column_int(sameTime_, 1) == voltage && columnBytes(sameTime_, 2) == readings);
            }
            if (rc != SQLITE_DONE)
                return rollback(rc);
        }
        if (same) {
            ++c.duplicates;
            continue;
        }
        if (block == 0) {
            std::string codes;
            packInt16(identity.SensorCodes.data(), identity.SensorCodes.size(), codes);
            Reset reset(addBlock_);
            sqlite3_bind_int64(addBlock_, 1, logger);
            sqlite3_bind_double(addBlock_, 2, downloadTime);
            sqlite3_bind_int(addBlock_, 3, identity.StringType);
            sqlite3_bind_int(addBlock_, 4, identity.StringSerial);
            bindBytes(addBlock_, 5, codes);
            sqlite3_bind_int(addBlock_, 6, records.measureCount);
            sqlite3_bind_int(addBlock_, 7, records.newestOffset);
            if ((rc = sqlite3_step(addBlock_)) != SQLITE_DONE)
                return rollback(rc);
            block = sqlite3_last_insert_rowid(db_);
        }
        Reset reset(addRecord_);
        sqlite3_bind_int64(addRecord_, 1, logger);
        sqlite3_bind_int64(addRecord_, 2, time);
        sqlite3_bind_int64(addRecord_, 3, variants);
        sqlite3_bind_int(addRecord_, 4, voltage);
        bindBytes(addRecord_, 5, readings);
        sqlite3_bind_int64(addRecord_, 6, block);
        if ((rc = sqlite3_step(addRecord_)) != SQLITE_DONE)
            return rollback(rc);
        ++c.added;
        if (variants > 0)
            ++c.conflicts;
    }
    if ((rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr)) != SQLITE_OK)
        return rollback(rc);
    counts = c;
    return true;
}

bool RecordArchive::newestRecordTime(const std::string& loggerName, std::optional<TDateTime>& newest) {
    newest.reset();
    std::optional<NewestPlace> place;
    if (!newestPlace(loggerName, place))
        return false;
    if (place)
        newest = place->time;
    return true;
}

bool RecordArchive::newestPlace(const std::string& loggerName, std::optional<NewestPlace>& place) {
    place.reset();
    int64_t logger = 0;
    if (!heldLogger(loggerName, logger))
        return false;
    if (logger == 0)
        return true;
    Reset reset(newestPlace_);
    sqlite3_bind_int64(newestPlace_, 1, logger);
    const int rc = sqlite3_step(newestPlace_);
    if (rc == SQLITE_DONE)
        return true;
    if (rc != SQLITE_ROW)
        return failFromSqlite(rc);
    place = NewestPlace{dt::fromSeconds(sqlite3_column_int64(newestPlace_, 0)),
                        sqlite3_column_int(newestPlace_, 1), sqlite3_column_int(newestPlace_, 2)};
    return true;
}

bool RecordArchive::recordsBetween(const std::string& loggerName, TDateTime from, TDateTime to, int& count) {
    count = 0;
    int64_t logger = 0;
    if (!heldLogger(loggerName, logger))
        return false;
    if (logger == 0)
        return true;
    // Two variants of one time are one place in the logger's memory.
    return eachRow(
        "SELECT COUNT(DISTINCT time) FROM record WHERE logger = ?1 AND time BETWEEN ?2 AND ?3",
        [&](sqlite3_stmt* s) {
            sqlite3_bind_int64(s, 1, logger);
            sqlite3_bind_int64(s, 2, dt::toSeconds(from));
            sqlite3_bind_int64(s, 3, dt::toSeconds(to));
        },
        [&](sqlite3_stmt* s) {
            count = sqlite3_column_int(s, 0);
            return false;
        });
}

bool RecordArchive::storeComment(int64_t logger, const std::string& comment) {
    if (comment.empty())
        return true;
    return eachRow(
        "INSERT INTO logger_comment(logger, comment) VALUES (?1, ?2) "
        "ON CONFLICT(logger) DO UPDATE SET comment = excluded.comment",
        [&](sqlite3_stmt* s) {
            sqlite3_bind_int64(s, 1, logger);
            bindBytes(s, 2, comment);
        },
        [](sqlite3_stmt*) { return false; });
}

bool RecordArchive::loggers(std::vector<ArchivedLogger>& out) {
    out.clear();
    if (!db_)
        return fail(ArchiveError::Failed, "the archive is not open");
    // An archive of an earlier version, opened for reading, has no comments yet.
    int64_t commented = 0;
    int rc = queryInt(db_, "SELECT count(*) FROM sqlite_master WHERE name = 'logger_comment'", commented);
    if (rc != SQLITE_OK)
        return failFromSqlite(rc);
    sqlite3_stmt* s = nullptr;
    const std::string sql =
        std::string("SELECT l.name, count(*), sum(r.variant > 0), min(r.time), max(r.time), ") +
        (commented ? "(SELECT comment FROM logger_comment c WHERE c.logger = l.id) " : "'' ") +
        "FROM logger l JOIN record r ON r.logger = l.id GROUP BY l.id ORDER BY l.name";
    rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
        ArchivedLogger l;
        l.LoggerName = columnBytes(s, 0);
        l.recordCount = sqlite3_column_int64(s, 1);
        l.conflictCount = sqlite3_column_int64(s, 2);
        l.firstTime = dt::fromSeconds(sqlite3_column_int64(s, 3));
        l.lastTime = dt::fromSeconds(sqlite3_column_int64(s, 4));
        l.LoggerComment = columnBytes(s, 5);
        out.push_back(std::move(l));
        rc = SQLITE_OK;
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) {
        out.clear();
        return failFromSqlite(rc);
    }
    return true;
}

bool RecordArchive::history(const std::string& loggerName, LoggerHistory& out) {
    out = LoggerHistory{};
    out.LoggerName = loggerName;
    int64_t logger = 0;
    if (!heldLogger(loggerName, logger))
        return false;
    if (logger == 0)
        return true;

    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_,
                                "SELECT r.time, r.variant, r.voltage, r.readings, r.block, b.downloaded, "
                                "b.string_type, b.string_serial, b.sensor_codes "
                                "FROM record r JOIN block b ON b.id = r.block "
                                "WHERE r.logger = ?1 ORDER BY r.time, r.variant",
                                -1, &s, nullptr);
    if (rc == SQLITE_OK)
        sqlite3_bind_int64(s, 1, logger);
    int64_t lastBlock = 0;
    HistoryPart* part = nullptr;
    bool mismatch = false;
    while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
        rc = SQLITE_OK;
        const int64_t block = sqlite3_column_int64(s, 4);
        if (block != lastBlock) {
            // Consecutive records mostly come from one block; its string is read only when it changes.
            lastBlock = block;
            HistoryPart p;
            p.StringType = static_cast<uint8_t>(sqlite3_column_int(s, 6));
            p.StringSerial = static_cast<int16_t>(sqlite3_column_int(s, 7));
            const auto* codes = static_cast<const unsigned char*>(sqlite3_column_blob(s, 8));
            const int codeBytes = sqlite3_column_bytes(s, 8);
            for (int i = 0; i + 1 < codeBytes; i += 2)
                p.SensorCodes.push_back(int16At(codes + i));
            if (!part || part->StringType != p.StringType || part->StringSerial != p.StringSerial ||
                part->SensorCodes != p.SensorCodes) {
                p.SensorReadings.resize(p.SensorCodes.size());
                out.parts.push_back(std::move(p));
                part = &out.parts.back();
            }
        }
        const auto* readings = static_cast<const unsigned char*>(sqlite3_column_blob(s, 3));
        const size_t n = part->SensorCodes.size();
        if (static_cast<size_t>(sqlite3_column_bytes(s, 3)) != 2 * n) {
            mismatch = true;
            break;
        }
        part->RecordTimes.push_back(dt::fromSeconds(sqlite3_column_int64(s, 0)));
        part->conflict.push_back(sqlite3_column_int64(s, 1) > 0 ? 1 : 0);
        part->RecordVoltages.push_back(static_cast<int16_t>(sqlite3_column_int(s, 2)));
        for (size_t k = 0; k < n; ++k)
            part->SensorReadings[k].push_back(int16At(readings + 2 * k));
        part->DownloadTimes.push_back(sqlite3_column_double(s, 5));
    }
    sqlite3_finalize(s);
    if (mismatch || rc != SQLITE_DONE) {
        out.parts.clear();
        return mismatch ? fail(ArchiveError::Damaged, "a record's readings do not match its sensor codes")
                        : failFromSqlite(rc);
    }
    return true;
}

// One statement run to its end, row by row; false with the error recorded.
bool RecordArchive::eachRow(const char* sql, const std::function<void(sqlite3_stmt*)>& bind,
                            const std::function<bool(sqlite3_stmt*)>& row) {
    if (!db_)
        return fail(ArchiveError::Failed, "the archive is not open");
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &s, nullptr);
    if (rc == SQLITE_OK && bind)
        bind(s);
    bool more = true;
    while (rc == SQLITE_OK && more && (rc = sqlite3_step(s)) == SQLITE_ROW) {
        rc = SQLITE_OK;
        more = row(s);
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        return failFromSqlite(rc);
    return true;
}

bool RecordArchive::archiveId(std::string& id) {
    id.clear();
    // A copy of the file (a program folder copied whole) would push its own new blocks under the
    // original's id and numbers, where the database takes them for the original's: it draws an id
    // of its own first.
    const std::string here = fileIdentity(path_);
    if (!here.empty() && mode_ != Mode::ReadOnly &&
        !eachRow(
            "UPDATE archive SET uid = lower(hex(randomblob(16))), file = ?1 WHERE file IS NOT NULL AND file "
            "<> ?1",
            [&](sqlite3_stmt* s) { sqlite3_bind_text(s, 1, here.c_str(), -1, SQLITE_TRANSIENT); },
            [](sqlite3_stmt*) { return false; }))
        return false;
    const bool ok = eachRow("SELECT uid FROM archive", {}, [&](sqlite3_stmt* s) {
        id = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        return false;
    });
    return ok && (id.size() == 32 || fail(ArchiveError::Damaged, "the archive has no id"));
}

bool RecordArchive::pushedUpTo(const std::string& central, int64_t& block) {
    block = 0;
    return eachRow(
        "SELECT block FROM pushed WHERE central = ?1",
        [&](sqlite3_stmt* s) { sqlite3_bind_text(s, 1, central.c_str(), -1, SQLITE_TRANSIENT); },
        [&](sqlite3_stmt* s) {
            block = sqlite3_column_int64(s, 0);
            return false;
        });
}

bool RecordArchive::setPushedUpTo(const std::string& central, int64_t block) {
    return eachRow(
        "INSERT INTO pushed(central, block) VALUES (?1, ?2) "
        "ON CONFLICT(central) DO UPDATE SET block = max(block, excluded.block)",
        [&](sqlite3_stmt* s) {
            sqlite3_bind_text(s, 1, central.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(s, 2, block);
        },
        [](sqlite3_stmt*) { return false; });
}

bool RecordArchive::recordsAfter(int64_t afterBlock, int64_t& count) {
    count = 0;
    return eachRow(
        "SELECT count(*) FROM record WHERE block > ?1",
        [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, afterBlock); },
        [&](sqlite3_stmt* s) {
            count = sqlite3_column_int64(s, 0);
            return false;
        });
}

bool RecordArchive::outgoing(int64_t afterBlock, size_t maxRecords, OutgoingBatch& out) {
    out = OutgoingBatch{};
    if (!db_)
        return fail(ArchiveError::Failed, "the archive is not open");
    // One read transaction: a block the downloader commits meanwhile is either whole in it or not
    // at all, and blocks are numbered in commit order, so none is skipped.
    if (!exec("BEGIN"))
        return false;
    int64_t last = afterBlock;
    size_t records = 0;
    auto bindRange = [&](sqlite3_stmt* s) {
        sqlite3_bind_int64(s, 1, afterBlock);
        sqlite3_bind_int64(s, 2, last);
    };
    bool ok = eachRow(
        "SELECT block, count(*) FROM record WHERE block > ?1 GROUP BY block ORDER BY block",
        [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, afterBlock); },
        [&](sqlite3_stmt* s) {
            last = sqlite3_column_int64(s, 0);
            records += static_cast<size_t>(sqlite3_column_int64(s, 1));
            return records < maxRecords;
        });
    std::vector<size_t> widths;
    ok = ok && eachRow("SELECT b.id, l.name, b.downloaded, b.string_type, b.string_serial, b.sensor_codes, "
                       "b.measure_count, b.newest_offset FROM block b JOIN logger l ON l.id = b.logger "
                       "WHERE b.id > ?1 AND b.id <= ?2 ORDER BY b.id",
                       bindRange, [&](sqlite3_stmt* s) {
                           OutgoingBlock& b = out.blocks.emplace_back();
                           b.id = sqlite3_column_int64(s, 0);
                           b.LoggerName = columnBytes(s, 1);
                           b.downloadTime = sqlite3_column_double(s, 2);
                           b.StringType = static_cast<uint8_t>(sqlite3_column_int(s, 3));
                           b.StringSerial = static_cast<int16_t>(sqlite3_column_int(s, 4));
                           const auto* codes = static_cast<const unsigned char*>(sqlite3_column_blob(s, 5));
                           for (int i = 0; i + 1 < sqlite3_column_bytes(s, 5); i += 2)
                               b.SensorCodes.push_back(int16At(codes + i));
                           b.measureCount = sqlite3_column_int(s, 6);
                           b.newestOffset = sqlite3_column_int(s, 7);
                           return true;
                       });
    out.times.reserve(records);
    out.blockOf.reserve(records);
    out.variants.reserve(records);
    out.voltages.reserve(records);
    size_t at = 0;
    bool mismatch = false;
    ok = ok && eachRow("SELECT block, time, variant, voltage, readings FROM record "
                       "WHERE block > ?1 AND block <= ?2 ORDER BY block",
                       bindRange, [&](sqlite3_stmt* s) {
                           const int64_t block = sqlite3_column_int64(s, 0);
                           while (at < out.blocks.size() && out.blocks[at].id < block)
                               ++at;
                           const size_t n = at < out.blocks.size() ? out.blocks[at].SensorCodes.size() : 0;
                           if (at == out.blocks.size() || out.blocks[at].id != block ||
                               static_cast<size_t>(sqlite3_column_bytes(s, 4)) != 2 * n) {
                               mismatch = true;
                               return false;
                           }
                           out.blockOf.push_back(static_cast<uint32_t>(at));
                           out.times.push_back(sqlite3_column_int64(s, 1));
                           out.variants.push_back(sqlite3_column_int(s, 2));
                           out.voltages.push_back(static_cast<int16_t>(sqlite3_column_int(s, 3)));
                           const auto* readings =
                               static_cast<const unsigned char*>(sqlite3_column_blob(s, 4));
                           for (size_t k = 0; k < n; ++k)
                               out.readings.push_back(int16At(readings + 2 * k));
                           return true;
                       });
    sqlite3_exec(db_, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    if (ok && mismatch)
        ok = fail(ArchiveError::Damaged, "a record's readings do not match its block");
    if (!ok)
        out = OutgoingBatch{};
    return ok;
}

std::string RecordArchive::errorText() const {
    const std::string where = "Архив " + path_;
    switch (error_) {
    case ArchiveError::None:
        return std::string();
    case ArchiveError::CannotOpen:
        return where + " не открывается (" + detail_ + ")";
    case ArchiveError::NotAnArchive:
        return "Файл " + path_ + " не является архивом (" + detail_ + ")";
    case ArchiveError::Damaged:
        return where + " поврежден (" + detail_ + ")";
    case ArchiveError::Locked:
        return where + " занят другим приложением (" + detail_ + ")";
    case ArchiveError::OtherVersion:
        return where + " записан другой версией программы (" + detail_ + ")";
    case ArchiveError::Failed:
        break;
    }
    return "Ошибка архива " + path_ + " (" + detail_ + ")";
}
