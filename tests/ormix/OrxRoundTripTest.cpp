#include "OrxTestSupport.h"

#include "engine/LoggerTable.h"
#include "files/OrxWriter.h"
#include "orxparse/OrxLoader.h"
#include "tests/files/TempDir.h"

#include <gtest/gtest.h>

#include <random>

using namespace orxtest;

namespace {

// A group as a download leaves it: names of every length, Cyrillic comments, full 16-bit ranges.
LoggerTable randomTable(std::mt19937& rng, std::vector<bool>& ticked) {
    LoggerTable t;
    const int count = 6;
    for (int i = 0; i < count; ++i) {
        std::string name;
        const int len = static_cast<int>(rng() % 13);
        for (int c = 0; c < len; ++c)
            name.push_back(c % 3 == 0 ? static_cast<char>(0xC0 + rng() % 64)
                                      : static_cast<char>('0' + rng() % 10));
        std::string comment = i % 2 ? utf8ToCp1251("скважина №") + std::to_string(rng() % 100) + ", (x)" : "";
        t.appendLogger(name, comment);
    }
    t.AllocateTable();
    std::uniform_int_distribution<int> i16(-32768, 32767);
    for (int i = 0; i < count; ++i) {
        LoggerTable::Logger& l = t.loggers[static_cast<size_t>(i)];
        l.StringType = static_cast<uint8_t>(rng() % 256);
        l.StringSerial = static_cast<int16_t>(i16(rng));
        const size_t sensors = i == 4 ? 0 : 1 + rng() % 40; // logger 4 has no sensors and is left out
        for (size_t k = 0; k < sensors; ++k)
            l.SensorCodes.push_back(static_cast<int16_t>(i16(rng)));
        l.SensorReadings.assign(sensors, {});
        const int records = i == 2 ? 0 : static_cast<int>(rng() % 200);
        TDateTime at = dt::encode(2026, 1, 1) + (rng() % 1000);
        std::vector<int16_t> r(sensors);
        for (int n = 0; n < records; ++n) {
            for (auto& v : r)
                v = static_cast<int16_t>(i16(rng));
            at = dt::fromSeconds(dt::toSeconds(at) + 1 + rng() % 7200);
            t.appendRecord(i, at, static_cast<int16_t>(i16(rng)), r.data(), r.size());
        }
    }
    ticked.assign(count, true);
    ticked[5] = false;
    return t;
}

void expectSame(const LoggerTable& table, const std::vector<bool>& ticked, const orx::OrxFile& f) {
    EXPECT_EQ(f.problemCount, 0u) << (f.problems.empty() ? "" : f.problems[0].message);
    EXPECT_EQ(f.badSignatureLines, 0u);
    size_t at = 0;
    for (size_t i = 0; i < table.loggers.size(); ++i) {
        if (!orx::loggerWritten(table, ticked, i))
            continue;
        SCOPED_TRACE(i);
        ASSERT_LT(at, f.loggers.size());
        const LoggerTable::Logger& w = table.loggers[i];
        const orx::Logger& l = f.loggers[at++];
        EXPECT_EQ(l.LoggerName, w.LoggerName);
        EXPECT_EQ(l.LoggerComment, w.LoggerComment);
        EXPECT_EQ(l.StringType, w.StringType);
        EXPECT_EQ(l.StringSerial, w.StringSerial);
        ASSERT_EQ(l.SensorCodes.size(), w.SensorCodes.size());
        for (size_t k = 0; k < w.SensorCodes.size(); ++k)
            EXPECT_EQ(l.SensorCodes[k], w.SensorCodes[k]);
        ASSERT_EQ(l.recordCount(), w.RecordTimes.size());
        ASSERT_EQ(l.sensorCount(), w.SensorReadings.size());
        for (size_t n = 0; n < w.RecordTimes.size(); ++n) {
            EXPECT_EQ(dt::toSeconds(l.RecordTimes[n]), dt::toSeconds(w.RecordTimes[n]));
            EXPECT_EQ(l.RecordVoltages[n], w.RecordVoltages[n]);
            for (size_t k = 0; k < w.SensorReadings.size(); ++k)
                ASSERT_EQ(l.SensorReadings[k][n], w.SensorReadings[k][n]) << n << " " << k;
        }
    }
    EXPECT_EQ(at, f.loggers.size());
}

} // namespace

TEST(OrxRoundTrip, FilesOfTheMainProgramOpenWithEveryValueAndNoWarning) {
    std::mt19937 rng(2026);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::vector<bool> ticked;
        const LoggerTable table = randomTable(rng, ticked);
        // Every other file as written at a signal, its comment line naming partial loggers.
        const std::vector<bool> partial(round % 2 ? ticked.size() : 0, true);
        const std::string text = orx::build(table, ticked, dt::encode(2026, 12, 7, 11, 5, 42), partial);
        const orx::OrxFile f = orx::parseOrx(text, kYear);
        ASSERT_TRUE(f.hasCreated);
        EXPECT_EQ(dt::formatDateTime(f.created), "07.12.26 11:05:42");
        expectSame(table, ticked, f);
    }
}

TEST(OrxRoundTrip, ASavedFileOpensFromDisk) {
    std::mt19937 rng(7);
    std::vector<bool> ticked;
    const LoggerTable table = randomTable(rng, ticked);
    const TempDir tmp;
    const std::string path = tmp.file("сохранено.orx");
    ASSERT_EQ(WriteFile(path, table, ticked, dt::encode(2026, 3, 4, 5, 6, 7)), orx::WriteResult::Ok);
    orx::OrxFile f;
    ASSERT_EQ(orx::loadOrxFile(path, kYear, f), orx::LoadStatus::Ok);
    expectSame(table, ticked, f);
}
