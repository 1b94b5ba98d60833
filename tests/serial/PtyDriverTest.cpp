#ifndef _WIN32
#include "platform/Clock.h"
#include "platform/PosixSerialOs.h"
#include "serial/TSerialPortDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// A pseudo-terminal whose slave the driver opens by path; the test talks through the master.
struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            slave = ptsname(master);
    }
    ~Pty() {
        if (master >= 0)
            ::close(master);
    }
    void send(const std::string& s) const {
        ASSERT_EQ(::write(master, s.data(), s.size()), (ssize_t)s.size());
    }
    std::string receive() const {
        std::string out;
        char buf[512];
        ssize_t n;
        while ((n = ::read(master, buf, sizeof buf)) > 0)
            out.append(buf, static_cast<size_t>(n));
        return out;
    }
};

struct PtyDriver : ::testing::Test {
    Pty pty;
    PosixSerialOs os;
    TSerialPortDriver drv{os, SystemClock::instance()};
    void SetUp() override {
        ASSERT_FALSE(pty.slave.empty());
        drv.setHwFlow(hfNONE);
        drv.setBaudRateValue(57600);
        drv.setEnableDTROnOpen(false);
        drv.setOutputTimeout(50);
        drv.setInputTimeout(50);
        drv.setInBufSize(4096);
        drv.setOutBufSize(4096);
        drv.setPortName(pty.slave);
    }
    // A pty hands bytes over through a kernel work queue: wait until they are visible.
    uint32_t waitForInput(uint32_t atLeast) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        uint32_t n = 0;
        while ((n = drv.InputCount()) < atLeast && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return n;
    }
};

TEST_F(PtyDriver, OpensRawAtTheConfiguredRateAndExclusively) {
    ASSERT_TRUE(drv.OpenPort()) << os.lastError();
    EXPECT_TRUE(drv.IsOpen());
    termios t{};
    ASSERT_EQ(tcgetattr(os.fd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B57600);
    EXPECT_EQ(cfgetispeed(&t), B57600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);

    // A second program (here: a second driver) cannot take the port, root or not.
    PosixSerialOs os2;
    TSerialPortDriver other(os2, SystemClock::instance());
    other.setPortName(pty.slave);
    EXPECT_FALSE(other.OpenPort());
    drv.ClosePort();
    EXPECT_TRUE(other.OpenPort()) << os2.lastError();
}

TEST_F(PtyDriver, BytesPassRawBothWays) {
    ASSERT_TRUE(drv.OpenPort());
    EXPECT_EQ(drv.InputCount(), 0u);
    // Control characters and a line end must arrive as they were sent, without echo.
    const std::string in("\x3fM742\r\n\x00\x11\x13\xff", 11);
    pty.send(in);
    ASSERT_EQ(waitForInput(11), 11u);
    uint8_t buf[64] = {};
    EXPECT_EQ(drv.ReadBytes(buf, drv.InputCount()), 11u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 11), in);
    EXPECT_EQ(pty.receive(), "");

    const std::string out("#\x01\n\r\x00", 5);
    EXPECT_EQ(drv.WriteBytes(reinterpret_cast<const uint8_t*>(out.data()), 5), 5u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(pty.receive(), out);

    // Purging drops what waits.
    pty.send("abc");
    ASSERT_EQ(waitForInput(3), 3u);
    EXPECT_TRUE(drv.PurgeQueues(true, true));
    EXPECT_EQ(drv.InputCount(), 0u);
    // A pty has no lines: driving them fails inside, harmlessly.
    drv.SetDtrLine(true);
    drv.SetRtsLine(false);
    EXPECT_TRUE(drv.IsOpen());
}

// The other side closing is what a pulled adapter looks like: lost, not merely quiet, and the
// next open clears it.
TEST_F(PtyDriver, HangUpIsALostDeviceNotSilence) {
    ASSERT_TRUE(drv.OpenPort());
    EXPECT_EQ(drv.InputCount(), 0u);
    EXPECT_FALSE(drv.DeviceLost());
    ::close(pty.master);
    pty.master = -1;
    EXPECT_TRUE(drv.CheckDevice());
    EXPECT_TRUE(drv.DeviceLost());
    uint8_t buf[4] = {};
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(drv.WriteBytes(buf, 4), 0u);
    EXPECT_EQ(drv.ReadBytes(buf, 4), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(40));
    drv.ClosePort();
    EXPECT_FALSE(drv.DeviceLost());
}

TEST_F(PtyDriver, ReadStopsAfterSilence) {
    ASSERT_TRUE(drv.OpenPort());
    pty.send("xy");
    ASSERT_EQ(waitForInput(2), 2u);
    uint8_t buf[16] = {};
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(drv.ReadBytes(buf, 10), 2u);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(ms, 50);
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(buf[0], 'x');
}

TEST_F(PtyDriver, WriteThatCannotProgressStopsAfterItsLimit) {
    ASSERT_TRUE(drv.OpenPort());
    // Nobody reads the master: the pty fills up and then takes nothing more.
    const std::vector<uint8_t> block(4096, 0xAA);
    uint32_t total = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i) {
        const uint32_t n = drv.WriteBytes(block.data(), static_cast<uint32_t>(block.size()));
        total += n;
        if (n < block.size())
            break;
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GT(total, 0u);
    EXPECT_LT(total, 1000u * 4096u);
    EXPECT_LT(ms, 5000);
    // Once full, a write returns 0 after the limit.
    const auto t1 = std::chrono::steady_clock::now();
    EXPECT_EQ(drv.WriteBytes(block.data(), 16), 0u);
    const auto ms1 =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t1).count();
    EXPECT_GE(ms1, 50);
    EXPECT_LT(ms1, 1000);
}

TEST_F(PtyDriver, NamesThatAreNoSerialDeviceFail) {
    const auto dir = std::filesystem::temp_directory_path() / ("kv-serial-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "plain";
    std::ofstream(file) << "data";
    for (const std::string& name :
         {(dir / "missing").string(), file.string(), dir.string(), std::string("/dev/null"),
          std::string("\\\\.\\Com9999"), std::string("nonsense")}) {
        drv.setPortName(name);
        EXPECT_FALSE(drv.OpenPort()) << name;
        EXPECT_FALSE(drv.IsOpen()) << name;
    }
    std::filesystem::remove_all(dir);
}

TEST_F(PtyDriver, PortNumberFindsTheDeviceThroughThePattern) {
    // As the simulator does it: a link named after the port number points at the pty.
    const auto dir = std::filesystem::temp_directory_path() / ("kv-link-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink(pty.slave, dir / "ttySIM7");
    os.setDevicePattern((dir / "ttySIM%d").string());
    drv.setPortName("\\\\.\\Com6");
    EXPECT_FALSE(drv.OpenPort());
    drv.setPortName("\\\\.\\Com7");
    EXPECT_TRUE(drv.OpenPort()) << os.lastError();
    EXPECT_EQ(os.devicePath(), (dir / "ttySIM7").string());
    drv.ClosePort();
    std::filesystem::remove_all(dir);
}

} // namespace
#endif
