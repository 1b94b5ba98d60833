#include "platform/AdapterSettings.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include "platform/AdapterSettingsLinux.h"
#include "platform/PosixSerialOs.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <unistd.h>

namespace fs = std::filesystem;
#endif

namespace {

TEST(FtdiRegistry, PatchesBytesTwoAndThreeOnlyWhenNeeded) {
    using ftdiregistry::ConfigPatch;
    std::vector<uint8_t> v = {0x10, 0x20, 0x0F, 0x0F, 0x55, 0x66};
    EXPECT_EQ(ftdiregistry::patchConfigData(v, 256, 512), ConfigPatch::Write);
    EXPECT_EQ(v, (std::vector<uint8_t>{0x10, 0x20, 7, 3, 0x55, 0x66}));
    EXPECT_EQ(ftdiregistry::patchConfigData(v, 256, 512), ConfigPatch::Unchanged);
    EXPECT_EQ(ftdiregistry::patchConfigData(v, 256, 256), ConfigPatch::Write);
    EXPECT_EQ(v[2], 3);

    std::vector<uint8_t> shortValue = {1, 2, 3};
    EXPECT_EQ(ftdiregistry::patchConfigData(shortValue, 256, 256), ConfigPatch::Unchanged);
    EXPECT_EQ(shortValue, (std::vector<uint8_t>{1, 2, 3}));

    std::vector<uint8_t> longValue(257, 0);
    EXPECT_EQ(ftdiregistry::patchConfigData(longValue, 256, 256), ConfigPatch::Failure);
    std::vector<uint8_t> fullValue(256, 0);
    EXPECT_EQ(ftdiregistry::patchConfigData(fullValue, 256, 256), ConfigPatch::Write);

    // Sizes no byte can code are refused, not written as 0xFF.
    std::vector<uint8_t> v2 = {0, 0, 3, 3};
    EXPECT_EQ(ftdiregistry::patchConfigData(v2, 32, 256), ConfigPatch::Failure);
    EXPECT_EQ(v2, (std::vector<uint8_t>{0, 0, 3, 3}));
    EXPECT_EQ(ftdiregistry::sizeCode(64), 0);
    EXPECT_EQ(ftdiregistry::sizeCode(16384), 255);
    EXPECT_EQ(ftdiregistry::sizeCode(16448), -1);
}

#ifdef __linux__
// A sysfs tree of our own: ttyUSB0 on ftdi_sio, ttyUSB1 on another driver, device nodes as files.
struct FakeSysfs : ::testing::Test {
    fs::path root;
    fs::path dev;
    void SetUp() override {
        root = fs::temp_directory_path() / ("kv-sysfs-" + std::to_string(getpid()));
        dev = root / "dev";
        fs::remove_all(root);
        fs::create_directories(dev);
        addTty("ttyUSB0", "ftdi_sio", "16");
        addTty("ttyUSB1", "cp210x", "");
    }
    void TearDown() override { fs::remove_all(root); }
    void addTty(const std::string& tty, const std::string& driver, const std::string& latency) {
        const fs::path device = root / "sys/bus/usb-serial/devices" / tty;
        fs::create_directories(device);
        fs::create_directories(root / "sys/class/tty" / tty);
        fs::create_directory_symlink(device, root / "sys/class/tty" / tty / "device");
        fs::create_symlink("../../../bus/usb-serial/drivers/" + driver, device / "driver");
        if (!latency.empty())
            std::ofstream(device / "latency_timer") << latency << "\n";
        std::ofstream(dev / tty) << "";
    }
    fs::path latencyFile(const std::string& tty) const {
        return root / "sys/bus/usb-serial/devices" / tty / "latency_timer";
    }
    std::string latency(const std::string& tty) const {
        std::ifstream in(latencyFile(tty));
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    LinuxAdapterSettings settings() const {
        LinuxAdapterSettings s(nullptr, (root / "sys").string());
        s.setLowLatencyCall([](int) { return false; });
        return s;
    }
};

TEST_F(FakeSysfs, RecognisesFtdiPortsThroughLinks) {
    auto s = settings();
    EXPECT_TRUE(s.isFtdi("ttyUSB0"));
    EXPECT_FALSE(s.isFtdi("ttyUSB1"));
    EXPECT_FALSE(s.isFtdi("ttyUSB7"));
    EXPECT_FALSE(s.isFtdi("../ttyUSB0"));
    EXPECT_FALSE(s.isFtdi(""));
    EXPECT_EQ(s.readLatency("ttyUSB0"), 16);
    EXPECT_EQ(s.readLatency("ttyUSB1"), -1);
    // A link named after the port (PortDevice setups) leads to the real tty.
    fs::create_symlink(dev / "ttyUSB0", dev / "modem5");
    EXPECT_EQ(LinuxAdapterSettings::ttyName((dev / "modem5").string()), "ttyUSB0");
}

TEST_F(FakeSysfs, WritesTheAttributeWhenAllowed) {
    auto s = settings();
    std::string text;
    EXPECT_TRUE(s.SetAdapterBufferSizes(256, 256, (dev / "ttyUSB0").string(), text));
    EXPECT_EQ(latency("ttyUSB0"), "1\n");
    EXPECT_TRUE(text.empty());
}

TEST_F(FakeSysfs, LowLatencyOnTheOpenPortComesFirst) {
    // As the kernel does it: the flag makes the attribute read 1, no write needed.
    LinuxAdapterSettings s(nullptr, (root / "sys").string());
    int calls = 0;
    s.setLowLatencyCall([&](int) {
        ++calls;
        std::ofstream(latencyFile("ttyUSB0")) << "1\n";
        return true;
    });
    std::string text;
    // Without an open port there is no descriptor to ask: the attribute is written instead.
    EXPECT_TRUE(s.SetAdapterBufferSizes(256, 256, (dev / "ttyUSB0").string(), text));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(s.readLatency("ttyUSB0"), 1);
    // Already 1: nothing is touched.
    EXPECT_TRUE(s.SetAdapterBufferSizes(256, 256, (dev / "ttyUSB0").string(), text));
    EXPECT_EQ(calls, 0);
}

TEST_F(FakeSysfs, RemedyWhenNeitherWayWorks) {
    // /dev/full refuses every write and reads as zero bytes, whoever we are (CI runs as root).
    fs::remove(latencyFile("ttyUSB0"));
    fs::create_symlink("/dev/full", latencyFile("ttyUSB0"));
    auto s = settings();
    std::string text;
    EXPECT_FALSE(s.SetAdapterBufferSizes(256, 256, (dev / "ttyUSB0").string(), text));
    EXPECT_NE(text.find("ATTR{latency_timer}=\"1\""), std::string::npos);
    EXPECT_NE(text.find("ftdi_sio"), std::string::npos);
    EXPECT_NE(text.find("dialout"), std::string::npos);
    EXPECT_NE(text.find((dev / "ttyUSB0").string()), std::string::npos);

    // No message for a port that is no FTDI adapter, or that does not exist.
    std::string other;
    EXPECT_TRUE(s.SetAdapterBufferSizes(256, 256, (dev / "ttyUSB1").string(), other));
    EXPECT_TRUE(s.SetAdapterBufferSizes(256, 256, "\\\\.\\Com250", other));
    EXPECT_TRUE(other.empty());
}

TEST_F(FakeSysfs, PortNameMapsToTheTty) {
    // Without an open port the name is mapped: port 33 is ttyUSB0, port 34 ttyUSB1.
    auto s = settings();
    std::string text;
    EXPECT_TRUE(s.SetAdapterBufferSizes(256, 256, "\\\\.\\Com34", text));
    EXPECT_EQ(latency("ttyUSB0"), "16\n");
    EXPECT_TRUE(s.SetAdapterBufferSizes(256, 256, "\\\\.\\Com33", text));
    EXPECT_EQ(latency("ttyUSB0"), "1\n");
    EXPECT_TRUE(text.empty());
}

TEST_F(FakeSysfs, OpenPortIsAskedThroughItsDescriptor) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    PosixSerialOs os;
    ASSERT_TRUE(os.open(slave)) << os.lastError();
    // A pty has no serial settings: the real request fails, harmlessly.
    EXPECT_FALSE(LinuxAdapterSettings::requestLowLatency(os.fd()));

    // Pretend the pty is an FTDI port, and the driver honours the low-latency flag.
    const std::string tty = LinuxAdapterSettings::ttyName(slave);
    addTty(tty, "ftdi_sio", "16");
    LinuxAdapterSettings s(&os, (root / "sys").string());
    int askedFd = -1;
    s.setLowLatencyCall([&](int fd) {
        askedFd = fd;
        std::ofstream(latencyFile(tty)) << "1\n";
        return true;
    });
    std::string text;
    EXPECT_TRUE(s.SetAdapterBufferSizes(256, 256, "\\\\.\\Com200", text));
    EXPECT_EQ(askedFd, os.fd());
    os.close();
    ::close(master);
}

#endif

} // namespace
