#include "engine/StatusDecoder.h"

#include "engine/Crc8.h"
#include "engine/LoggerTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

int16_t be16s(const uint8_t* p) {
    return static_cast<int16_t>(be16(p));
}

const char* const kErrorTexts[] = {
    "Нет ошибок",
    "Термокоса не подключена (либо замыкание на +5V)",
    "Замыкание линии связи на GND",
    "Емкость линии превышает допустимую",
    "Термокоса не обнаружена (сбой поиска)",
    "Ошибка контрольной суммы при поиске датчиков",
    "Датчики забракованы при чтении калибровочных коэффициентов",
    "В линии нет датчиков измеряющих температуру",
    "Тип термокосы не поддерживается прибором",
    "Количество датчиков превышает допустимое",
    "Карта памяти не обнаружена",
    "Сбой при инициализации карты памяти",
    "Сбой при чтении данных из памяти",
};

} // namespace

bool LoggerDateTime(const uint8_t* date, const uint8_t* time, int currentYear, TDateTime& out) {
    // A year byte above 99 would not read back as a two-digit year.
    if (date[2] > 99)
        return false;
    DateTimeParts p;
    p.day = date[0];
    p.month = date[1];
    p.year = dt::centuryYear(date[2], currentYear);
    p.hour = time[0];
    p.minute = time[1];
    p.second = time[2];
    return dt::tryEncode(p, out);
}

int DecodeStatus(const uint8_t* data, size_t size, const std::string& loggerName, int currentYear,
                 LoggerStatus& out) {
    const size_t L = loggerName.size();
    if (size < L || std::memcmp(data, loggerName.data(), L) != 0)
        return StatusNameMismatch;
    if (size < L + 4)
        return StatusWrongLength;
    const int n = data[L + 3];
    if (size != statusLength(L, n))
        return StatusWrongLength;
    const size_t k = L + 2 * static_cast<size_t>(n); // the second part starts at k + 6
    if (crc8::compute(data, k + 6) != 0)
        return StatusChecksumError;

    LoggerStatus s;
    s.stringType = data[L];
    s.stringSerial = be16s(data + L + 1);
    s.sensorCount = n;
    s.sensorCodes.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        s.sensorCodes[static_cast<size_t>(i)] = be16s(data + L + 4 + 2 * i);

    const uint8_t* tail = data + k + 6;
    s.error = tail[0];
    s.battery = be16(tail + 1) / 100.0;
    const uint8_t* date = tail + 3;
    const uint8_t* time = tail + 6;
    char raw[40];
    std::snprintf(raw, sizeof raw, "%02u.%02u.%02u %02u:%02u:%02u", date[0], date[1], date[2], time[0],
                  time[1], time[2]);
    s.clockRaw = raw;
    TDateTime clock = 0.0;
    s.clockValid = LoggerDateTime(date, time, currentYear, clock);
    if (s.clockValid) {
        s.advanceSeconds = 8 * static_cast<int64_t>(be16(tail + 9));
        s.clock = dt::fromSeconds(dt::toSeconds(clock) + s.advanceSeconds);
    } else {
        s.clock = std::numeric_limits<double>::quiet_NaN();
    }
    s.period = tail[11] == 0 ? 1 : tail[11];
    s.measureCount = be16(tail + 12);
    out = std::move(s);
    return StatusOk;
}

void StoreStatus(LoggerTable& table, int logger, const LoggerStatus& s) {
    if (!table.validIndex(logger))
        return;
    LoggerTable::Logger& l = table.loggers[static_cast<size_t>(logger)];
    l.StringType = s.stringType;
    l.StringSerial = s.stringSerial;
    l.SensorCodes = s.sensorCodes;
    l.SensorReadings.resize(static_cast<size_t>(s.sensorCount));
    StoreStatusFields(table, s);
}

void StoreStatusFields(LoggerTable& table, const LoggerStatus& s) {
    table.StatusSensorCount = s.sensorCount;
    table.StatusError = s.error;
    table.StatusBattery = s.battery;
    table.StatusClock = s.clock;
    table.StatusPeriod = s.period;
    table.StatusMeasureCount = s.measureCount;
}

const char* LoggerErrorText(int code) {
    if (code >= 0 && code <= 12)
        return kErrorTexts[code];
    return "Неизвестная ошибка";
}

bool DecodeRecord(const uint8_t* record, int sensorCount, int currentYear, TDateTime& time, int16_t& voltage,
                  int16_t* readings) {
    const size_t len = static_cast<size_t>(recordLength(sensorCount));
    if (crc8::compute(record, len) != 0)
        return false;
    if (!LoggerDateTime(record, record + 3, currentYear, time))
        return false;
    voltage = be16s(record + 6);
    for (int k = 0; k < sensorCount; ++k)
        readings[k] = be16s(record + 8 + 2 * k);
    return true;
}

RecordBatch DecodeRecords(const uint8_t* data, size_t size, int recordCount, int sensorCount,
                          int currentYear) {
    RecordBatch batch;
    batch.sensorCount = sensorCount;
    if (recordCount <= 0 || sensorCount < 0)
        return batch;
    const size_t len = static_cast<size_t>(recordLength(sensorCount));
    const size_t whole = std::min<size_t>(static_cast<size_t>(recordCount), size / len);
    batch.times.reserve(whole);
    batch.voltages.reserve(whole);
    batch.readings.reserve(whole * static_cast<size_t>(sensorCount));
    std::vector<int16_t> readings(static_cast<size_t>(sensorCount));
    for (size_t r = 0; r < whole; ++r) {
        TDateTime time = 0.0;
        int16_t voltage = 0;
        if (!DecodeRecord(data + r * len, sensorCount, currentYear, time, voltage, readings.data())) {
            ++batch.damaged;
            continue;
        }
        batch.times.push_back(time);
        batch.voltages.push_back(voltage);
        batch.readings.insert(batch.readings.end(), readings.begin(), readings.end());
    }
    batch.damaged += recordCount - static_cast<int>(whole);
    return batch;
}

int StoreRecords(LoggerTable& table, int logger, const RecordBatch& batch) {
    if (!table.validIndex(logger))
        return 0;
    const LoggerTable::Logger& l = table.loggers[static_cast<size_t>(logger)];
    // Records of another sensor count would leave the per-sensor lists out of step.
    if (l.SensorReadings.size() != static_cast<size_t>(batch.sensorCount))
        return 0;
    const size_t n = static_cast<size_t>(batch.sensorCount);
    for (size_t r = 0; r < batch.times.size(); ++r)
        table.appendRecord(logger, batch.times[r], batch.voltages[r], batch.readings.data() + r * n, n);
    return batch.valid();
}
