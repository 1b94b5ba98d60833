// The modem search finds kestrovane-sim through the PortDevice pattern, as the program would.
#include "PtyRig.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

std::string scenarioWithId(const std::string& id) {
    return R"({"modem": {"port": 7, "id": ")" + id + R"(", "channel": 20},
               "loggers": [{"name": "D4071500001", "sensors": [1], "generate": {"count": 3}}]})";
}

std::vector<int> range(int from, int to) {
    std::vector<int> out;
    for (int p = from; p <= to; ++p)
        out.push_back(p);
    return out;
}

} // namespace

TEST(ModemSearchOverPty, FindsTheSimulatorFromTheSpinEditsMinimumAndDisconnects) {
    SimProcess sim(scenarioWithId("M742 SIM v1.0"), 7);
    ASSERT_TRUE(sim.waitForLink()) << sim.errors();
    PtyRig rig(sim.pattern());

    // The remembered port first, then from the minimum; ports without a device fail at once.
    std::vector<int> expected = {9};
    for (int p : range(2, 7))
        expected.push_back(p);
    const int searches = rig.searchUntil(9, [&] { return rig.connectOn && rig.os.tried == expected; });
    ASSERT_GT(searches, 0) << sim.log();
    EXPECT_EQ(rig.os.tried, expected);
    EXPECT_EQ(rig.os.opened, std::vector<int>{7});
    EXPECT_EQ(rig.link.ModemReply, "M742 SIM v1.0");
    EXPECT_EQ(rig.panel0, "USB/RK " + std::string("M742 SIM v1.0").substr(4, 7));
    EXPECT_EQ(rig.spin, 7);
    EXPECT_TRUE(rig.port.IsOpen());
    EXPECT_EQ(rig.os.real.devicePath(), sim.link());
    // A pseudo-terminal is no FTDI adapter: no remedy message.
    EXPECT_TRUE(rig.msgs.errors.empty());
    // One identification exchange per search, nothing else.
    EXPECT_EQ(sim.logged("CMD"), std::vector<std::string>(static_cast<size_t>(searches), "#?"));

    const int switchesOff = rig.switchesOff;
    rig.disconnect();
    EXPECT_EQ(rig.panel0, "Нет подключения");
    EXPECT_FALSE(rig.port.IsOpen());
    EXPECT_EQ(rig.switchesOff, switchesOff + 1); // the task switches went off

    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(sim.linkExists());
}

TEST(ModemSearchOverPty, RememberedPortAloneAndAForeignModemIsNotTaken) {
    {
        SimProcess sim(scenarioWithId("M742 SIM v1.0"), 7);
        ASSERT_TRUE(sim.waitForLink()) << sim.errors();
        PtyRig rig(sim.pattern());
        const auto alone = [&] { return rig.connectOn && rig.os.tried == std::vector<int>{7}; };
        ASSERT_GT(rig.searchUntil(7, alone), 0) << sim.log();
        // A second search on the same port finds it again: the port was released in between.
        rig.disconnect();
        ASSERT_GT(rig.searchUntil(7, alone), 0) << sim.log();
        EXPECT_TRUE(rig.port.IsOpen());
        EXPECT_EQ(sim.stop(), 0);
        EXPECT_FALSE(sim.linkExists());
    }
    {
        // Another model answers: every port up to 256 is tried, the switch goes back off.
        SimProcess sim(scenarioWithId("X742 SIM v1.0"), 7);
        ASSERT_TRUE(sim.waitForLink()) << sim.errors();
        PtyRig rig(sim.pattern());
        EXPECT_FALSE(rig.connect(9));
        std::vector<int> expected = {9};
        for (int p : range(2, 256))
            expected.push_back(p);
        EXPECT_EQ(rig.os.tried, expected);
        EXPECT_EQ(rig.os.opened, std::vector<int>{7});
        EXPECT_FALSE(rig.port.IsOpen());
        EXPECT_EQ(rig.panel0, "Нет подключения");
        EXPECT_EQ(rig.spin, 9);
        EXPECT_EQ(sim.stop(), 0);
    }
}
