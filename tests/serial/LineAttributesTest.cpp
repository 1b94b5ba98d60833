#ifndef _WIN32
#include "platform/PosixSerialOs.h"

#include <gtest/gtest.h>

#include <termios.h>

namespace {

// Starts from a cooked terminal, as a pty slave is when it is first opened.
termios cooked() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXANY;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS7 | PARENB | HUPCL;
    t.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
    t.c_cc[VMIN] = 1;
    return t;
}

TEST(LineAttributes, EveryFramingMapsToItsFlags) {
    struct Case {
        int dataBits, parity, stopBits;
        tcflag_t size, parityFlags;
        bool stopFlag;
    };
    const Case cases[] = {
        {5, 1, 1, CS5, PARENB | PARODD, true}, // one and a half
        {6, 2, 0, CS6, PARENB, false},
        {7, 3, 2, CS7, PARENB | PARODD | CMSPAR, true},
        {8, 4, 0, CS8, PARENB | CMSPAR, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dataBits);
        SerialLineSettings s;
        s.dataBits = c.dataBits;
        s.parity = c.parity;
        s.stopBits = c.stopBits;
        termios t = cooked();
        bool custom = false;
        std::string error;
        ASSERT_TRUE(posixLineAttributes(s, t, custom, error));
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.stopFlag);
    }
}

TEST(LineAttributes, RefusesWhatTheLineCannotCarry) {
    const auto refused = [](SerialLineSettings s) {
        termios t = cooked();
        bool custom = false;
        std::string error;
        const bool ok = posixLineAttributes(s, t, custom, error);
        return !ok && !error.empty();
    };
    SerialLineSettings s;
    s.dataBits = 9;
    EXPECT_TRUE(refused(s));
    s = {};
    s.parity = 5;
    EXPECT_TRUE(refused(s));
    s = {};
    s.stopBits = 1; // one and a half with 8 data bits
    EXPECT_TRUE(refused(s));
    s = {};
    s.baudRate = 0;
    EXPECT_TRUE(refused(s));

    s = {};
    s.baudRate = 56000;
    termios t = cooked();
    bool custom = false;
    std::string error;
    EXPECT_TRUE(posixLineAttributes(s, t, custom, error));
    EXPECT_TRUE(custom);
}

} // namespace
#endif
