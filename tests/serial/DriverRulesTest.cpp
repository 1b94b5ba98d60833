#include "serial/TSerialPortDriver.h"
#include "tests/serial/ScriptedSerialOs.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = ScriptedSerialOs::Bytes;

struct DriverRules : ::testing::Test {
    FakeClock clock;
    ScriptedSerialOs os{clock};
    TSerialPortDriver drv{os, clock};
    void SetUp() override { os.devices[2] = {}; } // the driver's own port, COM2
    // The settings the program gives the port at start-up.
    void programSettings() {
        drv.setHwFlow(hfNONE);
        drv.setBaudRateValue(57600);
        drv.setEnableDTROnOpen(false);
        drv.setOutputTimeout(50);
        drv.setInputTimeout(50);
    }
};

TEST_F(DriverRules, NameAndBufferSettersFollowTheirRules) {
    drv.setPort(pnCOM7);
    EXPECT_EQ(drv.PortName(), "\\\\.\\COM7");
    drv.setPortName("\\\\.\\Com12");
    EXPECT_EQ(drv.Port(), pnCustom);
    drv.setPort(pnCustom);
    EXPECT_EQ(drv.PortName(), "\\\\.\\Com12");

    drv.setInBufSize(100);
    EXPECT_EQ(drv.InBufSize(), 128u);
    drv.setInBufSize(10000);
    EXPECT_EQ(drv.InBufSize(), 8192u);
    drv.setOutBufSize(100);
    EXPECT_EQ(drv.OutBufSize(), 128u);
    drv.setOutBufSize(10000);
    EXPECT_EQ(drv.OutBufSize(), 8192u);
    drv.setPollingDelay(3);
    EXPECT_EQ(drv.PollingDelay(), 5);

    os.devices[12] = {};
    ASSERT_TRUE(drv.OpenPort());
    drv.setPortName("\\\\.\\Com3");
    drv.setPort(pnCOM4);
    drv.setInBufSize(4096);
    drv.setOutBufSize(4096);
    EXPECT_EQ(drv.PortName(), "\\\\.\\Com12");
    EXPECT_EQ(drv.InBufSize(), 8192u);
    EXPECT_EQ(drv.OutBufSize(), 8192u);
    drv.ClosePort();
    drv.setPortName("\\\\.\\Com3");
    EXPECT_EQ(drv.PortName(), "\\\\.\\Com3");
}

TEST_F(DriverRules, BaudRateAndValueStayConsistent) {
    drv.setBaudRateValue(57600);
    EXPECT_EQ(drv.BaudRate(), brCustom);
    EXPECT_EQ(drv.BaudRateValue(), 57600u);
    drv.setBaudRate(br115200);
    EXPECT_EQ(drv.BaudRateValue(), 115200u);
    drv.setBaudRate(br110);
    EXPECT_EQ(drv.BaudRateValue(), 110u);
    drv.setBaudRate(brCustom);
    EXPECT_EQ(drv.BaudRateValue(), 110u);
}

TEST_F(DriverRules, LineSettingsFromProperties) {
    // Constructor defaults: DTR enabled, RTS on without handshake.
    SerialLineSettings d = drv.LineSettings();
    EXPECT_EQ(d.baudRate, 9600u);
    EXPECT_TRUE(d.dtrOn);
    EXPECT_TRUE(d.rtsOn);
    EXPECT_EQ(d.xonLimit, 512u);

    programSettings();
    ASSERT_TRUE(drv.OpenPort());
    EXPECT_EQ(os.applied.back().baudRate, 57600u);
    EXPECT_EQ(os.applied.back().dataBits, 8);
    EXPECT_EQ(os.applied.back().parity, 0);
    EXPECT_EQ(os.applied.back().stopBits, 0);
    EXPECT_FALSE(os.applied.back().dtrOn);
    EXPECT_FALSE(os.applied.back().rtsOn);
    EXPECT_FALSE(os.applied.back().rtsCtsFlow);
    EXPECT_FALSE(os.applied.back().xonXoffFlow);

    // While open, each line setter re-applies at once.
    drv.setDataBits(db7BITS);
    EXPECT_EQ(os.applied.back().dataBits, 7);
    drv.setParity(ptMARK);
    EXPECT_EQ(os.applied.back().parity, 3);
    drv.setStopBits(sb2BITS);
    EXPECT_EQ(os.applied.back().stopBits, 2);
    drv.setHwFlow(hfRTSCTS);
    EXPECT_TRUE(os.applied.back().rtsCtsFlow);
    EXPECT_FALSE(os.applied.back().rtsOn);
    drv.setSwFlow(sfXONXOFF);
    EXPECT_TRUE(os.applied.back().xonXoffFlow);
    drv.setBaudRate(br9600);
    EXPECT_EQ(os.applied.back().baudRate, 9600u);
    EXPECT_EQ(os.applied.size(), 7u);
}

TEST_F(DriverRules, OpenIsIdempotentAndRefusedSettingsClose) {
    ASSERT_TRUE(drv.OpenPort());
    ASSERT_TRUE(drv.OpenPort());
    EXPECT_EQ(os.openAttempts.size(), 1u);
    EXPECT_EQ(os.applied.size(), 1u);
    drv.ClosePort();

    os.devices[2].refuseSettings = true;
    EXPECT_FALSE(drv.OpenPort());
    EXPECT_FALSE(drv.IsOpen());
    os.devices.clear();
    EXPECT_FALSE(drv.OpenPort());
    EXPECT_FALSE(drv.IsOpen());
}

TEST_F(DriverRules, ClosedPortIsHarmless) {
    uint8_t buf[8] = {1, 2, 3};
    EXPECT_FALSE(drv.IsOpen());
    EXPECT_EQ(drv.InputCount(), 65535u);
    EXPECT_EQ(drv.OutputFree(), 65535);
    EXPECT_EQ(drv.ReadBytes(buf, 8), 0u);
    EXPECT_EQ(drv.WriteBytes(buf, 3), 0u);
    EXPECT_FALSE(drv.PurgeQueues(true, true));
    EXPECT_FALSE(drv.ApplySettings());
    EXPECT_EQ(drv.ModemLines(), 0u);
    drv.SetDtrLine(true);
    drv.SetRtsLine(true);
    drv.ClosePort();
    EXPECT_TRUE(drv.PollingActive());
    EXPECT_EQ(clock.elapsedMs(), 0u);
    EXPECT_TRUE(os.written.empty());
}

TEST_F(DriverRules, WriteLimitCountsTimeWithoutProgress) {
    programSettings();
    ASSERT_TRUE(drv.OpenPort());
    const std::vector<uint8_t> data(10, 0x55);

    // A device that takes one byte every 30 ms never exceeds the 50 ms limit between bytes.
    os.device().writeChunk = 1;
    os.device().writeEveryMs = 30;
    EXPECT_EQ(drv.WriteBytes(data.data(), 10), 10u);
    EXPECT_EQ(os.written, data);

    // One that stops taking bytes ends the write a little after the limit.
    os.written.clear();
    os.device().writeEveryMs = 0;
    os.device().writeChunk = 0;
    const uint64_t t0 = clock.elapsedMs();
    EXPECT_EQ(drv.WriteBytes(data.data(), 10), 0u);
    EXPECT_GE(clock.elapsedMs() - t0, 50u);
    EXPECT_LE(clock.elapsedMs() - t0, 53u);

    // An output queue fuller than the nominal size leaves no room (not a wrapped 16-bit plenty).
    os.device().writeChunk = 100;
    os.device().outQueue = drv.OutBufSize() + 1000;
    EXPECT_EQ(drv.OutputFree(), 0);
    EXPECT_EQ(drv.WriteBytes(data.data(), 10), 0u);
    os.device().outQueue = drv.OutBufSize() - 4;
    EXPECT_EQ(drv.OutputFree(), 4);
    EXPECT_EQ(drv.WriteBytes(data.data(), 10), 10u);
}

TEST_F(DriverRules, LineStatusIsLookedAtOnlyWhenAsked) {
    ASSERT_TRUE(drv.OpenPort());
    os.device().lines = 0;
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(drv.WriteBytes(data, 4), 4u);
    EXPECT_EQ(os.modemLineCalls, 0);
    drv.setCheckLineStatus(true);
    EXPECT_EQ(drv.WriteBytes(data, 4), 0u);
    os.device().lines = kLineDsr;
    EXPECT_EQ(drv.WriteBytes(data, 4), 4u);
    EXPECT_EQ(drv.ModemLines(), static_cast<uint32_t>(mlDSR));
}

TEST_F(DriverRules, ReadWaitsForMissingBytesUntilSilence) {
    programSettings();
    ASSERT_TRUE(drv.OpenPort());
    uint8_t buf[16] = {};
    EXPECT_EQ(drv.ReadBytes(buf, 0), 0u);
    EXPECT_EQ(clock.elapsedMs(), 0u);

    os.feed(Bytes{1, 2, 3});
    EXPECT_EQ(drv.ReadBytes(buf, drv.InputCount()), 3u);
    EXPECT_EQ(clock.elapsedMs(), 0u);

    os.feed(Bytes{4, 5});
    EXPECT_EQ(drv.ReadBytes(buf, 10), 2u);
    EXPECT_EQ(buf[1], 5);
    EXPECT_GE(clock.elapsedMs(), 50u);
    EXPECT_TRUE(drv.PollingActive());

    // A queue that reports bytes which never arrive must not hold the loop forever.
    os.device().claimedInput = 5;
    const uint64_t t0 = clock.elapsedMs();
    EXPECT_EQ(drv.ReadBytes(buf, 5), 0u);
    EXPECT_LE(clock.elapsedMs() - t0, 53u);
}

TEST_F(DriverRules, PollDeliversOnlyWhileNotSuspended) {
    ASSERT_TRUE(drv.OpenPort());
    std::vector<uint8_t> got;
    drv.OnReceiveData = [&](TSerialPortDriver& sender, const uint8_t* d, uint32_t n) {
        EXPECT_EQ(&sender, &drv);
        got.insert(got.end(), d, d + n);
    };
    os.feed(Bytes{7, 8, 9});
    drv.SuspendPolling();
    drv.SuspendPolling();
    drv.ResumePolling();
    EXPECT_FALSE(drv.PollingActive());
    drv.PollTick();
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(os.waiting(), 3u);

    drv.ResumePolling();
    os.feed(Bytes(197, 1));
    drv.PollTick();
    EXPECT_EQ(got.size(), 200u); // the smallest poll buffer is 128, this one 2048

    drv.ClosePort();
    drv.setInBufSize(128);
    ASSERT_TRUE(drv.OpenPort());
    got.clear();
    os.feed(Bytes(200, 2));
    drv.PollTick();
    EXPECT_EQ(got.size(), 128u);
}

} // namespace
