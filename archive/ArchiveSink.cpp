#include "archive/ArchiveSink.h"

#include "engine/LoggerTable.h"
#include "engine/StatusDecoder.h"
#include "platform/Clock.h"

#include <algorithm>
#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {
fs::path toPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
} // namespace

ArchiveSink::FileId ArchiveSink::fileId(const std::string& path) {
    FileId id;
#ifdef _WIN32
    // An open SQLite file cannot be deleted on Windows; one that is gone is all there is to see.
    std::error_code ec;
    id.exists = fs::exists(toPath(path), ec);
    if (id.exists) {
        id.size = static_cast<int64_t>(fs::file_size(toPath(path), ec));
        id.modified = static_cast<int64_t>(fs::last_write_time(toPath(path), ec).time_since_epoch().count());
    }
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return id;
    id.exists = true;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.inode = static_cast<uint64_t>(st.st_ino);
    id.size = static_cast<int64_t>(st.st_size);
    id.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
    return id;
}

bool ArchiveSink::open(const std::string& path) {
    archive_.close();
    path_ = path;
    refused_.reset();
    storePending();
    return archive_.isOpen();
}

void ArchiveSink::failed(int kind, const std::string& text) {
    failing_ = true;
    if (kind == toldKind_)
        return;
    toldKind_ = kind;
    if (report_)
        report_(text);
}

void ArchiveSink::recovered() {
    const bool tell = heldBack_;
    failing_ = false;
    heldBack_ = false;
    toldKind_ = kNothingTold;
    if (tell && report_)
        report_(kAllArchivedText);
}

bool ArchiveSink::makeFolder() {
    const fs::path folder = toPath(path_).parent_path();
    if (folder.empty())
        return true;
    std::error_code made, found;
    fs::create_directories(folder, made);
    if (fs::is_directory(folder, found))
        return true;
    const std::u8string name = folder.u8string();
    failed(kFolderFailed, "Не удается создать папку архива " + std::string(name.begin(), name.end()) + " (" +
                              (made ? made : found).message() + ")");
    return false;
}

bool ArchiveSink::tryOpen() {
    if (path_.empty())
        return false;
    if (refused_ && *refused_ == fileId(path_))
        return false;
    refused_.reset();
    if (!makeFolder())
        return false;
    if (!archive_.open(path_, RecordArchive::Mode::ReadWrite)) {
        const ArchiveError e = archive_.error();
        failed(static_cast<int>(e), archive_.errorText());
        if (e == ArchiveError::Damaged || e == ArchiveError::NotAnArchive || e == ArchiveError::OtherVersion)
            refused_ = fileId(path_);
        return false;
    }
    opened_ = fileId(path_);
    return true;
}

// Open, and still the file that was opened: a deleted or replaced archive would swallow the
// records unseen, so it is told and made anew at its path.
bool ArchiveSink::usable() {
    if (archive_.isOpen()) {
        if (fileId(path_).sameFile(opened_))
            return true;
        // Closing first: the old file's log must be gone before a new archive takes its name.
        archive_.close();
        failing_ = true;
        toldKind_ = kNothingTold;
        if (report_)
            report_("Архив " + path_ + " удален или заменен во время работы: записи идут в новый архив");
    }
    return tryOpen();
}

// One pass over the blocks held back, oldest first, stopping at the first that cannot be stored
// so that they reach the archive in the order they came. True when none is left.
bool ArchiveSink::storePending() {
    lastTryMs_ = clock_.tickCount();
    if (!usable()) {
        heldBack_ = heldBack_ || !queue_.empty() || !statuses_.empty();
        return queue_.empty() && statuses_.empty();
    }
    while (!statuses_.empty()) {
        if (!archive_.storeStatus(statuses_.front())) {
            failed(static_cast<int>(archive_.error()), archive_.errorText());
            heldBack_ = true;
            return false;
        }
        statuses_.pop_front();
    }
    while (!queue_.empty()) {
        const Pending& p = queue_.front();
        ArchiveRecords records;
        records.times = p.times.data();
        records.voltages = p.voltages.data();
        records.readings = p.readings.data();
        records.count = p.times.size();
        records.sensorCount = p.sensorCount;
        records.measureCount = p.measureCount;
        records.newestOffset = p.newestOffset;
        StoreCounts counts;
        if (!archive_.storeBlock(p.identity, p.downloadTime, records, counts)) {
            failed(static_cast<int>(archive_.error()), archive_.errorText());
            heldBack_ = true;
            return false;
        }
        queuedRecords_ -= static_cast<int>(p.times.size());
        queue_.pop_front();
    }
    recovered();
    return true;
}

void ArchiveSink::retry() {
    if (failing_ && clock_.tickCount() - lastTryMs_ >= kRetryIntervalMs)
        storePending();
}

bool ArchiveSink::flush(uint32_t timeoutMs) {
    const uint32_t start = clock_.tickCount();
    while (!storePending()) {
        const uint32_t waited = clock_.tickCount() - start;
        if (waited >= timeoutMs)
            break;
        clock_.sleepMs(std::min(kRetryIntervalMs / 5, timeoutMs - waited));
    }
    return queue_.empty();
}

void ArchiveSink::blockAccepted(const LoggerTable& table, int row, const RecordBatch& batch, int measureCount,
                                int newestOffset) {
    if (!table.validIndex(row) || batch.times.empty())
        return;
    const LoggerTable::Logger& l = table.loggers[static_cast<size_t>(row)];
    // The batch's sensor count is the status's, which the table's codes were just set from.
    if (l.SensorCodes.size() != static_cast<size_t>(batch.sensorCount))
        return;
    Pending p;
    p.identity = ArchiveIdentity{l.LoggerName, l.StringType, l.StringSerial, l.SensorCodes, l.LoggerComment};
    p.downloadTime = clock_.now();
    p.times = batch.times;
    p.voltages = batch.voltages;
    p.readings = batch.readings;
    p.sensorCount = batch.sensorCount;
    p.measureCount = measureCount;
    p.newestOffset = newestOffset;
    queuedRecords_ += static_cast<int>(p.times.size());
    queue_.push_back(std::move(p));
    storePending();
}

void ArchiveSink::keepStatus(const StatusRead& read) {
    // A small queue of its own: a busy archive takes the readings later, in their order.
    constexpr size_t kMaxHeldStatuses = 10000;
    if (statuses_.size() < kMaxHeldStatuses)
        statuses_.push_back(read);
    storePending();
}

std::vector<StatusRead> ArchiveSink::statusHistory(const std::string& loggerName) {
    std::vector<StatusRead> out;
    if (usable() && !archive_.statusHistory(loggerName, out))
        failed(static_cast<int>(archive_.error()), archive_.errorText());
    return out;
}

std::optional<int> ArchiveSink::keptBetween(const std::string& loggerName, TDateTime from, TDateTime to) {
    // Records held back are not kept yet: what an erase would lose of them is in memory only.
    if (!usable())
        return std::nullopt;
    int count = 0;
    if (!archive_.recordsBetween(loggerName, from, to, count)) {
        failed(static_cast<int>(archive_.error()), archive_.errorText());
        return std::nullopt;
    }
    return count;
}

std::optional<KeptNewest> ArchiveSink::newestKept(const std::string& loggerName) {
    if (!usable())
        return std::nullopt;
    std::optional<NewestPlace> place;
    if (!archive_.newestPlace(loggerName, place)) {
        failed(static_cast<int>(archive_.error()), archive_.errorText());
        return std::nullopt;
    }
    if (!place)
        return std::nullopt;
    return KeptNewest{place->time, place->measureCount, place->offset};
}
