// Writing a measurement file for 50 loggers x 20,000 records x 32 sensors: formatting speed,
// then a real save through the temporary file, with the process's peak memory.
#include "engine/LoggerTable.h"
#include "files/OrxWriter.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/resource.h>

namespace {

class CountingSink : public fileio::IByteSink {
public:
    bool write(const char*, size_t size) override {
        bytes += size;
        return true;
    }
    size_t bytes = 0;
};

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long peakRssMb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss / 1024;
}

} // namespace

int main() {
    const int loggers = 50, records = 20000, sensors = 32;
    LoggerTable table;
    std::vector<bool> ticked;
    std::vector<int16_t> readings(sensors);
    for (int i = 0; i < loggers; ++i) {
        table.appendLogger("D40715" + std::to_string(10000 + i), "bench logger");
        LoggerTable::Logger& l = table.loggers.back();
        l.StringType = 3;
        l.StringSerial = static_cast<int16_t>(i);
        l.SensorCodes.assign(sensors, 100);
        l.SensorReadings.resize(sensors);
        for (auto& list : l.SensorReadings)
            list.reserve(records);
        l.RecordTimes.reserve(records);
        l.RecordVoltages.reserve(records);
        for (int r = 0; r < records; ++r) {
            for (int k = 0; k < sensors; ++k)
                readings[k] = static_cast<int16_t>((r * 31 + k * 977 + i) % 65536 - 32768);
            table.appendRecord(i, 46000 + r / 24.0, static_cast<int16_t>(360 + r % 9), readings.data(),
                               sensors);
        }
        ticked.push_back(true);
    }
    const double tableMb = (static_cast<double>(loggers) * records * (sensors * 2 + 8 + 2)) / 1e6;
    const long rssBefore = peakRssMb();

    CountingSink sink;
    auto t0 = std::chrono::steady_clock::now();
    orx::write(table, ticked, 46363.5, sink);
    const double tf = seconds(t0);
    std::printf("orx formatting: %.1f MB in %.3f s = %.1f MB/s\n", sink.bytes / 1e6, tf,
                sink.bytes / 1e6 / tf);

    const std::string path = (std::filesystem::temp_directory_path() / "kv-bench-orx.orx").string();
    t0 = std::chrono::steady_clock::now();
    const orx::WriteResult result = WriteFile(path, table, ticked, 46363.5);
    const double tw = seconds(t0);
    std::printf("orx save to %s: %s, %.1f MB in %.3f s = %.1f MB/s (fsync included)\n", path.c_str(),
                result == orx::WriteResult::Ok ? "ok" : "FAILED", sink.bytes / 1e6, tw,
                sink.bytes / 1e6 / tw);
    std::printf("table %.1f MB; peak RSS %ld MB before writing, %ld MB after\n", tableMb, rssBefore,
                peakRssMb());
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return result == orx::WriteResult::Ok ? 0 : 1;
}
