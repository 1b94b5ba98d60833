#include "SimTestUtil.h"

#include "engine/Crc8.h"
#include "sim/SimLogger.h"

namespace {

const char* kExampleLogger = R"({
  "seed": 7,
  "modem": {"port": 6, "channel": 12},
  "loggers": [{
    "name": "D4071534826", "channel": 12, "stringType": 3, "serial": 1234, "sensors": [100, 200],
    "error": 0, "battery": 365, "advance": 15, "period": 4, "level": -58, "firstSequence": 16,
    "generate": {"count": 336}
  }]
})";

const Bytes kExampleStatus = {0x44, 0x34, 0x30, 0x37, 0x31, 0x35, 0x33, 0x34, 0x38, 0x32, 0x36, 0x03,
                              0x04, 0xd2, 0x02, 0x00, 0x64, 0x00, 0xc8, 0x00, 0xa6, 0x00, 0x01, 0x6d,
                              0x07, 0x0c, 0x1a, 0x0a, 0x14, 0x1e, 0x00, 0x0f, 0x04, 0x01, 0x50};

TEST(WireFormat, StatusReplyOfTheExampleLoggerIsByteExact) {
    Rig rig(kExampleLogger, dt::encode(2026, 12, 7, 10, 20, 30));
    rig.openAsProgram();
    rig.command({'#', 'C', 12});
    rig.air(bytesOf("D4071534826HEADER-"));
    const auto packets = splitPackets(rig.waitReply());
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].length, 16 + 3);
    EXPECT_EQ(packets[0].payload, bytesOf("D4071534826START"));
    EXPECT_EQ(packets[1].length, 35 + 3);
    EXPECT_EQ(packets[1].payload, kExampleStatus);
    EXPECT_EQ(packets[0].seq, 16);
    EXPECT_EQ(packets[1].seq, 17);
    for (const Packet& p : packets) {
        EXPECT_EQ(p.strength, 0x20); // -58 dBm
        EXPECT_GE(p.status, 0x80);
    }
    // The protected part checks to zero, as the program tests it.
    EXPECT_EQ(crc8::compute(kExampleStatus.data(), 11 + 4 + 4 + 2), 0);
}

TEST(WireFormat, ExampleRecordIsByteExact) {
    SimRecord r;
    const uint8_t stamp[6] = {7, 12, 26, 10, 0, 0};
    std::copy(stamp, stamp + 6, r.stamp);
    r.voltage = 365;
    r.readings = {-200, 400};
    const Bytes expected = {0x07, 0x0c, 0x1a, 0x0a, 0x00, 0x00, 0x01,
                            0x6d, 0xff, 0x38, 0x01, 0x90, 0x00, 0xc6};
    EXPECT_EQ(SimLogger::recordBytesFor(r), expected);
}

TEST(WireFormat, ShortNameStartPacketIsFourteenBytes) {
    Rig rig(R"({"modem": {"port": 6},
                "loggers": [{"name": "D0042", "sensors": [1, 2, 3, 4], "level": -122, "firstSequence": 5,
                             "generate": {"count": 500}}]})");
    rig.openAsProgram();
    rig.air(cat(bytesOf("D0042D"), {0x00, 0x87, 0x00, 0x71, '-', '-'}));
    const Bytes reply = rig.waitReply();
    ASSERT_GE(reply.size(), 14u);
    const Bytes head(reply.begin(), reply.begin() + 14);
    const Bytes expected = {0x0D, 5, 0x44, 0x30, 0x30, 0x34, 0x32, 0x53, 0x54, 0x41, 0x52, 0x54, 0xA0, 0x80};
    EXPECT_EQ(head, expected);
    // 113 records of 18 bytes follow in 59-byte payloads.
    const auto packets = splitPackets(reply);
    size_t data = 0;
    for (size_t i = 1; i < packets.size(); ++i) {
        EXPECT_LE(packets[i].payload.size(), 59u);
        data += packets[i].payload.size();
    }
    EXPECT_EQ(data, 2034u);
    EXPECT_EQ(packets.size(), 1 + (2034 + 58) / 59);
}

TEST(WireFormat, StrengthByteInvertsTheLevelFormula) {
    for (int s = -128; s <= 127; ++s) {
        const double level = s / 2.0 - 74;
        EXPECT_EQ(SimDevices::strengthByte(level), static_cast<uint8_t>(static_cast<int8_t>(s))) << level;
    }
    EXPECT_EQ(SimDevices::strengthByte(-200), 0x80); // clamped, not wrapped
    EXPECT_EQ(SimDevices::strengthByte(+50), 0x7F);
}

} // namespace
