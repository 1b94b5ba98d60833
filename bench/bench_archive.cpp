// The record archive at scale: 1,000,000 records of 16 sensors stored block by block as downloads
// store them (one transaction per 4 KB block), then one logger's 100,000-record history read back.
#include "archive/RecordArchive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Block {
    std::vector<TDateTime> times;
    std::vector<int16_t> voltages;
    std::vector<int16_t> readings;
};

// Records r0 .. r0 + count - 1 of a logger, three hours apart.
void fill(Block& b, int logger, int r0, int count, int sensors) {
    b.times.clear();
    b.voltages.clear();
    b.readings.clear();
    for (int r = r0; r < r0 + count; ++r) {
        b.times.push_back(dt::encode(2000, 1, 1) + r / 8.0);
        b.voltages.push_back(static_cast<int16_t>(360 + r % 9));
        for (int k = 0; k < sensors; ++k)
            b.readings.push_back(static_cast<int16_t>((r * 31 + k * 977 + logger) % 65536 - 32768));
    }
}

} // namespace

int main() {
    constexpr int kLoggers = 10, kRecords = 100000, kSensors = 16;
    constexpr int kPerBlock = 4096 / (2 * kSensors + 10); // records in a 4 KB block
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "kv-bench-archive.sqlite";
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(file.string() + suffix);

    RecordArchive archive;
    if (!archive.open(file.string())) {
        std::printf("open failed: %s\n", archive.errorText().c_str());
        return 1;
    }
    std::vector<ArchiveIdentity> ids(kLoggers);
    for (int i = 0; i < kLoggers; ++i) {
        ids[i].LoggerName = "D40715" + std::to_string(34800 + i);
        ids[i].StringType = 3;
        ids[i].StringSerial = static_cast<int16_t>(i);
        for (int k = 0; k < kSensors; ++k)
            ids[i].SensorCodes.push_back(static_cast<int16_t>(100 + k));
    }

    std::vector<double> blockTimes;
    Block b;
    StoreCounts c;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kLoggers; ++i) {
        for (int r = 0; r < kRecords; r += kPerBlock) {
            fill(b, i, r, std::min(kPerBlock, kRecords - r), kSensors);
            const auto tb = std::chrono::steady_clock::now();
            if (!archive.storeBlock(
                    ids[i], 46000.5,
                    {b.times.data(), b.voltages.data(), b.readings.data(), b.times.size(), kSensors}, c)) {
                std::printf("store failed: %s\n", archive.errorText().c_str());
                return 1;
            }
            blockTimes.push_back(seconds(tb));
        }
    }
    const double store = seconds(t0);
    std::sort(blockTimes.begin(), blockTimes.end());
    std::printf("store %d records of %d sensors in %zu blocks of %d: %.2f s = %.0f records/s\n",
                kLoggers * kRecords, kSensors, blockTimes.size(), kPerBlock, store,
                kLoggers * kRecords / store);
    std::printf("per 4 KB block: mean %.2f ms, median %.2f ms, 99th %.2f ms, max %.2f ms\n",
                1e3 * store / blockTimes.size(), 1e3 * blockTimes[blockTimes.size() / 2],
                1e3 * blockTimes[blockTimes.size() * 99 / 100], 1e3 * blockTimes.back());

    // A download of records already held, as with "only new" unticked.
    fill(b, 4, kRecords / 2, kPerBlock, kSensors);
    auto tb = std::chrono::steady_clock::now();
    archive.storeBlock(ids[4], 46001.5,
                       {b.times.data(), b.voltages.data(), b.readings.data(), b.times.size(), kSensors}, c);
    std::printf("a block already held: %.2f ms (%d duplicates)\n", 1e3 * seconds(tb), c.duplicates);
    archive.close();
    std::printf("file %.1f MB\n", std::filesystem::file_size(file) / 1e6);

    tb = std::chrono::steady_clock::now();
    if (!archive.open(file.string())) {
        std::printf("reopen failed: %s\n", archive.errorText().c_str());
        return 1;
    }
    std::printf("open with structure check: %.3f s\n", seconds(tb));
    tb = std::chrono::steady_clock::now();
    std::vector<ArchivedLogger> list;
    archive.loggers(list);
    std::printf("list of %zu loggers: %.3f s\n", list.size(), seconds(tb));
    tb = std::chrono::steady_clock::now();
    LoggerHistory h;
    const bool ok = archive.history(ids[7].LoggerName, h);
    std::printf("history of one logger: %zu records in %.3f s\n", h.recordCount(), seconds(tb));
    archive.close();
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(file.string() + suffix);
    return ok && h.recordCount() == kRecords ? 0 : 1;
}
