#include "ormix/ArchiveHistory.h"

#include "engine/LoggerTable.h"

#include <algorithm>

namespace ormix {
namespace {

// The file's four opening lines, then per written logger its empty, name and string lines.
constexpr uint64_t kFileHeadLines = 4;
constexpr uint64_t kLoggerHeadLines = 3;

// The writer's rule: a logger goes into the file with at least one per-sensor list.
bool written(const HistoryPart& part) {
    return !part.SensorReadings.empty();
}

} // namespace

orx::OrxFile historyFile(const LoggerHistory& history) {
    orx::OrxFile file;
    uint64_t line = kFileHeadLines;
    for (const HistoryPart& part : history.parts) {
        orx::Logger& l = file.loggers.emplace_back();
        l.LoggerName = history.LoggerName;
        l.StringType = part.StringType;
        l.StringSerial = part.StringSerial;
        l.SensorCodes.assign(part.SensorCodes.begin(), part.SensorCodes.end());
        l.RecordTimes = part.RecordTimes;
        l.RecordVoltages.assign(part.RecordVoltages.begin(), part.RecordVoltages.end());
        for (const auto& readings : part.SensorReadings)
            l.SensorReadings.emplace_back(readings.begin(), readings.end());
        l.conflict = part.conflict;
        const size_t n = part.recordCount();
        l.signatureOk.assign(n, 1);
        // A part the file cannot hold has no lines; it still shows, with its string.
        l.recordLines.assign(n, 0);
        if (written(part)) {
            l.emptyLine = line + 1;
            l.nameLine = line + 2;
            l.stringLine = line + 3;
            line += kLoggerHeadLines;
            for (size_t r = 0; r < n; ++r)
                l.recordLines[r] = static_cast<uint32_t>(++line);
        }
        if (n > 0) {
            const auto [lo, hi] = std::minmax_element(l.RecordTimes.begin(), l.RecordTimes.end());
            l.firstTime = *lo;
            l.lastTime = *hi;
        }
    }
    file.lineCount = line;
    return file;
}

orx::WriteResult saveHistory(const std::string& path, const LoggerHistory& history, TDateTime savedAt) {
    LoggerTable table;
    for (size_t i = 0; i < history.parts.size(); ++i)
        table.appendLogger(history.LoggerName, std::string());
    table.AllocateTable();
    for (size_t i = 0; i < history.parts.size(); ++i) {
        const HistoryPart& part = history.parts[i];
        LoggerTable::Logger& row = table.loggers[i];
        row.StringType = part.StringType;
        row.StringSerial = part.StringSerial;
        row.SensorCodes = part.SensorCodes;
        row.RecordTimes = part.RecordTimes;
        row.RecordVoltages = part.RecordVoltages;
        row.SensorReadings = part.SensorReadings;
        table.LoadedRecordCount += static_cast<int32_t>(part.recordCount());
    }
    return WriteFile(path, table, std::vector<bool>(table.loggers.size(), true), savedAt);
}

} // namespace ormix
