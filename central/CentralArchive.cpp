#include "central/CentralArchive.h"

#include "archive/RecordArchive.h"
#include "central/PgBinary.h"

#include <libpq-fe.h>

#include <cstring>
#include <memory>
#include <unordered_map>

namespace {

// Every table in a schema of its own, so that the team's database may hold other things too.
// A record is one logger's values at one time: the same values pushed again by any laptop are the
// same row, other values at that time a row beside it (a conflict). Its block is the first one
// that brought it; variant, its rank among its time's values in that laptop's archive, orders
// the values of one time as the laptop stored them. Blocks keep what the status said and when
// and by which laptop they were fetched.
const char* const kSchemaV1 = R"(
CREATE SCHEMA IF NOT EXISTS kestrovane;
CREATE TABLE kestrovane.schema_version (
    version integer PRIMARY KEY,
    applied timestamptz NOT NULL DEFAULT now()
);
CREATE TABLE kestrovane.this_database (
    id uuid NOT NULL DEFAULT gen_random_uuid()
);
INSERT INTO kestrovane.this_database DEFAULT VALUES;
CREATE TABLE kestrovane.laptop (
    id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    archive uuid NOT NULL,
    host text NOT NULL,
    first_push timestamptz NOT NULL DEFAULT now(),
    UNIQUE (archive, host)
);
CREATE TABLE kestrovane.logger (
    id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name bytea NOT NULL UNIQUE
);
CREATE TABLE kestrovane.block (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    laptop integer NOT NULL REFERENCES kestrovane.laptop,
    local_id bigint NOT NULL,
    logger integer NOT NULL REFERENCES kestrovane.logger,
    downloaded timestamp NOT NULL,
    string_type smallint NOT NULL,
    string_serial smallint NOT NULL,
    sensor_codes smallint[] NOT NULL,
    measure_count integer NOT NULL,
    newest_offset integer NOT NULL,
    pushed timestamptz NOT NULL DEFAULT now(),
    UNIQUE (laptop, local_id)
);
CREATE INDEX block_logger ON kestrovane.block (logger);
CREATE TABLE kestrovane.record (
    logger integer NOT NULL,
    time timestamp NOT NULL,
    voltage smallint NOT NULL,
    readings smallint[] NOT NULL,
    block bigint NOT NULL,
    variant integer NOT NULL,
    PRIMARY KEY (logger, time, voltage, readings)
);
CREATE INDEX record_time ON kestrovane.record (time);
CREATE VIEW kestrovane.status AS
    SELECT b.id AS block, l.name AS logger, p.host AS laptop, b.downloaded, b.string_type, b.string_serial,
           b.sensor_codes, b.measure_count
    FROM kestrovane.block b JOIN kestrovane.logger l ON l.id = b.logger JOIN kestrovane.laptop p ON p.id = b.laptop;
CREATE VIEW kestrovane.conflict AS
    SELECT logger, time, count(*) AS variants FROM kestrovane.record GROUP BY logger, time HAVING count(*) > 1;
)";

struct Step {
    int to;
    const char* sql;
};
// A later schema appends its step; each runs in the transaction that records its version.
const Step kSteps[] = {{1, kSchemaV1}};

// Two laptops bringing the tables up at once take turns.
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(4897123615)";

// Staging tables of the session: a batch is copied in, then moved on by one statement per table.
const char* const kStaging = R"(
CREATE TEMP TABLE kv_in_block (
    local_id bigint, logger_name bytea, downloaded timestamp, string_type smallint, string_serial smallint,
    sensor_codes smallint[], measure_count integer, newest_offset integer
) ON COMMIT DELETE ROWS;
CREATE TEMP TABLE kv_in_record (
    local_block bigint, time timestamp, variant integer, voltage smallint, readings smallint[]
) ON COMMIT DELETE ROWS;
)";

// Rows go in key order, so two pushes meeting on the same rows wait for each other instead of
// deadlocking.
const char* const kAddLoggers =
    "INSERT INTO kestrovane.logger(name) SELECT DISTINCT logger_name FROM kv_in_block "
    "ORDER BY 1 ON CONFLICT (name) DO NOTHING";
const char* const kAddBlocks =
    "INSERT INTO kestrovane.block(laptop, local_id, logger, downloaded, string_type, string_serial, "
    "sensor_codes, measure_count, newest_offset) "
    "SELECT $1, i.local_id, l.id, i.downloaded, i.string_type, i.string_serial, i.sensor_codes, "
    "i.measure_count, i.newest_offset FROM kv_in_block i JOIN kestrovane.logger l ON l.name = i.logger_name "
    "ORDER BY i.local_id ON CONFLICT (laptop, local_id) DO NOTHING";
const char* const kAddRecords =
    "INSERT INTO kestrovane.record(logger, time, voltage, readings, block, variant) "
    "SELECT b.logger, r.time, r.voltage, r.readings, b.id, r.variant FROM kv_in_record r "
    "JOIN kestrovane.block b ON b.laptop = $1 AND b.local_id = r.local_block "
    "ORDER BY b.logger, r.time, r.voltage, r.readings ON CONFLICT DO NOTHING";

// How often a batch that met another push in a deadlock is sent again.
constexpr int kBatchTries = 5;

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

Result wrap(PGresult* r) {
    return Result(r, &PQclear);
}

// libpq's messages end in a line break and put hints on lines of their own: one line for a panel.
std::string trimmed(const char* text) {
    std::string s;
    bool blank = false;
    for (const char* p = text ? text : ""; *p; ++p) {
        const bool space = *p == '\n' || *p == '\t' || *p == ' ';
        if (space && !s.empty() && !blank)
            s += ' ';
        else if (!space)
            s += *p;
        blank = space;
    }
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

bool isSqlState(const PGresult* r, const char* state) {
    const char* s = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    return s && std::strcmp(s, state) == 0;
}

void quiet(void*, const char*) {}

// The parameters of one PQexecParams call: texts, and binary bytea values where given.
struct Params {
    std::vector<std::string> values;
    std::vector<int> formats;

    Params& text(std::string v) {
        values.push_back(std::move(v));
        formats.push_back(0);
        return *this;
    }
    Params& binary(std::string v) {
        values.push_back(std::move(v));
        formats.push_back(1);
        return *this;
    }
    Result run(PGconn* conn, const char* sql) const {
        std::vector<const char*> pointers;
        std::vector<int> lengths;
        for (const std::string& v : values) {
            pointers.push_back(v.data());
            lengths.push_back(static_cast<int>(v.size()));
        }
        return wrap(PQexecParams(conn, sql, static_cast<int>(values.size()), nullptr, pointers.data(),
                                 lengths.data(), formats.data(), 1));
    }
};

// A field of a binary result row.
struct Field {
    const char* p;
    int len;
};
Field field(const PGresult* r, int row, int column) {
    return {PQgetvalue(r, row, column), PQgetlength(r, row, column)};
}

} // namespace

CentralArchive::~CentralArchive() {
    close();
}

std::string CentralArchive::addressProblem(const std::string& connection) {
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.c_str(), &message);
    if (!options) {
        const std::string why = message ? trimmed(message) : std::string("нет памяти");
        PQfreemem(message);
        return "Адрес центрального архива не разобран (" + why + ")";
    }
    bool password = false;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        password = password || (std::strcmp(o->keyword, "password") == 0 && o->val && *o->val);
    PQconninfoFree(options);
    if (password)
        return "В адресе центрального архива стоит пароль: уберите его из адреса и запишите в файл паролей "
               "~/.pgpass (или в файл, названный в PGPASSFILE)";
    return std::string();
}

bool CentralArchive::fail(CentralError kind, const std::string& detail) {
    error_ = kind;
    detail_ = detail;
    return false;
}

bool CentralArchive::failFrom(PGresult* result) {
    const std::string detail = trimmed(result ? PQresultErrorMessage(result) : PQerrorMessage(conn_));
    const std::string shown = detail.empty() ? trimmed(PQerrorMessage(conn_)) : detail;
    // The server's own refusals carry an SQLSTATE; libpq's word that the connection broke does not,
    // and the connection may not know it is gone until it is used again.
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    if (PQstatus(conn_) == CONNECTION_BAD || !state)
        return fail(CentralError::Lost, shown);
    if (isSqlState(result, "42501"))
        return fail(CentralError::NotPermitted, shown);
    return fail(CentralError::Failed, shown);
}

bool CentralArchive::exec(const char* sql) {
    Result r = wrap(PQexec(conn_, sql));
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return true;
    return failFrom(r.get());
}

bool CentralArchive::open(const std::string& connection, Mode mode) {
    close();
    mode_ = mode;
    location_ = connection;
    error_ = CentralError::None;
    detail_.clear();
    const std::string problem = addressProblem(connection);
    if (!problem.empty())
        return fail(CentralError::BadAddress, problem);

    // Defaults first: the connection string, expanded in dbname's place, overrides them. The
    // viewer's session is read-only whatever the string says.
    // A network that drops away without a word is noticed within a minute, not after hours.
    std::vector<const char*> keys = {
        "connect_timeout",  "keepalives_idle", "keepalives_interval", "keepalives_count", "tcp_user_timeout",
        "application_name", "dbname"};
    std::vector<const char*> values = {"10", "20", "10", "3", "60000", "kestrovane", connection.c_str()};
    if (mode == Mode::ReadOnly) {
        keys.push_back("options");
        values.push_back("-c default_transaction_read_only=on");
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    conn_ = PQconnectdbParams(keys.data(), values.data(), 1);
    if (!conn_)
        return fail(CentralError::CannotConnect, "нет памяти");
    if (PQstatus(conn_) != CONNECTION_OK) {
        const CentralError kind = PQconnectionNeedsPassword(conn_)  ? CentralError::NeedsPassword
                                  : PQconnectionUsedPassword(conn_) ? CentralError::LoginRefused
                                                                    : CentralError::CannotConnect;
        fail(kind, trimmed(PQerrorMessage(conn_)));
        PQfinish(conn_);
        conn_ = nullptr;
        return false;
    }
    PQsetNoticeProcessor(conn_, quiet, nullptr);
    {
        std::lock_guard<std::mutex> lock(cancelLock_);
        cancel_ = PQgetCancel(conn_);
    }
    if (!prepareSchema()) {
        close();
        return false;
    }
    return true;
}

void CentralArchive::close() {
    {
        std::lock_guard<std::mutex> lock(cancelLock_);
        if (cancel_)
            PQfreeCancel(cancel_);
        cancel_ = nullptr;
    }
    if (conn_)
        PQfinish(conn_);
    conn_ = nullptr;
    staged_ = false;
    laptop_ = 0;
    databaseId_.clear();
}

void CentralArchive::cancel() {
    std::lock_guard<std::mutex> lock(cancelLock_);
    if (!cancel_)
        return;
    char message[256];
    PQcancel(cancel_, message, sizeof message);
}

// The tables' version, 0 when there are none; brought up to date where the role may.
bool CentralArchive::prepareSchema() {
    auto readVersion = [this](int& version) {
        version = 0;
        Result r = wrap(PQexec(conn_, "SELECT to_regclass('kestrovane.schema_version') IS NOT NULL"));
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
            return failFrom(r.get());
        if (std::strcmp(PQgetvalue(r.get(), 0, 0), "t") != 0)
            return true;
        r = wrap(PQexec(conn_, "SELECT coalesce(max(version), 0) FROM kestrovane.schema_version"));
        if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
            return failFrom(r.get());
        version = std::atoi(PQgetvalue(r.get(), 0, 0));
        return true;
    };
    int version = 0;
    if (!readVersion(version))
        return false;
    schemaFound_ = version;
    if (version > kSchemaVersion)
        return fail(CentralError::OtherVersion, "версия таблиц " + std::to_string(version) +
                                                    ", программа знает до " + std::to_string(kSchemaVersion));
    if (version < kSchemaVersion) {
        if (mode_ == Mode::ReadOnly)
            return version == 0
                       ? fail(CentralError::NoTables, "нет таблиц схемы kestrovane")
                       : fail(CentralError::OtherVersion, "версия таблиц " + std::to_string(version) +
                                                              ", нужна " + std::to_string(kSchemaVersion));
        if (!exec("BEGIN") || !exec(kMigrationLock) || !readVersion(version) || !migrate(version) ||
            !exec("COMMIT")) {
            const CentralError kind = error_;
            const std::string detail = detail_;
            if (PQstatus(conn_) == CONNECTION_OK)
                PQclear(PQexec(conn_, "ROLLBACK"));
            if (kind == CentralError::NotPermitted)
                return fail(CentralError::OtherVersion,
                            (schemaFound_ == 0 ? std::string("таблиц еще нет")
                                               : "версия таблиц " + std::to_string(schemaFound_)) +
                                ", нужна " + std::to_string(kSchemaVersion) +
                                "; создать или обновить их может их владелец, запустив от его имени "
                                "kestrovane-collect --central АДРЕС --push-only (" +
                                detail + ")");
            return fail(kind, detail);
        }
    }
    Result r = wrap(PQexec(conn_, "SELECT id FROM kestrovane.this_database"));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        return failFrom(r.get());
    if (PQntuples(r.get()) != 1)
        return fail(CentralError::Failed, "в kestrovane.this_database не одна строка");
    databaseId_ = PQgetvalue(r.get(), 0, 0);
    return true;
}

bool CentralArchive::migrate(int fromVersion) {
    for (const Step& step : kSteps) {
        if (fromVersion >= step.to)
            continue;
        if (!exec(step.sql))
            return false;
        if (!exec(("INSERT INTO kestrovane.schema_version(version) VALUES (" + std::to_string(step.to) + ")")
                      .c_str()))
            return false;
        fromVersion = step.to;
    }
    return true;
}

bool CentralArchive::makeStagingTables() {
    if (staged_)
        return true;
    staged_ = exec(kStaging);
    return staged_;
}

bool CentralArchive::registerLaptop(const std::string& archiveId, const std::string& host) {
    if (!conn_)
        return fail(CentralError::Failed, "нет соединения");
    Params p;
    p.text(archiveId).text(host);
    Result r = p.run(conn_, "INSERT INTO kestrovane.laptop(archive, host) VALUES ($1, $2) "
                            "ON CONFLICT (archive, host) DO NOTHING");
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
        return failFrom(r.get());
    r = p.run(conn_, "SELECT id FROM kestrovane.laptop WHERE archive = $1 AND host = $2");
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        return failFrom(r.get());
    int32_t id = 0;
    if (PQntuples(r.get()) != 1 || !pgbin::int4(PQgetvalue(r.get(), 0, 0), PQgetlength(r.get(), 0, 0), id))
        return fail(CentralError::Failed, "ноутбук не записан");
    laptop_ = id;
    return true;
}

bool CentralArchive::copyIn(const char* sql, std::string& data) {
    Result r = wrap(PQexec(conn_, sql));
    if (PQresultStatus(r.get()) != PGRES_COPY_IN)
        return failFrom(r.get());
    constexpr size_t kChunk = 1 << 20;
    bool sent = true;
    for (size_t at = 0; sent && at < data.size(); at += kChunk)
        sent =
            PQputCopyData(conn_, data.data() + at, static_cast<int>(std::min(kChunk, data.size() - at))) == 1;
    if (PQputCopyEnd(conn_, sent ? nullptr : "the data could not be sent") != 1)
        sent = false;
    bool ok = sent;
    PGresult* last = nullptr;
    // The copy's own result, then the end of the command.
    while (PGresult* next = PQgetResult(conn_)) {
        if (PQresultStatus(next) != PGRES_COMMAND_OK) {
            ok = false;
            if (last)
                PQclear(last);
            last = next;
        } else {
            PQclear(next);
        }
    }
    Result failure = wrap(last);
    return ok || failFrom(failure.get());
}

bool CentralArchive::pushBatch(const OutgoingBatch& batch, BatchCounts& counts) {
    counts = BatchCounts{};
    if (!conn_ || laptop_ == 0)
        return fail(CentralError::Failed, "ноутбук не назван");
    if (batch.blocks.empty())
        return true;
    for (int attempt = 1;; ++attempt) {
        bool retry = false;
        if (pushOnce(batch, counts, retry))
            return true;
        if (PQstatus(conn_) == CONNECTION_OK)
            PQclear(PQexec(conn_, "ROLLBACK"));
        if (!retry || attempt == kBatchTries)
            return false;
    }
}

bool CentralArchive::pushOnce(const OutgoingBatch& batch, BatchCounts& counts, bool& retry) {
    if (!makeStagingTables() || !exec("BEGIN"))
        return false;
    pgbin::CopyWriter blocks;
    for (const OutgoingBlock& b : batch.blocks) {
        blocks.row(8);
        blocks.int8(b.id);
        blocks.bytea(b.LoggerName);
        blocks.timestamp(pgbin::dateTimeToMicros(b.downloadTime));
        blocks.int2(static_cast<int16_t>(b.StringType));
        blocks.int2(b.StringSerial);
        blocks.int2Array(b.SensorCodes.data(), b.SensorCodes.size());
        blocks.int4(b.measureCount);
        blocks.int4(b.newestOffset);
    }
    pgbin::CopyWriter records;
    size_t at = 0;
    for (size_t r = 0; r < batch.recordCount(); ++r) {
        const OutgoingBlock& b = batch.blocks[batch.blockOf[r]];
        const size_t n = b.SensorCodes.size();
        records.row(5);
        records.int8(b.id);
        records.timestamp(pgbin::secondsToMicros(batch.times[r]));
        records.int4(batch.variants[r]);
        records.int2(batch.voltages[r]);
        records.int2Array(batch.readings.data() + at, n);
        at += n;
    }
    if (!copyIn("COPY kv_in_block FROM STDIN (FORMAT binary)", blocks.finish()) ||
        !copyIn("COPY kv_in_record FROM STDIN (FORMAT binary)", records.finish()) || !exec(kAddLoggers))
        return false;
    Params laptop;
    laptop.text(std::to_string(laptop_));
    for (const char* sql : {kAddBlocks, kAddRecords}) {
        Result r = laptop.run(conn_, sql);
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
            retry = isSqlState(r.get(), "40P01") || isSqlState(r.get(), "40001");
            return failFrom(r.get());
        }
        (sql == kAddBlocks ? counts.blocksAdded : counts.recordsAdded) = std::atoll(PQcmdTuples(r.get()));
    }
    Result r = wrap(PQexec(conn_, "COMMIT"));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
        retry = isSqlState(r.get(), "40P01") || isSqlState(r.get(), "40001");
        return failFrom(r.get());
    }
    return true;
}

bool CentralArchive::loggers(std::vector<ArchivedLogger>& out) {
    out.clear();
    if (!conn_)
        return fail(CentralError::Failed, "нет соединения");
    Result r = Params{}.run(
        conn_, "SELECT l.name, count(*), count(*) - count(DISTINCT r.time), min(r.time), "
               "max(r.time) FROM kestrovane.logger l JOIN kestrovane.record r ON r.logger = l.id "
               "GROUP BY l.id ORDER BY l.name");
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        return failFrom(r.get());
    const PGresult* res = r.get();
    for (int i = 0; i < PQntuples(res); ++i) {
        ArchivedLogger l;
        const Field name = field(res, i, 0);
        l.LoggerName.assign(name.p, static_cast<size_t>(name.len));
        int64_t first = 0, last = 0;
        if (!pgbin::int8(field(res, i, 1).p, field(res, i, 1).len, l.recordCount) ||
            !pgbin::int8(field(res, i, 2).p, field(res, i, 2).len, l.conflictCount) ||
            !pgbin::int8(field(res, i, 3).p, field(res, i, 3).len, first) ||
            !pgbin::int8(field(res, i, 4).p, field(res, i, 4).len, last)) {
            out.clear();
            return fail(CentralError::Failed, "ответ сервера не разобран");
        }
        l.firstTime = dt::fromSeconds(pgbin::microsToSeconds(first));
        l.lastTime = dt::fromSeconds(pgbin::microsToSeconds(last));
        out.push_back(std::move(l));
    }
    return true;
}

bool CentralArchive::history(const std::string& loggerName, LoggerHistory& out) {
    out = LoggerHistory{};
    out.LoggerName = loggerName;
    if (!conn_)
        return fail(CentralError::Failed, "нет соединения");
    // One snapshot: a push committing between the queries cannot leave a record without its block.
    if (!exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"))
        return false;
    struct BlockInfo {
        TDateTime downloaded = 0;
        uint8_t StringType = 0;
        int16_t StringSerial = 0;
        std::vector<int16_t> SensorCodes;
    };
    std::unordered_map<int64_t, BlockInfo> blocks;
    bool parsed = true;
    auto done = [&](bool ok) {
        if (PQstatus(conn_) == CONNECTION_OK)
            PQclear(PQexec(conn_, ok ? "COMMIT" : "ROLLBACK"));
        if (!ok)
            out.parts.clear();
        return ok;
    };

    Result r = Params{}.binary(loggerName).run(conn_, "SELECT id FROM kestrovane.logger WHERE name = $1");
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        return done(failFrom(r.get()));
    if (PQntuples(r.get()) == 0)
        return done(true);
    int32_t logger = 0;
    pgbin::int4(PQgetvalue(r.get(), 0, 0), PQgetlength(r.get(), 0, 0), logger);
    Params byLogger;
    byLogger.text(std::to_string(logger));

    r = byLogger.run(conn_,
                     "SELECT id, downloaded, string_type, string_serial, sensor_codes FROM kestrovane.block "
                     "WHERE logger = $1");
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        return done(failFrom(r.get()));
    for (int i = 0; i < PQntuples(r.get()) && parsed; ++i) {
        int64_t id = 0, downloaded = 0;
        int16_t type = 0;
        BlockInfo b;
        parsed = pgbin::int8(field(r.get(), i, 0).p, field(r.get(), i, 0).len, id) &&
                 pgbin::int8(field(r.get(), i, 1).p, field(r.get(), i, 1).len, downloaded) &&
                 pgbin::int2(field(r.get(), i, 2).p, field(r.get(), i, 2).len, type) &&
                 pgbin::int2(field(r.get(), i, 3).p, field(r.get(), i, 3).len, b.StringSerial) &&
                 pgbin::int2Array(field(r.get(), i, 4).p, field(r.get(), i, 4).len, b.SensorCodes);
        b.downloaded = pgbin::microsToDateTime(downloaded);
        b.StringType = static_cast<uint8_t>(type);
        blocks[id] = std::move(b);
    }

    r = byLogger.run(conn_, "SELECT time, voltage, readings, block FROM kestrovane.record WHERE logger = $1 "
                            "ORDER BY time, block, variant");
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
        return done(failFrom(r.get()));
    const PGresult* res = r.get();
    HistoryPart* part = nullptr;
    int64_t lastBlock = 0, lastTime = 0;
    const BlockInfo* info = nullptr;
    std::vector<int16_t> readings;
    for (int i = 0; i < PQntuples(res) && parsed; ++i) {
        int64_t time = 0, block = 0;
        int16_t voltage = 0;
        readings.clear();
        parsed = pgbin::int8(field(res, i, 0).p, field(res, i, 0).len, time) &&
                 pgbin::int2(field(res, i, 1).p, field(res, i, 1).len, voltage) &&
                 pgbin::int2Array(field(res, i, 2).p, field(res, i, 2).len, readings) &&
                 pgbin::int8(field(res, i, 3).p, field(res, i, 3).len, block);
        if (!parsed)
            break;
        if (!info || block != lastBlock) {
            const auto found = blocks.find(block);
            if (found == blocks.end()) {
                parsed = false;
                break;
            }
            info = &found->second;
            lastBlock = block;
            if (!part || part->StringType != info->StringType || part->StringSerial != info->StringSerial ||
                part->SensorCodes != info->SensorCodes) {
                HistoryPart& p = out.parts.emplace_back();
                p.StringType = info->StringType;
                p.StringSerial = info->StringSerial;
                p.SensorCodes = info->SensorCodes;
                p.SensorReadings.resize(p.SensorCodes.size());
                part = &p;
            }
        }
        if (readings.size() != part->SensorCodes.size()) {
            parsed = false;
            break;
        }
        const int64_t seconds = pgbin::microsToSeconds(time);
        part->RecordTimes.push_back(dt::fromSeconds(seconds));
        // The first values of a time are the held ones; any later ones differ from them.
        part->conflict.push_back(i > 0 && seconds == lastTime ? 1 : 0);
        lastTime = seconds;
        part->RecordVoltages.push_back(voltage);
        for (size_t k = 0; k < readings.size(); ++k)
            part->SensorReadings[k].push_back(readings[k]);
        part->DownloadTimes.push_back(info->downloaded);
    }
    if (!parsed)
        return done(fail(CentralError::Failed, "ответ сервера не разобран"));
    return done(true);
}

std::string CentralArchive::errorText() const {
    const std::string where = "Центральный архив " + location_;
    switch (error_) {
    case CentralError::None:
        return std::string();
    case CentralError::BadAddress:
        return detail_;
    case CentralError::NeedsPassword:
        return where +
               " требует пароль: запишите его в файл паролей ~/.pgpass (или в файл, названный в "
               "PGPASSFILE) (" +
               detail_ + ")";
    case CentralError::LoginRefused:
        return where + " не принял вход: проверьте пароль в файле паролей (" + detail_ + ")";
    case CentralError::CannotConnect:
        return where + " недоступен (" + detail_ + ")";
    case CentralError::Lost:
        return "Связь с центральным архивом " + location_ + " прервана (" + detail_ + ")";
    case CentralError::NoTables:
        return "В базе " + location_ + " нет центрального архива (" + detail_ + ")";
    case CentralError::OtherVersion:
        return where + ": таблицы другой версии (" + detail_ + ")";
    case CentralError::NotPermitted:
        return where + ": нет прав (" + detail_ + ")";
    case CentralError::Failed:
        break;
    }
    return "Ошибка центрального архива " + location_ + " (" + detail_ + ")";
}
