#pragma once
#include "archive/RecordArchive.h"
#include "engine/RecordSink.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class IClock;

// The archive as the task engine's record sink. A busy, failing or vanished archive never holds a
// download up: each accepted block is queued, stored at once when the archive takes it, and
// otherwise kept back and tried again, in order, at the next block and whenever the owner asks.
// What goes wrong is told through `report`: each failure once, an archive deleted or replaced on
// disk, and the moment every record held back has reached the archive.
class ArchiveSink final : public IRecordSink {
public:
    static constexpr const char* kAllArchivedText = "Все записи в архиве";
    // Between two tries of a busy archive, in retry() and flush().
    static constexpr uint32_t kRetryIntervalMs = 500;

    ArchiveSink(IClock& clock, std::function<void(const std::string& text)> report)
        : clock_(clock), report_(std::move(report)) {}

    // Opens (or creates, with its folder) the archive at path; false, told, when it cannot be used
    // now. The path is kept: blocks accepted meanwhile wait for it.
    bool open(const std::string& path);
    RecordArchive& archive() { return archive_; }

    void blockAccepted(const LoggerTable& table, int row, const RecordBatch& batch, int measureCount,
                       int newestOffset) override;
    std::optional<KeptNewest> newestKept(const std::string& loggerName) override;
    std::optional<int> keptBetween(const std::string& loggerName, TDateTime from, TDateTime to) override;
    int unarchivedRecords() const override { return queuedRecords_; }

    // The loggers' health: a status read or a clock setting is kept like a block, held back while
    // the archive is busy; what the archive holds of a logger's readings.
    void keepStatus(const StatusRead& read);
    std::vector<StatusRead> statusHistory(const std::string& loggerName);

    // A failure is not over: the archive cannot be used, or records wait for it.
    bool failing() const { return failing_; }
    // Tries the blocks held back again, at most once per kRetryIntervalMs; cheap to call often.
    void retry();
    // Tries the blocks held back again, and keeps trying on the clock for up to timeoutMs while
    // any remain. True when none remain.
    bool flush(uint32_t timeoutMs = 0);

private:
    struct Pending {
        ArchiveIdentity identity;
        TDateTime downloadTime = 0.0;
        std::vector<TDateTime> times;
        std::vector<int16_t> voltages;
        std::vector<int16_t> readings;
        int sensorCount = 0;
        int measureCount = -1;
        int newestOffset = -1;
    };
    // What tells one file at the path from another; on Windows only whether it is there.
    struct FileId {
        bool exists = false;
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modified = 0;
        bool sameFile(const FileId& o) const {
            return exists && o.exists && device == o.device && inode == o.inode;
        }
        bool operator==(const FileId&) const = default;
    };
    static FileId fileId(const std::string& path);

    bool storePending();
    bool usable();
    bool tryOpen();
    bool makeFolder();
    void failed(int kind, const std::string& text);
    void recovered();

    IClock& clock_;
    std::function<void(const std::string&)> report_;
    RecordArchive archive_;
    std::string path_;
    std::deque<Pending> queue_;
    std::deque<StatusRead> statuses_;
    int queuedRecords_ = 0;
    uint32_t lastTryMs_ = 0;
    bool failing_ = false;
    bool heldBack_ = false; // a block waited past its own store: the recovery is worth telling
    int toldKind_ = kNothingTold;
    FileId opened_;
    // A file refused as damaged, foreign or of another version is tried again only once it changes.
    std::optional<FileId> refused_;

    static constexpr int kNothingTold = -2;
    static constexpr int kFolderFailed = -1;
};
