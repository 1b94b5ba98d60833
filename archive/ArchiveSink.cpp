#include "archive/ArchiveSink.h"

#include "engine/LoggerTable.h"
#include "engine/StatusDecoder.h"
#include "platform/Clock.h"

bool ArchiveSink::open(const std::string& path) {
    if (archive_.open(path, RecordArchive::Mode::ReadWrite))
        return true;
    giveUp();
    return false;
}

void ArchiveSink::giveUp() {
    if (!reported_ && report_)
        report_(archive_.errorText());
    reported_ = true;
    archive_.close();
}

void ArchiveSink::blockAccepted(const LoggerTable& table, int row, const RecordBatch& batch, int measureCount,
                                int newestOffset) {
    if (!archive_.isOpen() || !table.validIndex(row))
        return;
    const LoggerTable::Logger& l = table.loggers[static_cast<size_t>(row)];
    // The batch's sensor count is the status's, which the table's codes were just set from.
    if (l.SensorCodes.size() != static_cast<size_t>(batch.sensorCount))
        return;
    const ArchiveIdentity identity{l.LoggerName, l.StringType, l.StringSerial, l.SensorCodes};
    ArchiveRecords records;
    records.times = batch.times.data();
    records.voltages = batch.voltages.data();
    records.readings = batch.readings.data();
    records.count = batch.times.size();
    records.sensorCount = batch.sensorCount;
    records.measureCount = measureCount;
    records.newestOffset = newestOffset;
    StoreCounts counts;
    if (!archive_.storeBlock(identity, clock_.now(), records, counts))
        giveUp();
}

std::optional<KeptNewest> ArchiveSink::newestKept(const std::string& loggerName) {
    if (!archive_.isOpen())
        return std::nullopt;
    std::optional<NewestPlace> place;
    if (!archive_.newestPlace(loggerName, place)) {
        giveUp();
        return std::nullopt;
    }
    if (!place)
        return std::nullopt;
    return KeptNewest{place->time, place->measureCount, place->offset};
}
