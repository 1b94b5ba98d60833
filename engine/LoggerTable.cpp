#include "engine/LoggerTable.h"

#include "engine/UiSeams.h"

#include <algorithm>
#include <cassert>

namespace {
const StateLook kLooks[] = {
    {"Логгер не опрашивался", 0, 0, 0},       {"Логгер не обнаружен", 255, 0, 0},
    {"Статус логгера загружен", 255, 255, 0}, {"Загрузка измерений выполнена частично", 0, 128, 0},
    {"Задача выполнена", 0, 255, 0},          {"Измерения отсутствуют", 255, 255, 255},
};
} // namespace

const StateLook& stateLook(int code) {
    return (code >= 0 && code <= 5) ? kLooks[code] : kLooks[0];
}

const char* LoggerTable::confirmationText() {
    return "Действие приведет к потере загруженных данных.\r\nПродолжить?";
}

bool LoggerTable::confirmLoss(bool ask) {
    // Asked after every save too, the question would teach a "Да" that one day loses a download.
    if (!ask || !hasUnsavedRecords())
        return true;
    return messages_ == nullptr || messages_->question(confirmationText());
}

bool LoggerTable::ResetTable(bool ask) {
    if (!confirmLoss(ask))
        return false;
    LoadedRecordCount = 0;
    if (rows_)
        rows_->removeRows();
    loggers.clear();
    LoggerCount = 0;
    checkInvariants();
    return true;
}

bool LoggerTable::ClearLoadedData(bool ask) {
    if (!confirmLoss(ask))
        return false;
    LoadedRecordCount = 0;
    if (rows_)
        rows_->clearRowValues();
    for (Logger& l : loggers) {
        // Release the memory, not only the contents: a group may have held millions of readings.
        std::vector<int16_t>().swap(l.SensorCodes);
        std::vector<TDateTime>().swap(l.RecordTimes);
        std::vector<int16_t>().swap(l.RecordVoltages);
        std::vector<std::vector<int16_t>>().swap(l.SensorReadings);
    }
    checkInvariants();
    return true;
}

void LoggerTable::appendLogger(std::string name, std::string comment) {
    Logger l;
    l.LoggerName = std::move(name);
    l.LoggerComment = std::move(comment);
    loggers.push_back(std::move(l));
    LoggerCount = static_cast<int32_t>(loggers.size());
}

void LoggerTable::AllocateTable() {
    LoggerCount = static_cast<int32_t>(loggers.size());
    for (Logger& l : loggers) {
        l.LoggerState = NotPolled;
        l.StringSerial = 0;
        l.StringType = 0;
        l.SensorCodes.clear();
        l.RecordTimes.clear();
        l.RecordVoltages.clear();
        l.SensorReadings.clear();
    }
    LoadedRecordCount = 0;
    checkInvariants();
    if (rows_)
        rows_->buildRows(*this);
}

void LoggerTable::appendRecord(int i, TDateTime time, int16_t voltage, const int16_t* readings,
                               size_t count) {
    if (validIndex(i))
        insertRecord(i, loggers[static_cast<size_t>(i)].RecordTimes.size(), time, voltage, readings, count);
}

void LoggerTable::insertRecord(int i, size_t at, TDateTime time, int16_t voltage, const int16_t* readings,
                               size_t count) {
    if (!validIndex(i))
        return;
    Logger& l = loggers[static_cast<size_t>(i)];
    if (count != l.SensorReadings.size())
        return; // a record must fill every per-sensor list, or the lists fall out of step
    at = std::min(at, l.RecordTimes.size());
    const auto pos = static_cast<std::ptrdiff_t>(at);
    l.RecordTimes.insert(l.RecordTimes.begin() + pos, time);
    l.RecordVoltages.insert(l.RecordVoltages.begin() + pos, voltage);
    for (size_t k = 0; k < count; ++k)
        l.SensorReadings[k].insert(l.SensorReadings[k].begin() + pos, readings[k]);
    ++LoadedRecordCount;
    ++recordsArrived;
}

void LoggerTable::dropRecords(int i) {
    if (!validIndex(i))
        return;
    Logger& l = loggers[static_cast<size_t>(i)];
    LoadedRecordCount -= static_cast<int32_t>(l.RecordTimes.size());
    l.GivenUpRecords = 0;
    l.RecordTimes.clear();
    l.RecordVoltages.clear();
    for (auto& list : l.SensorReadings)
        list.clear();
    checkInvariants();
}

bool LoggerTable::invariantsHold() const {
    if (LoggerCount != static_cast<int32_t>(loggers.size()))
        return false;
    int64_t total = 0;
    for (const Logger& l : loggers) {
        if (l.RecordVoltages.size() != l.RecordTimes.size())
            return false;
        for (const auto& list : l.SensorReadings)
            if (list.size() != l.RecordTimes.size())
                return false;
        if (!l.RecordTimes.empty() && l.SensorReadings.size() != l.SensorCodes.size())
            return false;
        total += static_cast<int64_t>(l.RecordTimes.size());
    }
    return total == LoadedRecordCount;
}

void LoggerTable::checkInvariants() const {
    assert(invariantsHold());
}
