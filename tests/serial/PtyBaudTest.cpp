#ifdef __linux__
// Reads the line back through termios2, so this file must not see the C library's termios.
#include "platform/Clock.h"
#include "platform/PosixSerialOs.h"
#include "serial/TSerialPortDriver.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

struct PtyLine : ::testing::Test {
    int master = -1;
    PosixSerialOs os;
    TSerialPortDriver drv{os, SystemClock::instance()};
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        drv.setHwFlow(hfNONE);
        drv.setPortName(ptsname(master));
    }
    void TearDown() override {
        drv.ClosePort();
        ::close(master);
    }
    termios2 line() const {
        termios2 t{};
        EXPECT_EQ(ioctl(os.fd(), TCGETS2, &t), 0);
        return t;
    }
};

TEST_F(PtyLine, RatesOutsideTheStandardListGoThroughTermios2) {
    drv.setBaudRate(br56000);
    ASSERT_TRUE(drv.OpenPort()) << os.lastError();
    termios2 t = line();
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
    EXPECT_EQ(t.c_ospeed, 56000u);
    EXPECT_EQ(t.c_ispeed, 56000u);
    // Re-applied at once while open, back to a standard rate.
    drv.setBaudRateValue(57600);
    t = line();
    EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(B57600));
    drv.setBaudRateValue(250000);
    EXPECT_EQ(line().c_ospeed, 250000u);
}

} // namespace
#endif
