// How long the viewer takes to open a large measurement file, and how much memory it holds: a file
// of about 100 MB (a million record lines) is written, then read back through the parser.
#include "orxparse/OrxLoader.h"
#include "orxparse/OrxParser.h"

#include "engine/Crc8.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Peak resident memory in kB, since the last reset of the peak.
long peakKb() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmHWM:") {
            long kb = 0;
            in >> kb;
            return kb;
        }
    }
    return -1;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string pad(std::string s, size_t w, char c = ' ') {
    if (s.size() < w)
        s.insert(0, w - s.size(), c);
    return s;
}

// Ten loggers of 100,000 records with nine sensors each, written the way the main program does.
uint64_t writeFile(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "//[orx] Created by Kestrovane 07.12.26 11:05:42\r\n//\r\n//\r\n//\r\n";
    constexpr int kSensors = 9;
    std::string block;
    for (int g = 0; g < 10; ++g) {
        uint8_t crc = 0;
        auto heading = [&](const std::string& l) {
            out << l << "\r\n";
            crc = crc8::update(crc, l.data(), l.size());
            crc = crc8::update(crc, "\r\n", 2);
        };
        heading("");
        heading("D407 15 3482" + std::to_string(g) + " \xA9 \xF1\xEA\xE2\xE0\xE6\xE8\xED\xE0 " +
                std::to_string(g));
        std::string s = "T3   SN 0123" + std::to_string(g) + std::string(9, ' ');
        for (int k = 0; k < kSensors; ++k)
            s += pad(std::to_string(100 + k), 7);
        heading(s);
        const TDateTime start = dt::encode(2026, 1, 1);
        for (int n = 0; n < 100000; ++n) {
            std::string r = dt::formatDateTime(start + n / 96.0) + pad(std::to_string(300 + n % 70) + "V", 5);
            for (int k = 0; k < kSensors; ++k)
                r += pad(std::to_string((n * 7 + k * 131) % 4000 - 2000), 7);
            crc = crc8::update(crc, r.data(), r.size());
            block += r + " (" + pad(std::to_string(crc), 3, '0') + ")\r\n";
            crc = 0;
            if (block.size() > (1 << 20)) {
                out << block;
                block.clear();
            }
        }
        out << block;
        block.clear();
    }
    return static_cast<uint64_t>(out.tellp());
}

} // namespace

int main() {
    char dir[] = "/tmp/bench-orx-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string path = std::string(dir) + "/big.orx";
    const uint64_t bytes = writeFile(path);
    resetPeak();
    const long before = peakKb();

    const auto t0 = std::chrono::steady_clock::now();
    orx::OrxFile f;
    const orx::LoadStatus status = orx::loadOrxFile(path, 2025, f);
    const auto t1 = std::chrono::steady_clock::now();
    const long peak = peakKb();

    const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    const double fileMb = bytes / 1e6;
    const double usedMb = (peak - before) * 1024 / 1e6;
    std::printf("orx parse: %.1f MB, %zu records, %llu bad signatures, %llu problems\n", fileMb,
                f.recordCount(), static_cast<unsigned long long>(f.badSignatureLines),
                static_cast<unsigned long long>(f.problemCount));
    std::printf("orx parse: %.0f ms (limit 2000), peak memory %.1f MB = %.2f x file (limit 2)\n", ms, usedMb,
                usedMb / fileMb);
    std::remove(path.c_str());
    rmdir(dir);
    return status == orx::LoadStatus::Ok && f.recordCount() == 1000000 && f.problemCount == 0 ? 0 : 1;
}
