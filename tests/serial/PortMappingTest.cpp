#include "platform/PortMapping.h"

#include <gtest/gtest.h>

namespace {

TEST(PortMapping, NumberFromDriverNames) {
    EXPECT_EQ(portmap::portNumber("\\\\.\\Com6"), 6);
    EXPECT_EQ(portmap::portNumber("\\\\.\\COM256"), 256);
    EXPECT_EQ(portmap::portNumber("cOm33"), 33);
    EXPECT_EQ(portmap::portNumber("\\\\.\\Com"), 0);
    EXPECT_EQ(portmap::portNumber("\\\\.\\Com6x"), 0);
    EXPECT_EQ(portmap::portNumber("\\\\.\\Com-6"), 0);
    EXPECT_EQ(portmap::portNumber("\\\\.\\Lpt1"), 0);
    EXPECT_EQ(portmap::portNumber("\\\\.\\Com99999999999999999999"), 0);
    EXPECT_EQ(portmap::portNumber(""), 0);
}

TEST(PortMapping, FixedRuleCoversThreeFamilies) {
    EXPECT_EQ(portmap::devicePath(1, ""), "/dev/ttyS0");
    EXPECT_EQ(portmap::devicePath(32, ""), "/dev/ttyS31");
    EXPECT_EQ(portmap::devicePath(33, ""), "/dev/ttyUSB0");
    EXPECT_EQ(portmap::devicePath(64, ""), "/dev/ttyUSB31");
    EXPECT_EQ(portmap::devicePath(65, ""), "/dev/ttyACM0");
    EXPECT_EQ(portmap::devicePath(96, ""), "/dev/ttyACM31");
    EXPECT_EQ(portmap::devicePath(97, ""), "");
    EXPECT_EQ(portmap::devicePath(256, ""), "");
    EXPECT_EQ(portmap::devicePath(0, ""), "");
}

TEST(PortMapping, PatternTakesTheNumber) {
    EXPECT_EQ(portmap::devicePath(7, "/tmp/demo/ttySIM%d"), "/tmp/demo/ttySIM7");
    EXPECT_EQ(portmap::devicePath(200, "/x/%d/p%d"), "/x/200/p200");
    EXPECT_EQ(portmap::devicePath(5, "/dev/fixed"), "/dev/fixed");
    EXPECT_EQ(portmap::devicePath(5, "/a%"), "/a%");
    EXPECT_EQ(portmap::devicePathForName("\\\\.\\Com12", "/s%d"), "/s12");
    EXPECT_EQ(portmap::devicePathForName("/dev/pts/3", "/s%d"), "/dev/pts/3");
    EXPECT_EQ(portmap::devicePathForName("garbage", ""), "");
}

} // namespace
