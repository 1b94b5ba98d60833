// Status and record decoding fed arbitrary bytes: never out of bounds, and whatever is taken
// keeps the logger table consistent.
#include "engine/LoggerTable.h"
#include "engine/StatusDecoder.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const size_t nameLength = data[0] % 12;
    const int year = 2000 + data[1];
    data += 2;
    size -= 2;
    const std::string name(reinterpret_cast<const char*>(data), std::min(size, nameLength));

    LoggerStatus status;
    const int r = DecodeStatus(data, size, name, year, status);
    if (r != StatusOk && r != StatusNameMismatch && r != StatusWrongLength && r != StatusChecksumError)
        std::abort();
    LoggerTable table;
    table.appendLogger(name, "");
    table.AllocateTable();
    int sensors = size > 0 ? data[size - 1] % 64 : 0;
    if (r == StatusOk) {
        if (size != statusLength(name.size(), status.sensorCount) ||
            status.sensorCodes.size() != static_cast<size_t>(status.sensorCount) || status.period < 1 ||
            status.measureCount < 0 || status.measureCount > 65535 ||
            status.clockValid == std::isnan(status.clock))
            std::abort();
        StoreStatus(table, 0, status);
        sensors = status.sensorCount;
    } else {
        table.loggers[0].SensorCodes.assign(static_cast<size_t>(sensors), 0);
        table.loggers[0].SensorReadings.resize(static_cast<size_t>(sensors));
    }

    const int count = static_cast<int>(size / static_cast<size_t>(recordLength(sensors))) + (size % 3);
    const RecordBatch batch = DecodeRecords(data, size, count, sensors, year);
    if (batch.valid() + batch.damaged != count)
        std::abort();
    for (TDateTime t : batch.times)
        if (!std::isfinite(t))
            std::abort();
    StoreRecords(table, 0, batch);
    if (!table.invariantsHold() || table.LoadedRecordCount != batch.valid())
        std::abort();
    return 0;
}
