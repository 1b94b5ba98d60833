#pragma once
#include "archive/RecordArchive.h"
#include "engine/RecordSink.h"

#include <functional>
#include <string>

class IClock;

// The archive as the task engine's record sink. A damaged, locked or failing archive never holds
// a download up: the first failure is told once through `report` and the archive is left alone
// from then on.
class ArchiveSink final : public IRecordSink {
public:
    ArchiveSink(IClock& clock, std::function<void(const std::string& text)> report)
        : clock_(clock), report_(std::move(report)) {}

    // Opens (or creates) the archive; false, told once, when it cannot be used.
    bool open(const std::string& path);
    RecordArchive& archive() { return archive_; }

    void blockAccepted(const LoggerTable& table, int row, const RecordBatch& batch, int measureCount,
                       int newestOffset) override;
    std::optional<KeptNewest> newestKept(const std::string& loggerName) override;

private:
    void giveUp();
    IClock& clock_;
    std::function<void(const std::string&)> report_;
    RecordArchive archive_;
    bool reported_ = false;
};
