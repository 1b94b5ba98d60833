// The central archive at scale, against a private server on this machine with its own defaults
// (fsync on): 1,000,000 records of 16 sensors from a local archive of 4 KB blocks pushed as the
// program pushes them, then one logger's 100,000-record history read back as the viewer reads it.
#include "archive/RecordArchive.h"
#include "central/CentralArchive.h"
#include "central/CentralPush.h"
#include "ormix/ArchiveHistory.h"
#include "tests/central/PgTestServer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main() {
    constexpr int kLoggers = 10, kRecords = 100000, kSensors = 16;
    constexpr int kPerBlock = 4096 / (2 * kSensors + 10);
    const std::string missing = pgtest::Server::missing();
    if (!missing.empty()) {
        std::printf("%s\n", missing.c_str());
        return 1;
    }
    pgtest::Server server(true);
    std::string why, out;
    if (!server.start(why) || !server.psqlFile(KV_SOURCE_DIR "/central/kestrovane-central.sql", out)) {
        std::printf("server: %s%s\n", why.c_str(), out.c_str());
        return 1;
    }
    const std::string file = server.folder() + "/archive.sqlite";
    RecordArchive local;
    if (!local.open(file)) {
        std::printf("open failed: %s\n", local.errorText().c_str());
        return 1;
    }
    std::vector<TDateTime> times;
    std::vector<int16_t> voltages, readings;
    StoreCounts c;
    for (int i = 0; i < kLoggers; ++i) {
        ArchiveIdentity id;
        id.LoggerName = "D40715" + std::to_string(34800 + i);
        id.StringType = 3;
        id.StringSerial = static_cast<int16_t>(i);
        for (int k = 0; k < kSensors; ++k)
            id.SensorCodes.push_back(static_cast<int16_t>(100 + k));
        for (int r0 = 0; r0 < kRecords; r0 += kPerBlock) {
            times.clear();
            voltages.clear();
            readings.clear();
            for (int r = r0; r < std::min(r0 + kPerBlock, kRecords); ++r) {
                times.push_back(dt::encode(2000, 1, 1) + r / 8.0);
                voltages.push_back(static_cast<int16_t>(360 + r % 9));
                for (int k = 0; k < kSensors; ++k)
                    readings.push_back(static_cast<int16_t>((r * 31 + k * 977 + i) % 65536 - 32768));
            }
            if (!local.storeBlock(id, 46000.5,
                                  {times.data(), voltages.data(), readings.data(), times.size(), kSensors},
                                  c)) {
                std::printf("store failed: %s\n", local.errorText().c_str());
                return 1;
            }
        }
    }
    std::printf("local archive: %d records of %d sensors in blocks of %d\n", kLoggers * kRecords, kSensors,
                kPerBlock);

    // The owner makes the tables; the laptop pushes as the role with SELECT and INSERT only.
    server.sql("postgres", "ALTER ROLE kestrovane_push PASSWORD 'bench'");
    std::FILE* pass = std::fopen((server.folder() + "/pgpass").c_str(), "w");
    std::fputs("*:*:*:kestrovane_push:bench\n", pass);
    std::fclose(pass);
    std::filesystem::permissions(server.folder() + "/pgpass",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    setenv("PGPASSFILE", (server.folder() + "/pgpass").c_str(), 1);
    CentralArchive owner;
    if (!owner.open(server.url(pgtest::kOwner, "kestrovane"), CentralArchive::Mode::Push)) {
        std::printf("owner: %s\n", owner.errorText().c_str());
        return 1;
    }
    owner.close();

    CentralArchive central;
    auto t0 = std::chrono::steady_clock::now();
    if (!central.open(server.url(pgtest::kPusher, "kestrovane"), CentralArchive::Mode::Push)) {
        std::printf("connect: %s\n", central.errorText().c_str());
        return 1;
    }
    PushOptions options;
    options.host = hostName();
    const PushReport report = pushArchive(local, central, options);
    const double pushed = seconds(t0);
    std::printf("push: %lld records in %lld blocks, %.2f s = %.0f records/s%s%s\n",
                static_cast<long long>(report.recordsSent), static_cast<long long>(report.blocksSent), pushed,
                report.recordsSent / pushed, report.ok ? "" : ", failed: ", report.errorText.c_str());
    central.close();
    std::printf("database %s\n",
                server.value("kestrovane", "SELECT pg_size_pretty(pg_database_size('kestrovane'))").c_str());

    t0 = std::chrono::steady_clock::now();
    PushReport again;
    if (central.open(server.url(pgtest::kPusher, "kestrovane"), CentralArchive::Mode::Push))
        again = pushArchive(local, central, options);
    std::printf("push again: %lld records sent, %.3f s\n", static_cast<long long>(again.recordsSent),
                seconds(t0));
    central.close();

    CentralArchive reader;
    t0 = std::chrono::steady_clock::now();
    if (!reader.open(server.url(pgtest::kPusher, "kestrovane"), CentralArchive::Mode::ReadOnly)) {
        std::printf("reader: %s\n", reader.errorText().c_str());
        return 1;
    }
    std::printf("viewer's connection: %.3f s\n", seconds(t0));
    t0 = std::chrono::steady_clock::now();
    std::vector<ArchivedLogger> list;
    reader.loggers(list);
    std::printf("list of %zu loggers: %.3f s\n", list.size(), seconds(t0));
    t0 = std::chrono::steady_clock::now();
    LoggerHistory h;
    const bool ok = reader.history("D4071534807", h);
    const double read = seconds(t0);
    const orx::OrxFile shown = ormix::historyFile(h);
    std::printf("history of one logger: %zu records in %.3f s, shown as a file in %.3f s\n", h.recordCount(),
                read, seconds(t0));
    return ok && report.ok && h.recordCount() == kRecords && shown.recordCount() == kRecords ? 0 : 1;
}
