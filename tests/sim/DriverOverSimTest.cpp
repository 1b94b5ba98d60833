#include "SimTestUtil.h"

#include "serial/TSerialPortDriver.h"

namespace {

// The program's own driver, set up as at start-up, against the in-process modem.
struct DriverRig {
    explicit DriverRig(const std::string& json)
        : clock(), devices(parseOrDie(json), clock), os(devices), drv(os, clock) {
        drv.setBaudRateValue(57600);
        drv.setHwFlow(hfNONE);
        drv.setEnableDTROnOpen(false);
        drv.setOutputTimeout(50);
        drv.setInputTimeout(50);
        drv.setInBufSize(4096);
        drv.setOutBufSize(4096);
        drv.SuspendPolling();
    }
    void command(const Bytes& b) {
        drv.SetRtsLine(false);
        clock.sleepMs(10);
        EXPECT_EQ(drv.WriteBytes(b.data(), uint32_t(b.size())), b.size());
        clock.sleepMs(15);
        drv.SetRtsLine(true);
    }
    FakeClock clock;
    SimDevices devices;
    SimSerialOs os;
    TSerialPortDriver drv;
};

TEST(DriverOverSim, SearchReplyAndAStatusThroughTheDriver) {
    DriverRig r(R"({"modem": {"port": 3, "id": "M742 SIM v1.0"},
                    "loggers": [{"name": "D0042", "sensors": [1, 2], "generate": {"count": 3}}]})");
    r.drv.setPortName("\\\\.\\Com6");
    EXPECT_FALSE(r.drv.OpenPort());
    r.drv.setPortName("\\\\.\\Com3");
    ASSERT_TRUE(r.drv.OpenPort());
    r.drv.SetRtsLine(true);
    r.drv.SetDtrLine(false);
    EXPECT_FALSE(r.os.dtr());
    EXPECT_TRUE(r.os.settings().baudRate == 57600);

    r.command(bytesOf("#?"));
    ASSERT_EQ(r.drv.InputCount(), 14u); // all of it, within the 15 ms
    uint8_t buf[4096];
    ASSERT_EQ(r.drv.ReadBytes(buf, 14), 14u);
    EXPECT_EQ(Bytes(buf, buf + 14), bytesOf("?M742 SIM v1.0"));

    r.command({'#', 'T', 0x02, 0x00, 0x12});
    r.drv.SetDtrLine(true);
    EXPECT_TRUE(r.devices.dtr());
    const Bytes req = bytesOf("D0042HEADER-");
    EXPECT_EQ(r.drv.WriteBytes(req.data(), uint32_t(req.size())), req.size());
    // Reception as the 50 ms tick does it: take what is waiting until a tick finds nothing after bytes.
    Bytes got;
    for (int tick = 0; tick < 20; ++tick) {
        r.clock.advanceMs(50);
        const uint32_t n = r.drv.InputCount();
        if (n == 0 && !got.empty())
            break;
        const uint32_t m = r.drv.ReadBytes(buf, std::min<uint32_t>(n, 4096));
        got.insert(got.end(), buf, buf + m);
    }
    const auto packets = splitPackets(got);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].payload, bytesOf("D0042START"));
    EXPECT_EQ(packets[1].payload.size(), 5u + 4 + 20);
    ASSERT_EQ(r.os.commands().size(), 2u);
    EXPECT_EQ(r.os.airRequests(), std::vector<Bytes>{req});
    r.drv.ClosePort();
    EXPECT_FALSE(r.os.isOpen());
}

} // namespace
