#pragma once
#include "archive/ArchiveReader.h"

#include <cstdint>
#include <mutex>
#include <string>

struct OutgoingBatch;
struct pg_conn;
struct pg_result;
struct pg_cancel;

enum class CentralError {
    None,
    BadAddress,    // the connection string does not parse, or carries a password
    NeedsPassword, // the server asks for a password that no password file gives
    LoginRefused,  // a password was given and the login still refused
    CannotConnect, // no server there, or it refused the connection
    Lost,          // the connection went away in the middle of a command
    NoTables,      // (reading) the database holds no central archive
    OtherVersion,  // a later program's tables, or earlier ones this role may not bring up to date
    NotPermitted,  // the role lacks a right it needs
    Failed,        // any other refusal of the server
};

struct BatchCounts {
    int64_t blocksAdded = 0;
    int64_t recordsAdded = 0; // the rest of the batch's records were there already
};

// A team's archive in PostgreSQL: what every laptop pushed, readable as the local archive is. The
// program needs SELECT and INSERT on its tables only; the tables' owner brings them up to date.
// A failure never throws: each call reports it through its result, and errorText() says it.
class CentralArchive final : public IArchiveReader {
public:
    enum class Mode {
        Push,     // makes or brings up the tables where the role may, then takes batches
        ReadOnly, // the viewer's: every transaction of the session read-only
    };
    // Bumped with each migration step in CentralArchive.cpp.
    static constexpr int kSchemaVersion = 1;

    CentralArchive() = default;
    ~CentralArchive() override;
    CentralArchive(const CentralArchive&) = delete;
    CentralArchive& operator=(const CentralArchive&) = delete;

    // A libpq connection string or URL without a password (that comes from ~/.pgpass, PGPASSFILE or
    // the service file); connect_timeout defaults to 10 s.
    bool open(const std::string& connection, Mode mode);
    void close();
    bool isOpen() const { return conn_ != nullptr; }
    // The database's own id, drawn when its tables were made: what the local archive's marks name.
    const std::string& databaseId() const { return databaseId_; }

    // Names the laptop whose blocks follow: the local archive's id with the computer's name, so
    // that a copy of one archive on another computer pushes as a laptop of its own.
    bool registerLaptop(const std::string& archiveId, const std::string& host);
    // One batch in one transaction: blocks and records the database holds already are left out, a
    // record of a held time with other values is kept beside it. A deadlock with another laptop's
    // push is retried. On failure the database keeps nothing of the batch.
    bool pushBatch(const OutgoingBatch& batch, BatchCounts& counts);

    bool loggers(std::vector<ArchivedLogger>& out) override;
    bool history(const std::string& loggerName, LoggerHistory& out) override;

    // From any thread: stops the command in progress, which then fails.
    void cancel();

    CentralError error() const { return error_; }
    std::string errorText() const override;
    std::string location() const override { return location_; }

    // The connection string's fault as a line (UTF-8, Russian): a password in it, or a parse error;
    // empty when it can be used.
    static std::string addressProblem(const std::string& connection);

private:
    bool fail(CentralError kind, const std::string& detail);
    bool failFrom(pg_result* result);
    bool exec(const char* sql);
    bool prepareSchema();
    bool migrate(int fromVersion);
    bool makeStagingTables();
    bool pushOnce(const OutgoingBatch& batch, BatchCounts& counts, bool& retry);
    bool copyIn(const char* sql, std::string& data);

    pg_conn* conn_ = nullptr;
    Mode mode_ = Mode::Push;
    std::string location_;
    std::string databaseId_;
    int64_t laptop_ = 0;
    bool staged_ = false;
    CentralError error_ = CentralError::None;
    std::string detail_;
    int schemaFound_ = 0;

    std::mutex cancelLock_;
    pg_cancel* cancel_ = nullptr;
};
