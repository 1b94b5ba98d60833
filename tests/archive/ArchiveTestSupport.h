#pragma once
#include "archive/RecordArchive.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

// Another program's connection to the same file.
class RawConnection {
public:
    explicit RawConnection(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
    ~RawConnection() { sqlite3_close(db_); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;
    int exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }

private:
    sqlite3* db_ = nullptr;
};

// A block as the decoder hands it over: count records an hour apart from firstHour of a fixed day,
// values derived from seed so that two blocks agree exactly where their hours and seeds do.
struct TestBlock {
    ArchiveIdentity identity;
    std::vector<TDateTime> times;
    std::vector<int16_t> voltages;
    std::vector<int16_t> readings;

    ArchiveRecords view() const {
        return {times.data(), voltages.data(), readings.data(), times.size(),
                static_cast<int>(identity.SensorCodes.size())};
    }
};

inline TDateTime testHour(int hour) {
    return dt::encode(2026, 1, 1) + hour / 24.0;
}

inline TestBlock testBlock(const std::string& name, int sensors, int firstHour, int count, int seed = 0) {
    TestBlock b;
    b.identity.LoggerName = name;
    b.identity.StringType = 3;
    b.identity.StringSerial = 1234;
    for (int k = 0; k < sensors; ++k)
        b.identity.SensorCodes.push_back(static_cast<int16_t>(100 + k));
    for (int i = 0; i < count; ++i) {
        const int h = firstHour + i;
        b.times.push_back(testHour(h));
        b.voltages.push_back(static_cast<int16_t>(360 + (h + seed) % 7));
        for (int k = 0; k < sensors; ++k)
            b.readings.push_back(static_cast<int16_t>((h * 977 + k * 131 + seed) % 65536 - 32768));
    }
    return b;
}

inline StoreCounts store(RecordArchive& a, const TestBlock& b, TDateTime downloaded = 46000.5) {
    StoreCounts c;
    const bool ok = a.storeBlock(b.identity, downloaded, b.view(), c);
    if (!ok)
        c.added = -1;
    return c;
}
