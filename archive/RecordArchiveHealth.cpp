#include "archive/RecordArchive.h"

#include <sqlite3.h>

#include <cmath>

// Version 3: the loggers' health over time. A row per status read (battery, the reply's level,
// the analyzer's noise where it measured one, how far the clock was off, the error and the count
// held) or per confirmed setting of a clock (clock_set 1, deviation 0), with the visit it came on.
// Unknown values are NULL.
const char* RecordArchive::healthSchema() {
    return R"(
CREATE TABLE IF NOT EXISTS status_read (
    id INTEGER PRIMARY KEY,
    logger INTEGER NOT NULL REFERENCES logger(id),
    visit REAL NOT NULL,
    time REAL NOT NULL,
    clock_set INTEGER NOT NULL DEFAULT 0,
    battery REAL,
    level REAL,
    noise REAL,
    deviation INTEGER,
    error INTEGER,
    measure_count INTEGER
);
CREATE INDEX IF NOT EXISTS status_read_logger ON status_read(logger, time);
)";
}

namespace {

void bindOptional(sqlite3_stmt* s, int index, const std::optional<double>& v) {
    if (v && std::isfinite(*v))
        sqlite3_bind_double(s, index, *v);
    else
        sqlite3_bind_null(s, index);
}

std::optional<double> columnOptional(sqlite3_stmt* s, int column) {
    if (sqlite3_column_type(s, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(s, column);
}

} // namespace

bool RecordArchive::storeStatus(const StatusRead& read) {
    if (!db_)
        return fail(ArchiveError::Failed, "the archive is not open");
    if (mode_ != Mode::ReadWrite)
        return fail(ArchiveError::Failed, "the archive is open for reading only");
    if (!std::isfinite(read.time) || !std::isfinite(read.visit))
        return fail(ArchiveError::Failed, "a status without a time");
    int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return failFromSqlite(rc);
    int64_t logger = 0;
    if (!loggerId(read.LoggerName, true, logger)) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    const bool stored = eachRow(
        "INSERT INTO status_read(logger, visit, time, clock_set, battery, level, noise, deviation, error, "
        "measure_count) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
        [&](sqlite3_stmt* s) {
            sqlite3_bind_int64(s, 1, logger);
            sqlite3_bind_double(s, 2, read.visit);
            sqlite3_bind_double(s, 3, read.time);
            sqlite3_bind_int(s, 4, read.clockSet ? 1 : 0);
            bindOptional(s, 5, read.clockSet ? std::nullopt : std::optional<double>(read.battery));
            bindOptional(s, 6, read.level);
            bindOptional(s, 7, read.noise);
            if (read.deviation)
                sqlite3_bind_int64(s, 8, *read.deviation);
            else
                sqlite3_bind_null(s, 8);
            if (read.clockSet) {
                sqlite3_bind_null(s, 9);
                sqlite3_bind_null(s, 10);
            } else {
                sqlite3_bind_int(s, 9, read.error);
                sqlite3_bind_int(s, 10, read.measureCount);
            }
        },
        [](sqlite3_stmt*) { return false; });
    if (!stored) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || rollback(rc);
}

bool RecordArchive::statusHistory(const std::string& loggerName, std::vector<StatusRead>& out) {
    out.clear();
    int64_t logger = 0;
    if (!heldLogger(loggerName, logger))
        return false;
    // An archive of an earlier version, read as it is, has no readings yet.
    bool hasTable = false;
    if (!eachRow("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'status_read'", nullptr,
                 [&](sqlite3_stmt*) { return !(hasTable = true); }))
        return false;
    if (logger == 0 || !hasTable)
        return true;
    return eachRow(
        "SELECT visit, time, clock_set, battery, level, noise, deviation, error, measure_count FROM "
        "status_read "
        "WHERE logger = ?1 ORDER BY time, id",
        [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, logger); },
        [&](sqlite3_stmt* s) {
            StatusRead r;
            r.LoggerName = loggerName;
            r.visit = sqlite3_column_double(s, 0);
            r.time = sqlite3_column_double(s, 1);
            r.clockSet = sqlite3_column_int(s, 2) != 0;
            r.battery = columnOptional(s, 3).value_or(0.0);
            r.level = columnOptional(s, 4);
            r.noise = columnOptional(s, 5);
            if (sqlite3_column_type(s, 6) != SQLITE_NULL)
                r.deviation = sqlite3_column_int64(s, 6);
            r.error = sqlite3_column_int(s, 7);
            r.measureCount = sqlite3_column_int(s, 8);
            out.push_back(std::move(r));
            return true;
        });
}
