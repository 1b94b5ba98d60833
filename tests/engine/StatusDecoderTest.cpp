#include "engine/StatusDecoder.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace enginetest;

namespace {

const Bytes kExampleStatus = {0x44, 0x34, 0x30, 0x37, 0x31, 0x35, 0x33, 0x34, 0x38, 0x32, 0x36, 0x03,
                              0x04, 0xd2, 0x02, 0x00, 0x64, 0x00, 0xc8, 0x00, 0xa6, 0x00, 0x01, 0x6d,
                              0x07, 0x0c, 0x1a, 0x0a, 0x14, 0x1e, 0x00, 0x0f, 0x04, 0x01, 0x50};
const Bytes kExampleRecord = {0x07, 0x0c, 0x1a, 0x0a, 0x00, 0x00, 0x01,
                              0x6d, 0xff, 0x38, 0x01, 0x90, 0x00, 0xc6};
const std::string kName = "D4071534826";

int decode(const Bytes& b, LoggerStatus& s, const std::string& name = kName, int year = 2026) {
    return DecodeStatus(b.data(), b.size(), name, year, s);
}

} // namespace

TEST(StatusDecoding, ExampleStatusGivesEveryField) {
    LoggerStatus s;
    ASSERT_EQ(decode(kExampleStatus, s), StatusOk);
    EXPECT_EQ(s.stringType, 3);
    EXPECT_EQ(s.stringSerial, 1234);
    EXPECT_EQ(s.sensorCount, 2);
    EXPECT_EQ(s.sensorCodes, (std::vector<int16_t>{100, 200}));
    EXPECT_EQ(s.error, 0);
    EXPECT_DOUBLE_EQ(s.battery, 3.65);
    EXPECT_TRUE(s.clockValid);
    EXPECT_EQ(dt::formatDateTime(s.clock), "07.12.26 10:22:30"); // 15 x 8 s of advance
    EXPECT_EQ(s.period, 4);
    EXPECT_EQ(s.measureCount, 336);
}

TEST(StatusDecoding, ResultCodesInTheirOrder) {
    LoggerStatus s;
    Bytes b = kExampleStatus;
    b[3] ^= 1;
    EXPECT_EQ(decode(b, s), StatusNameMismatch);
    EXPECT_EQ(decode(Bytes(kExampleStatus.begin(), kExampleStatus.begin() + 5), s), StatusNameMismatch);
    EXPECT_EQ(decode(kExampleStatus, s, "D4071534827"), StatusNameMismatch);

    // The name alone, or the name and too few bytes to hold the sensor count.
    EXPECT_EQ(decode(Bytes(kExampleStatus.begin(), kExampleStatus.begin() + 13), s), StatusWrongLength);
    b = kExampleStatus;
    b.push_back(0);
    EXPECT_EQ(decode(b, s), StatusWrongLength);
    b = kExampleStatus;
    b.pop_back();
    EXPECT_EQ(decode(b, s), StatusWrongLength);
    b = kExampleStatus;
    b[14] = 3; // one sensor more than the bytes carry; checked before the checksum
    EXPECT_EQ(decode(b, s), StatusWrongLength);

    for (size_t i : {11u, 12u, 16u, 19u, 20u}) {
        b = kExampleStatus;
        b[i] ^= 0x40;
        EXPECT_EQ(decode(b, s), StatusChecksumError) << "byte " << i;
    }
}

TEST(StatusDecoding, UnprotectedTailIsTakenAsItComes) {
    StatusImage img;
    img.name = "L1";
    img.error = 12;
    img.battery = 0xFFFF;
    img.period = 0;
    img.count = 0xFFFF;
    img.serial = -5;
    img.codes = {-1, 32767};
    LoggerStatus s;
    ASSERT_EQ(decode(statusBytes(img), s, "L1"), StatusOk);
    EXPECT_EQ(s.error, 12);
    EXPECT_DOUBLE_EQ(s.battery, 655.35);
    EXPECT_EQ(s.period, 1);
    EXPECT_EQ(s.measureCount, 65535);
    EXPECT_EQ(s.stringSerial, -5);
    EXPECT_EQ(s.sensorCodes, (std::vector<int16_t>{-1, 32767}));

    img.battery = 0;
    ASSERT_EQ(decode(statusBytes(img), s, "L1"), StatusOk);
    EXPECT_EQ(s.battery, 0.0);
}

TEST(StatusDecoding, NoSensorsAndAnElevenCharacterName) {
    StatusImage img;
    img.name = kName;
    img.codes = {};
    img.error = 1;
    const Bytes b = statusBytes(img);
    ASSERT_EQ(b.size(), 31u); // shorter than 33 bytes, still a whole status
    LoggerStatus s;
    ASSERT_EQ(decode(b, s), StatusOk);
    EXPECT_EQ(s.sensorCount, 0);
    EXPECT_EQ(s.error, 1);
}

TEST(StatusDecoding, ImpossibleClockIsKeptApart) {
    const uint8_t bad[][6] = {{0, 12, 26, 10, 0, 0},  {7, 13, 26, 10, 0, 0}, {7, 12, 100, 10, 0, 0},
                              {7, 12, 26, 24, 0, 0},  {31, 4, 26, 1, 0, 0},  {29, 2, 25, 1, 0, 0},
                              {7, 12, 26, 10, 60, 0}, {7, 12, 26, 10, 0, 60}};
    for (const auto& c : bad) {
        StatusImage img;
        img.name = "L1";
        std::copy(c, c + 6, img.clock);
        img.advance = 10;
        LoggerStatus s;
        ASSERT_EQ(decode(statusBytes(img), s, "L1"), StatusOk);
        EXPECT_FALSE(s.clockValid);
        EXPECT_TRUE(std::isnan(s.clock));
    }
    StatusImage img;
    img.name = "L1";
    const uint8_t raw[6] = {0, 13, 26, 24, 0, 0};
    std::copy(raw, raw + 6, img.clock);
    LoggerStatus s;
    ASSERT_EQ(decode(statusBytes(img), s, "L1"), StatusOk);
    EXPECT_EQ(s.clockRaw, "00.13.26 24:00:00");

    // 29 February exists in 2028.
    const uint8_t leap[6] = {29, 2, 28, 23, 59, 59};
    std::copy(leap, leap + 6, img.clock);
    ASSERT_EQ(decode(statusBytes(img), s, "L1"), StatusOk);
    EXPECT_TRUE(s.clockValid);
}

TEST(StatusDecoding, CenturyComesFromTheCurrentYear) {
    LoggerStatus s;
    ASSERT_EQ(decode(kExampleStatus, s, kName, 2199), StatusOk);
    EXPECT_EQ(dt::decode(s.clock).year, 2126);
    ASSERT_EQ(decode(kExampleStatus, s, kName, 2000), StatusOk);
    EXPECT_EQ(dt::decode(s.clock).year, 2026);
}

TEST(StatusDecoding, AdvanceCarriesOverMidnight) {
    StatusImage img;
    img.name = "L1";
    const uint8_t c[6] = {31, 12, 26, 23, 59, 0};
    std::copy(c, c + 6, img.clock);
    img.advance = 0xFFFF; // 524280 s, just over six days
    LoggerStatus s;
    ASSERT_EQ(decode(statusBytes(img), s, "L1"), StatusOk);
    EXPECT_EQ(dt::toSeconds(s.clock) - dt::toSeconds(dt::encode(2026, 12, 31, 23, 59, 0)), 524280);
}

TEST(StatusStorage, SizesCodesAndListsToTheSensorCount) {
    LoggerTable t;
    t.appendLogger("L1", "");
    t.AllocateTable();
    LoggerStatus s;
    s.sensorCount = 3;
    s.sensorCodes = {1, 2, 3};
    s.period = 6;
    s.measureCount = 77;
    s.stringSerial = 9;
    StoreStatus(t, 0, s);
    EXPECT_EQ(t.loggers[0].SensorCodes.size(), 3u);
    EXPECT_EQ(t.loggers[0].SensorReadings.size(), 3u);
    EXPECT_EQ(t.StatusPeriod, 6);
    EXPECT_EQ(t.StatusMeasureCount, 77);
    EXPECT_EQ(t.loggers[0].StringSerial, 9);

    s.sensorCount = 1;
    s.sensorCodes = {5};
    StoreStatus(t, 0, s);
    EXPECT_EQ(t.loggers[0].SensorCodes, (std::vector<int16_t>{5}));
    EXPECT_EQ(t.loggers[0].SensorReadings.size(), 1u);
    EXPECT_TRUE(t.invariantsHold());

    StoreStatus(t, 3, s); // no such logger: nothing happens
    StoreStatus(t, -1, s);
    EXPECT_TRUE(t.invariantsHold());
}

TEST(RecordDecoding, ExampleRecord) {
    TDateTime time = 0;
    int16_t voltage = 0;
    int16_t readings[2] = {};
    ASSERT_TRUE(DecodeRecord(kExampleRecord.data(), 2, 2026, time, voltage, readings));
    EXPECT_EQ(dt::formatDateTime(time), "07.12.26 10:00:00");
    EXPECT_EQ(voltage, 365);
    EXPECT_EQ(readings[0], -200);
    EXPECT_EQ(readings[1], 400);
}

TEST(RecordDecoding, DamagedRecordsAreDroppedTheOthersKeptInOrder) {
    const std::vector<Bytes> recs = makeRecords(dt::encode(2026, 12, 7, 12, 0, 0), 10, 3, 2);
    Bytes block;
    for (size_t i = 0; i < recs.size(); ++i) {
        Bytes r = recs[i];
        if (i == 2)
            r[9] ^= 0x01;
        block.insert(block.end(), r.begin(), r.end());
    }
    const RecordBatch b = DecodeRecords(block.data(), block.size(), 10, 2, 2026);
    EXPECT_EQ(b.valid(), 9);
    EXPECT_EQ(b.damaged, 1);
    for (size_t i = 1; i < b.times.size(); ++i)
        EXPECT_LT(b.times[i - 1], b.times[i]);
    EXPECT_EQ(b.readings.size(), 18u);

    LoggerTable t;
    t.appendLogger("L1", "");
    t.AllocateTable();
    t.loggers[0].SensorReadings.resize(2);
    t.loggers[0].SensorCodes = {1, 2};
    EXPECT_EQ(StoreRecords(t, 0, b), 9);
    EXPECT_EQ(t.LoadedRecordCount, 9);
    EXPECT_EQ(t.loggers[0].SensorReadings[1].size(), 9u);
    EXPECT_TRUE(t.invariantsHold());

    // A batch of another sensor count would put the lists out of step.
    t.loggers[0].SensorReadings.resize(3);
    t.loggers[0].SensorCodes = {1, 2, 3};
    t.dropRecords(0);
    EXPECT_EQ(StoreRecords(t, 0, b), 0);
    EXPECT_EQ(t.LoadedRecordCount, 0);
}

TEST(RecordDecoding, RecordsThatPassTheChecksumButHoldNoDate) {
    for (int n : {0, 1, 2, 16}) {
        const Bytes zero(static_cast<size_t>(recordLength(n)), 0);
        ASSERT_EQ(crc8::compute(zero.data(), zero.size()), 0);
        const RecordBatch b = DecodeRecords(zero.data(), zero.size(), 1, n, 2026);
        EXPECT_EQ(b.valid(), 0) << n;
        EXPECT_EQ(b.damaged, 1);
    }
    // Erased memory: find a sensor count for which all-0xFF passes the checksum.
    int found = -1;
    for (int n = 0; n < 256 && found < 0; ++n) {
        const Bytes ff(static_cast<size_t>(recordLength(n)), 0xFF);
        if (crc8::compute(ff.data(), ff.size()) == 0)
            found = n;
    }
    ASSERT_GE(found, 0);
    const Bytes ff(static_cast<size_t>(recordLength(found)), 0xFF);
    EXPECT_EQ(DecodeRecords(ff.data(), ff.size(), 1, found, 2026).valid(), 0);

    RecordImage r;
    r.stamp[1] = 13;
    r.readings = {1};
    const Bytes month13 = recordBytes(r);
    EXPECT_EQ(DecodeRecords(month13.data(), month13.size(), 1, 1, 2026).valid(), 0);
}

TEST(RecordDecoding, ShortBufferCountsMissingRecordsAsDamaged) {
    const std::vector<Bytes> recs = makeRecords(dt::encode(2026, 12, 7, 12, 0, 0), 2, 3, 1);
    Bytes block = recs[0];
    block.insert(block.end(), recs[1].begin(), recs[1].begin() + 5);
    const RecordBatch b = DecodeRecords(block.data(), block.size(), 2, 1, 2026);
    EXPECT_EQ(b.valid(), 1);
    EXPECT_EQ(b.damaged, 1);
}

TEST(ErrorTexts, KnownAndUnknownCodes) {
    EXPECT_STREQ(LoggerErrorText(0), "Нет ошибок");
    EXPECT_STREQ(LoggerErrorText(1), "Термокоса не подключена (либо замыкание на +5V)");
    EXPECT_STREQ(LoggerErrorText(12), "Сбой при чтении данных из памяти");
    EXPECT_STREQ(LoggerErrorText(13), "Неизвестная ошибка");
    EXPECT_STREQ(LoggerErrorText(255), "Неизвестная ошибка");
    EXPECT_STREQ(LoggerErrorText(-1), "Неизвестная ошибка");
}
