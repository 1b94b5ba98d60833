#include "platform/FakeClock.h"
#include "serial/TSerialPortDriver.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace {

// An OS side whose behaviour each test sets: what the input queue holds, how much a write takes.
struct FakeOs : ISerialOs {
    bool opened = false;
    bool openResult = true;
    bool configureResult = true;
    int openCalls = 0;
    int configureCalls = 0;
    int modemLineCalls = 0;
    SerialLineSettings last;
    std::deque<uint8_t> input;
    uint32_t claimedInput = 0; // reported on top of input, never delivered (a port gone bad)
    uint32_t outQueue = 0;
    uint32_t writeChunk = 1u << 30; // bytes one write takes
    FakeClock* clock = nullptr;
    uint32_t writeEveryMs = 0; // a write takes bytes only this often
    uint64_t lastWriteAt = 0;
    std::vector<uint8_t> written;
    uint32_t lines = 0;

    bool open(const std::string&) override {
        ++openCalls;
        opened = openResult;
        return opened;
    }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    bool configure(const SerialLineSettings& s) override {
        ++configureCalls;
        last = s;
        return configureResult;
    }
    bool setQueueSizes(uint32_t, uint32_t) override { return true; }
    bool purge(bool in, bool) override {
        if (in)
            input.clear();
        return true;
    }
    bool queueCounts(uint32_t& in, uint32_t& out) override {
        in = static_cast<uint32_t>(input.size()) + claimedInput;
        out = outQueue;
        return opened;
    }
    bool read(uint8_t* buf, uint32_t count, uint32_t& got) override {
        got = 0;
        while (got < count && !input.empty()) {
            buf[got++] = input.front();
            input.pop_front();
        }
        return true;
    }
    bool write(const uint8_t* data, uint32_t count, uint32_t& n) override {
        n = 0;
        if (writeEveryMs > 0) {
            if (clock->elapsedMs() - lastWriteAt < writeEveryMs)
                return true;
            lastWriteAt = clock->elapsedMs();
        }
        n = std::min(count, writeChunk);
        written.insert(written.end(), data, data + n);
        return true;
    }
    bool setDtr(bool) override { return true; }
    bool setRts(bool) override { return true; }
    bool modemLines(uint32_t& l) override {
        ++modemLineCalls;
        l = lines;
        return true;
    }
};

struct DriverRules : ::testing::Test {
    FakeOs os;
    FakeClock clock;
    TSerialPortDriver drv{os, clock};
    void SetUp() override { os.clock = &clock; }
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
    EXPECT_EQ(os.last.baudRate, 57600u);
    EXPECT_EQ(os.last.dataBits, 8);
    EXPECT_EQ(os.last.parity, 0);
    EXPECT_EQ(os.last.stopBits, 0);
    EXPECT_FALSE(os.last.dtrOn);
    EXPECT_FALSE(os.last.rtsOn);
    EXPECT_FALSE(os.last.rtsCtsFlow);
    EXPECT_FALSE(os.last.xonXoffFlow);

    // While open, each line setter re-applies at once.
    drv.setDataBits(db7BITS);
    EXPECT_EQ(os.last.dataBits, 7);
    drv.setParity(ptMARK);
    EXPECT_EQ(os.last.parity, 3);
    drv.setStopBits(sb2BITS);
    EXPECT_EQ(os.last.stopBits, 2);
    drv.setHwFlow(hfRTSCTS);
    EXPECT_TRUE(os.last.rtsCtsFlow);
    EXPECT_FALSE(os.last.rtsOn);
    drv.setSwFlow(sfXONXOFF);
    EXPECT_TRUE(os.last.xonXoffFlow);
    drv.setBaudRate(br9600);
    EXPECT_EQ(os.last.baudRate, 9600u);
    EXPECT_EQ(os.configureCalls, 7);
}

TEST_F(DriverRules, OpenIsIdempotentAndRefusedSettingsClose) {
    ASSERT_TRUE(drv.OpenPort());
    ASSERT_TRUE(drv.OpenPort());
    EXPECT_EQ(os.openCalls, 1);
    EXPECT_EQ(os.configureCalls, 1);
    drv.ClosePort();

    os.configureResult = false;
    EXPECT_FALSE(drv.OpenPort());
    EXPECT_FALSE(drv.IsOpen());
    os.configureResult = true;
    os.openResult = false;
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
    os.writeChunk = 1;
    os.writeEveryMs = 30;
    os.lastWriteAt = 0;
    EXPECT_EQ(drv.WriteBytes(data.data(), 10), 10u);
    EXPECT_EQ(os.written, data);

    // One that stops taking bytes ends the write a little after the limit.
    os.written.clear();
    os.writeEveryMs = 0;
    os.writeChunk = 0;
    const uint64_t t0 = clock.elapsedMs();
    EXPECT_EQ(drv.WriteBytes(data.data(), 10), 0u);
    EXPECT_GE(clock.elapsedMs() - t0, 50u);
    EXPECT_LE(clock.elapsedMs() - t0, 53u);

    // An output queue fuller than the nominal size leaves no room (not a wrapped 16-bit plenty).
    os.writeChunk = 100;
    os.outQueue = drv.OutBufSize() + 1000;
    EXPECT_EQ(drv.OutputFree(), 0);
    EXPECT_EQ(drv.WriteBytes(data.data(), 10), 0u);
    os.outQueue = drv.OutBufSize() - 4;
    EXPECT_EQ(drv.OutputFree(), 4);
    EXPECT_EQ(drv.WriteBytes(data.data(), 10), 10u);
}

TEST_F(DriverRules, LineStatusIsLookedAtOnlyWhenAsked) {
    ASSERT_TRUE(drv.OpenPort());
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(drv.WriteBytes(data, 4), 4u);
    EXPECT_EQ(os.modemLineCalls, 0);
    drv.setCheckLineStatus(true);
    EXPECT_EQ(drv.WriteBytes(data, 4), 0u);
    os.lines = kLineDsr;
    EXPECT_EQ(drv.WriteBytes(data, 4), 4u);
    EXPECT_EQ(drv.ModemLines(), static_cast<uint32_t>(mlDSR));
}

TEST_F(DriverRules, ReadWaitsForMissingBytesUntilSilence) {
    programSettings();
    ASSERT_TRUE(drv.OpenPort());
    uint8_t buf[16] = {};
    EXPECT_EQ(drv.ReadBytes(buf, 0), 0u);
    EXPECT_EQ(clock.elapsedMs(), 0u);

    os.input = {1, 2, 3};
    EXPECT_EQ(drv.ReadBytes(buf, drv.InputCount()), 3u);
    EXPECT_EQ(clock.elapsedMs(), 0u);

    os.input = {4, 5};
    EXPECT_EQ(drv.ReadBytes(buf, 10), 2u);
    EXPECT_EQ(buf[1], 5);
    EXPECT_GE(clock.elapsedMs(), 50u);
    EXPECT_TRUE(drv.PollingActive());

    // A queue that reports bytes which never arrive must not hold the loop forever.
    os.claimedInput = 5;
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
    os.input = {7, 8, 9};
    drv.SuspendPolling();
    drv.SuspendPolling();
    drv.ResumePolling();
    EXPECT_FALSE(drv.PollingActive());
    drv.PollTick();
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(os.input.size(), 3u);

    drv.ResumePolling();
    os.input.assign(200, 1);
    drv.PollTick();
    EXPECT_EQ(got.size(), 200u); // the smallest poll buffer is 128, this one 2048

    drv.ClosePort();
    drv.setInBufSize(128);
    ASSERT_TRUE(drv.OpenPort());
    got.clear();
    os.input.assign(200, 2);
    drv.PollTick();
    EXPECT_EQ(got.size(), 128u);
}

} // namespace
