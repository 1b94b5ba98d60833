#include "OrxTestSupport.h"

#include "orxparse/OrxCsv.h"
#include "orxparse/OrxLoader.h"
#include "tests/files/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace orxtest;

TEST(OrxCsv, TheExampleFileByteForByte) {
    const orx::OrxFile f = orx::parseOrx(exampleFile(), kYear);
    const std::string want =
        "Логгер,Строка,Время,Напряжение (В),Подпись,Датчик 1 (код 100),Датчик 2 (код 200)\r\n"
        "D4071534826,8,2026-12-07T10:00:00,3.65,верна,-200,400\r\n"
        "D4071534826,9,2026-12-07T14:00:00,3.64,верна,-198,401\r\n";
    EXPECT_EQ(orx::toCsv(f, {0}), want);
}

TEST(OrxCsv, AllLoggersWithDifferentSensorsQuotedNamesAndABrokenSignature) {
    TestLogger a;
    a.name = utf8ToCp1251("Скв,\"1\"");
    a.codes = {100, 200};
    a.times = {dt::encode(2026, 1, 2, 3, 4, 5)};
    a.voltages = {365};
    a.readings = {{1, 2}};
    TestLogger b;
    b.name = "B";
    b.codes = {100, 300, 400};
    b.times = {dt::encode(2026, 1, 2, 3, 4, 6)};
    b.voltages = {5};
    b.readings = {{-1, -2, -3}};
    std::string text = buildFile({a, b});
    text.replace(text.rfind("-3 ("), 2, "-4"); // the last record no longer matches its signature
    const orx::OrxFile f = orx::parseOrx(text, kYear);
    // Every sensor column names the codes the loggers give it; a Russian spreadsheet's style.
    const std::string want =
        "Логгер;Строка;Время;Напряжение (В);Подпись;Датчик 1 (код 100);Датчик 2 (коды 200/300);Датчик 3 "
        "(код 400)\r\n"
        "\"Скв,\"\"1\"\"\";8;2026-01-02T03:04:05;3,65;верна;1;2;\r\n"
        "B;12;2026-01-02T03:04:06;0,05;нарушена;-1;-2;-4\r\n";
    EXPECT_EQ(orx::toCsv(f, {0, 1}, {';', true}), want);
    // Only the chosen logger, and indices that name no logger are passed over.
    EXPECT_EQ(orx::toCsv(f, {1, 7}), "Логгер,Строка,Время,Напряжение (В),Подпись,Датчик 1 (код 100),"
                                     "Датчик 2 (код 300),Датчик 3 (код 400)\r\n"
                                     "B,12,2026-01-02T03:04:06,0.05,нарушена,-1,-2,-4\r\n");
}

TEST(OrxLoader, ReadsFilesInPiecesAndRefusesWhatIsNoFile) {
    const TempDir tmp;
    const std::u8string u8dir = tmp.path().u8string();
    const std::string dir(u8dir.begin(), u8dir.end());
    const std::string path = tmp.file("big.orx");
    // More than one read piece, so records straddle the pieces.
    TestLogger l;
    l.name = "D4071534826";
    l.codes = {1, 2, 3};
    for (int n = 0; n < 40000; ++n) {
        l.times.push_back(dt::encode(2026, 1, 1) + n / 1440.0);
        l.voltages.push_back(300 + n % 100);
        l.readings.push_back({n % 1000, -(n % 777), n % 32768});
    }
    {
        std::ofstream out(tmp.at("big.orx"), std::ios::binary);
        out << buildFile({l});
    }
    orx::OrxFile f;
    ASSERT_EQ(orx::loadOrxFile(path, kYear, f), orx::LoadStatus::Ok);
    EXPECT_EQ(f.problemCount, 0u);
    ASSERT_EQ(f.loggers.size(), 1u);
    ASSERT_EQ(f.loggers[0].recordCount(), 40000u);
    EXPECT_EQ(f.loggers[0].SensorReadings[2][39999], 39999 % 32768);
    EXPECT_EQ(f.loggers[0].RecordTimes[39999], l.times[39999]);

    EXPECT_EQ(orx::loadOrxFile(dir, kYear, f), orx::LoadStatus::NotRegular);
    EXPECT_EQ(orx::loadOrxFile(tmp.file("none.orx"), kYear, f), orx::LoadStatus::CannotOpen);
#ifndef _WIN32
    const std::string fifo = tmp.file("fifo.orx");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(orx::loadOrxFile(fifo, kYear, f), orx::LoadStatus::NotRegular); // would block if opened
#endif
}
