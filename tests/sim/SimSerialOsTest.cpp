#include "SimTestUtil.h"

namespace {

const char* kOneLogger = R"({"modem": {"ports": [3, 6], "id": "M742 SIM v1.0"},
  "loggers": [{"name": "D0042", "sensors": [1], "generate": {"count": 10}}]})";

TEST(SimSerialOs, OpensOnlyTheModemsPortsByWindowsName) {
    EXPECT_EQ(SimSerialOs::portNumber("\\\\.\\Com6"), 6);
    EXPECT_EQ(SimSerialOs::portNumber("\\\\.\\COM256"), 256);
    EXPECT_EQ(SimSerialOs::portNumber("\\\\.\\cOm12"), 12);
    EXPECT_EQ(SimSerialOs::portNumber("COM6"), 0);
    EXPECT_EQ(SimSerialOs::portNumber("\\\\.\\Com"), 0);
    EXPECT_EQ(SimSerialOs::portNumber("\\\\.\\Com6x"), 0);
    EXPECT_EQ(SimSerialOs::portNumber("\\\\.\\Com-6"), 0);

    FakeClock clock;
    SimDevices dev(parseOrDie(kOneLogger), clock);
    SimSerialOs os(dev);
    EXPECT_FALSE(os.open("\\\\.\\Com2"));
    EXPECT_FALSE(os.isOpen());
    EXPECT_FALSE(os.lastError().empty());
    EXPECT_TRUE(os.open("\\\\.\\COM3"));
    EXPECT_EQ(os.openPort(), 3);
    EXPECT_FALSE(os.open("\\\\.\\Com6")); // one handle at a time, as on Windows
    os.close();
    EXPECT_TRUE(os.open("\\\\.\\com6"));
    ASSERT_EQ(os.openAttempts().size(), 4u);
    EXPECT_FALSE(os.openAttempts()[0].second);
    EXPECT_TRUE(os.openAttempts()[3].second);
}

TEST(SimSerialOs, ClosedPortRefusesEverything) {
    FakeClock clock;
    SimDevices dev(parseOrDie(kOneLogger), clock);
    SimSerialOs os(dev);
    uint8_t b[4] = {'#', '?'};
    uint32_t n = 99, in = 9, out = 9;
    EXPECT_FALSE(os.write(b, 2, n));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(os.read(b, 4, n));
    EXPECT_FALSE(os.queueCounts(in, out));
    EXPECT_FALSE(os.setRts(false));
    EXPECT_FALSE(os.purge(true, true));
    EXPECT_TRUE(os.writes().empty());
}

TEST(SimSerialOs, RtsDecidesBetweenCommandAndAir) {
    Rig rig(kOneLogger);
    rig.openAsProgram(6);
    rig.command(bytesOf("#?"));
    rig.clock.advanceMs(15);
    EXPECT_EQ(rig.readAll(), bytesOf("?M742 SIM v1.0"));
    rig.air(bytesOf("D0042HEADER-"));
    rig.command({'#', 'P', 0xC0});
    ASSERT_EQ(rig.os.commands().size(), 2u);
    EXPECT_EQ(rig.os.commands()[0], bytesOf("#?"));
    EXPECT_EQ(rig.os.commands()[1], (Bytes{'#', 'P', 0xC0}));
    ASSERT_EQ(rig.os.airRequests().size(), 1u);
    EXPECT_EQ(rig.os.airRequests()[0], bytesOf("D0042HEADER-"));
    EXPECT_EQ(rig.devices.powerDbm(), 10);
    // Written while RTS was high, "#?" is air data: no logger has that name, nothing answers.
    rig.air(bytesOf("#?"));
    EXPECT_TRUE(rig.waitReply(5).empty() || rig.devices.airLog().back().answeredBy.empty());
}

TEST(SimSerialOs, IdentificationWaitsWithinFifteenMilliseconds) {
    Rig rig(R"({"modem": {"port": 6, "id": "M742ABCDEFGHIJKLMNO"}})"); // 20-byte reply
    rig.openAsProgram();
    rig.os.setRts(false);
    rig.clock.advanceMs(10);
    uint32_t w = 0, in = 0, out = 0;
    rig.os.write(reinterpret_cast<const uint8_t*>("#?"), 2, w);
    rig.os.queueCounts(in, out);
    EXPECT_EQ(in, 0u); // nothing is there at once: the line takes its time
    rig.clock.advanceMs(15);
    rig.os.queueCounts(in, out);
    EXPECT_EQ(in, 20u);
}

TEST(SimSerialOs, WrongLineSettingsMakeTheModemDeaf) {
    Rig rig(kOneLogger);
    ASSERT_TRUE(rig.os.open("\\\\.\\Com6"));
    SerialLineSettings s; // 9600 by default
    rig.os.configure(s);
    rig.command(bytesOf("#?"));
    EXPECT_TRUE(rig.waitReply(100).empty());
    s.baudRate = 57600;
    rig.os.configure(s);
    rig.command(bytesOf("#?"));
    EXPECT_FALSE(rig.waitReply(100).empty());
}

TEST(SimSerialOs, PurgeDropsArrivedBytesButNotThoseStillOnTheLine) {
    Rig rig(R"({"modem": {"port": 6},
                "loggers": [{"name": "D0042", "sensors": [1, 2, 3, 4], "replyDelayMs": 100, "packetGapMs": 0,
                             "generate": {"count": 500}}]})");
    rig.openAsProgram();
    rig.air(cat(bytesOf("D0042D"), {0x00, 0x00, 0x00, 0x71, '-', '-'}));
    rig.clock.advanceMs(150); // the reply is half way down the line
    uint32_t in = 0, out = 0;
    rig.os.queueCounts(in, out);
    EXPECT_GT(in, 0u);
    EXPECT_TRUE(rig.os.purge(true, true));
    rig.os.queueCounts(in, out);
    EXPECT_EQ(in, 0u);
    const Bytes rest = rig.waitReply();
    EXPECT_FALSE(rest.empty());
    EXPECT_LT(rest.size(), 2034u);
}

TEST(SimSerialOs, ClosingLosesUnreadInput) {
    Rig rig(kOneLogger);
    rig.openAsProgram();
    rig.command(bytesOf("#?"));
    rig.clock.advanceMs(20);
    rig.os.close();
    ASSERT_TRUE(rig.os.open("\\\\.\\Com6"));
    EXPECT_TRUE(rig.readAll().empty());
}

} // namespace
