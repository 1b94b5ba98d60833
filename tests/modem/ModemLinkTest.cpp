#include "modem/ModemLink.h"
#include "tests/serial/ScriptedSerialOs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

struct RecordedMessages : IMessages {
    std::vector<std::string> errors;
    void error(const std::string& text) override { errors.push_back(text); }
    void info(const std::string&) override {}
    bool question(const std::string&) override { return true; }
};

// The main window as the search sees it; SpinPortNum keeps 2..255 as the control does.
struct FakeHost : IModemHost {
    ModemLink* link = nullptr;
    double spin = 6;
    double spinMin = 2;
    double spinMax = 255;
    bool connectOn = true; // the user has just switched "модем" on
    bool analyzer = false;
    std::string panel0 = "Нет подключения";
    std::vector<std::string> panel1;
    std::vector<std::string> calls;
    RecordedMessages box;

    void setStatusPanel0(const std::string& t) override {
        panel0 = t;
        calls.push_back("panel0 " + t);
    }
    void setStatusPanel1(const std::string& t) override { panel1.push_back(t); }
    double portSpinValue() const override { return spin; }
    double portSpinMinimum() const override { return spinMin; }
    void setPortSpinValue(double v) override { spin = std::clamp(v, spinMin, spinMax); }
    void turnConnectSwitchOff() override {
        if (!connectOn)
            return;
        connectOn = false;
        link->SwitchConnectOff(*this);
    }
    void switchTasksOff() override { calls.push_back("tasks off"); }
    bool analyzerShowing() const override { return analyzer; }
    void analyzerShowRoutine() override { calls.push_back("analyzer show"); }
    void analyzerCloseRoutine() override { calls.push_back("analyzer close"); }
    IMessages& messages() override { return box; }
};

struct ModemSearch : ::testing::Test {
    FakeClock clock;
    ScriptedSerialOs os{clock};
    TSerialPortDriver drv{os, clock};
    ModemLink link{drv, clock};
    FakeHost host;
    static constexpr const char* kGood = "?M742RK04-12A";

    void SetUp() override {
        // The port as the program configures it at start-up.
        drv.setHwFlow(hfNONE);
        drv.setBaudRateValue(57600);
        drv.setEnableDTROnOpen(false);
        drv.setOutputTimeout(50);
        drv.setInputTimeout(50);
        drv.SuspendPolling();
        host.link = &link;
        link.setHost(&host);
    }
    void search() { link.SwitchConnectOn(host); }
    bool foundOn(int port) const { return drv.IsOpen() && os.currentPort == port && host.connectOn; }
};

TEST_F(ModemSearch, RememberedPortFirstThenFromTheMinimum) {
    os.devices[6] = {};
    os.devices[2] = ScriptedSerialOs::answering("?garbage");
    os.devices[3] = ScriptedSerialOs::answering(kGood);
    host.spin = 6;
    search();
    EXPECT_EQ(os.openAttempts, (std::vector<int>{6, 2, 3}));
    EXPECT_TRUE(foundOn(3));
    EXPECT_EQ(host.spin, 3);
    EXPECT_EQ(link.ModemReply, "M742RK04-12A");
    EXPECT_EQ(host.panel0, "USB/RK RK04-12");
    EXPECT_TRUE(os.rts);
    EXPECT_FALSE(os.dtr);
    EXPECT_FALSE(link.ReplyWanted);
    EXPECT_TRUE(host.box.errors.empty());

    // Only the remembered port is opened when the modem is there.
    drv.ClosePort();
    os.openAttempts.clear();
    search();
    EXPECT_EQ(os.openAttempts, (std::vector<int>{3}));
    EXPECT_TRUE(foundOn(3));
}

TEST_F(ModemSearch, LinesAndWaitsAroundTheIdentification) {
    os.devices[4] = ScriptedSerialOs::answering(kGood);
    host.spin = 4;
    search();
    ASSERT_TRUE(foundOn(4));
    // Opened with both lines low by the settings, then RTS high and DTR low, then the command
    // written 10 ms after RTS went low, and RTS high again 15 ms after the write.
    std::vector<std::string> seq;
    std::vector<uint64_t> at;
    for (const auto& e : os.events) {
        seq.push_back(e.what);
        at.push_back(e.atMs);
    }
    EXPECT_EQ(seq, (std::vector<std::string>{"open Com4", "dtr 0", "rts 0", "rts 1", "rts 0",
                                             "write #? rts=0", "rts 1"}));
    EXPECT_EQ(at[5] - at[4], 10u);
    EXPECT_EQ(at[6] - at[5], 15u);
}

TEST_F(ModemSearch, IdentificationReplyRules) {
    struct Case {
        std::string reply;
        bool accepted;
        uint32_t delayMs;
    };
    const std::vector<Case> cases = {
        {"?M742ABCDEFG", true, 0},                     // 12 bytes: the shortest accepted
        {"?M742ABCDEF", false, 0},                     // six after the model
        {"?M742ABCDEFGHIJKLMNO", true, 0},             // 20 bytes
        {"?M742ABCDEFGHIJKLMNOP", false, 0},           // 21 bytes
        {"?M742ABCDEFG\r\n", false, 0},                // a line end
        {std::string("?M742ABC\0DEFG", 13), false, 0}, // another control character
        {"?M742ABC\x7f\xc0\xff"
         "DEFG",
         true, 0},                   // high bytes are characters
        {"?", false, 0},             // one byte
        {"", false, 0},              // nothing
        {"!M742ABCDEFG", false, 0},  // no "?"
        {"?M743ABCDEFG", false, 0},  // another model
        {"? M742ABCDEFG", false, 0}, // model not first
        {"?M742ABCDEFG", false, 16}, // complete only after the 15 ms
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        os.devices.clear();
        os.devices[5] = ScriptedSerialOs::answering(c.reply, c.delayMs);
        host = FakeHost{};
        host.link = &link;
        host.spin = 5;
        link.setHost(&host);
        search();
        EXPECT_EQ(foundOn(5), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(host.panel0, "USB/RK " + c.reply.substr(5, 7));
            EXPECT_EQ(link.ModemReply, c.reply.substr(1));
        } else {
            EXPECT_FALSE(drv.IsOpen());
            EXPECT_EQ(host.panel0, "Нет подключения");
            EXPECT_FALSE(host.connectOn);
        }
    }
}

TEST_F(ModemSearch, ReplyStillArrivingIsNoReply) {
    os.devices[5] = ScriptedSerialOs::answering("?M742ABC", 0, "DEFG");
    host.spin = 5;
    search();
    EXPECT_FALSE(host.connectOn);
    EXPECT_FALSE(drv.IsOpen());
}

TEST_F(ModemSearch, ModemOnTheLastPortOutrunsTheSpinEdit) {
    os.devices[256] = ScriptedSerialOs::answering(kGood);
    host.spin = 255;
    search();
    EXPECT_TRUE(foundOn(256));
    EXPECT_EQ(host.spin, 255);
    // Every number once, and the remembered one twice.
    EXPECT_EQ(os.openAttempts.size(), 1u + 255u);
    EXPECT_EQ(os.openAttempts.front(), 255);
    EXPECT_EQ(os.openAttempts.back(), 256);
}

TEST_F(ModemSearch, NoModemEndsOffWithEveryPortTriedOnce) {
    os.devices[7] = ScriptedSerialOs::answering("?M742");
    host.spin = 7.4; // read rounded
    host.analyzer = true;
    search();
    EXPECT_EQ(os.openAttempts.front(), 7);
    EXPECT_EQ(os.openAttempts.size(), 256u);
    EXPECT_EQ(os.openAttempts.back(), 256);
    EXPECT_FALSE(host.connectOn);
    EXPECT_FALSE(drv.IsOpen());
    EXPECT_EQ(host.calls,
              (std::vector<std::string>{"panel0 Нет подключения", "tasks off", "analyzer close"}));
    EXPECT_EQ(host.spin, 7.4);
    // Why is told once the switch is back: port 7 opened and gave no modem's reply.
    ASSERT_EQ(host.box.errors.size(), 1u);
    EXPECT_NE(host.box.errors[0].find("Открылись, но не ответили: 7 (COM7)."), std::string::npos);
}

TEST_F(ModemSearch, SurvivesPortsThatMisbehave) {
    os.devices[2] = ScriptedSerialOs::answering("\x01\x02\xff garbage");
    os.devices[3] = {};
    os.devices[3].flood = true;
    os.devices[4] = {};
    os.devices[4].writeChunk = 0; // takes no bytes
    os.devices[5] = {};           // silent
    os.devices[8] = ScriptedSerialOs::answering(kGood);
    host.spin = 2;
    search();
    EXPECT_TRUE(foundOn(8));
    EXPECT_EQ(os.openAttempts, (std::vector<int>{2, 2, 3, 4, 5, 6, 7, 8}));
    // The port that took nothing is a failed write; garbage and the flood are passed over.
    EXPECT_EQ(host.panel1, (std::vector<std::string>{"Сбой записи выходного буфера COM-порта",
                                                     "Модем найден: порт 8 (COM8)"}));
    // The whole search stays short: the fixed waits per port plus one write limit.
    EXPECT_LT(clock.elapsedMs(), 6u * 25u + 60u);
}

TEST_F(ModemSearch, FoundModemStartsTheShowingAnalyzer) {
    os.devices[3] = ScriptedSerialOs::answering(kGood);
    host.spin = 3;
    host.analyzer = true;
    search();
    ASSERT_TRUE(foundOn(3));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"panel0 USB/RK RK04-12", "analyzer show"}));
}

TEST_F(ModemSearch, DisconnectStopsTasksThenAnalyzerThenPort) {
    os.devices[3] = ScriptedSerialOs::answering(kGood);
    host.spin = 3;
    search();
    ASSERT_TRUE(drv.IsOpen());
    host.calls.clear();
    host.analyzer = false;
    host.connectOn = false;
    link.SwitchConnectOff(host);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"panel0 Нет подключения", "tasks off"}));
    EXPECT_FALSE(drv.IsOpen());
}

struct AlwaysFailingAdapter : IAdapterSettings {
    std::vector<std::string> ports;
    bool SetAdapterBufferSizes(int first, int second, const std::string& port, std::string& text) override {
        EXPECT_EQ(first, 256);
        EXPECT_EQ(second, 256);
        ports.push_back(port);
        text = "latency";
        return false;
    }
};

TEST_F(ModemSearch, AdapterMessageAtMostOncePerSearch) {
    AlwaysFailingAdapter adapter;
    link.setAdapterSettings(&adapter);
    os.devices[2] = ScriptedSerialOs::answering("?nothing");
    os.devices[3] = ScriptedSerialOs::answering("?nothing");
    os.devices[4] = ScriptedSerialOs::answering(kGood);
    host.spin = 2;
    search();
    EXPECT_TRUE(foundOn(4));
    EXPECT_EQ(adapter.ports,
              (std::vector<std::string>{"\\\\.\\Com2", "\\\\.\\Com2", "\\\\.\\Com3", "\\\\.\\Com4"}));
    EXPECT_EQ(host.box.errors, (std::vector<std::string>{"latency"}));
    drv.ClosePort();
    search();
    EXPECT_EQ(host.box.errors.size(), 2u);
}

struct SendToModemTest : ModemSearch {
    void SetUp() override {
        ModemSearch::SetUp();
        os.devices[9] = ScriptedSerialOs::answering(kGood);
        drv.setPortName("\\\\.\\Com9");
        ASSERT_TRUE(drv.OpenPort());
        drv.SetRtsLine(true);
    }
};

TEST_F(SendToModemTest, DataModeWaitsForNothingAndLeavesRtsAlone) {
    const size_t from = os.events.size();
    const uint64_t t0 = clock.elapsedMs();
    link.SendToModem(false, std::string("LOG0001HEADER-\0\x01", 16));
    EXPECT_EQ(clock.elapsedMs(), t0);
    EXPECT_EQ(os.eventsSince(from),
              (std::vector<std::string>{std::string("write LOG0001HEADER-\0\x01 rts=1", 28)}));
    link.SendToModem(false, "");
    link.SendToModem(true, "");
    EXPECT_EQ(os.events.size(), from + 1);
    EXPECT_EQ(clock.elapsedMs(), t0);
    EXPECT_TRUE(host.panel1.empty());
}

TEST_F(SendToModemTest, CommandLeavesIncomingBytesUnlessAReplyIsWanted) {
    os.feed("\x05\x01xyz\x40\x80");
    link.ModemReply = "old";
    link.SendToModem(true, std::string("#C\x0c", 3));
    EXPECT_EQ(os.waiting(), 7u);
    EXPECT_EQ(link.ModemReply, "old");
    EXPECT_TRUE(os.rts);

    // With a reply wanted, "#?" collects the modem's answer and clears the flag.
    drv.PurgeQueues(true, true);
    link.ReplyWanted = true;
    link.SendToModem(true, "#?");
    EXPECT_FALSE(link.ReplyWanted);
    EXPECT_EQ(link.ModemReply, "M742RK04-12A");
    EXPECT_EQ(os.waiting(), 0u);

    // A wanted reply that does not come empties ModemReply.
    link.ReplyWanted = true;
    link.SendToModem(true, std::string("#T\x02\x00\x12", 5));
    EXPECT_EQ(link.ModemReply, "");
    EXPECT_FALSE(link.ReplyWanted);
}

TEST_F(SendToModemTest, ClosedPortMakesBothWaitsAndReportsTheWrite) {
    drv.ClosePort();
    link.ReplyWanted = true;
    link.ModemReply = "M742 old";
    const uint64_t t0 = clock.elapsedMs();
    link.SendToModem(true, "#?");
    EXPECT_EQ(clock.elapsedMs() - t0, 25u);
    EXPECT_EQ(host.panel1, (std::vector<std::string>{"Сбой записи выходного буфера COM-порта"}));
    // 65535 waiting on a closed port is too many for a reply.
    EXPECT_EQ(link.ModemReply, "");
    EXPECT_TRUE(os.readSizes.empty());
}

TEST_F(SendToModemTest, StalledWriteIsReportedAndTheStepGoesOn) {
    os.devices[9].writeChunk = 0;
    const uint64_t t0 = clock.elapsedMs();
    link.SendToModem(true, std::string("#P\xc0", 3));
    const uint64_t spent = clock.elapsedMs() - t0;
    EXPECT_GE(spent, 10u + 50u + 15u);
    EXPECT_LE(spent, 10u + 53u + 15u);
    EXPECT_EQ(host.panel1.size(), 1u);
    EXPECT_TRUE(os.rts);
}

} // namespace
