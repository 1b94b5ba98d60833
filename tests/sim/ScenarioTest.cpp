#include "SimTestUtil.h"

#include "sim/Cp1251.h"

#include <fstream>

namespace {

// The error names the file and the field and says why.
void expectError(const std::string& json, const std::string& field, const std::string& why) {
    const ScenarioResult r = parseScenario(json, "bad.json");
    EXPECT_FALSE(r.ok) << json;
    EXPECT_NE(r.error.find("bad.json: "), std::string::npos) << r.error;
    EXPECT_NE(r.error.find(field + ": "), std::string::npos) << r.error;
    EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
}

TEST(ScenarioParser, ReportsFileFieldAndReason) {
    expectError("{\"modem\": ", "(top level)", "not valid JSON");
    expectError("[1, 2]", "(top level)", "must be a JSON object");
    expectError(R"({"modme": {}})", "modme", "unknown field");
    expectError(R"({"modem": {"port": 0}})", "modem.port", "out of range 1..256");
    expectError(R"({"modem": {"ports": []}})", "modem.ports", "at least one port");
    expectError(R"({"modem": {"port": 3, "ports": [4]}})", "modem.ports", "either port or ports");
    expectError(R"({"modem": {"channel": "12"}})", "modem.channel", "must be an integer");
    expectError(R"({"modem": {"noise": {"rate": -1}}})", "modem.noise.rate", "out of range");
    expectError(R"({"seed": -4})", "seed", "non-negative");
    expectError(R"({"loggers": [{"name": "D1"}, {"name": "D2", "chanel": 3}]})", "loggers[1].chanel",
                "unknown field");
    expectError(R"({"loggers": [{}]})", "loggers[0].name", "missing");
    expectError(R"({"loggers": [{"name": "D1 2"}]})", "loggers[0].name", "blanks");
    expectError(R"({"loggers": [{"name": "D1\u263A"}]})", "loggers[0].name", "Windows-1251");
    expectError(R"({"loggers": [{"name": "D1", "channel": 300}]})", "loggers[0].channel", "0..255");
    expectError(R"({"loggers": [{"name": "D1", "serial": 40000}]})", "loggers[0].serial", "out of range");
    expectError(R"({"loggers": [{"name": "D1", "needPower": 5.5}]})", "loggers[0].needPower", "integer");
    expectError(R"({"loggers": [{"name": "D1", "faults": {"damage": 1.5}}]})", "loggers[0].faults.damage",
                "out of range");
    expectError(R"({"loggers": [{"name": "D1", "faults": {"silentRequests": [0]}}]})",
                "loggers[0].faults.silentRequests[0]", "out of range");
    expectError(R"({"loggers": [{"name": "D1", "sensors": [1, 2],
                                 "records": [{"time": "2026-12-07 10:00:00", "readings": [1]}]}]})",
                "loggers[0].records[0].readings", "1 readings for 2 sensors");
    expectError(
        R"({"loggers": [{"name": "D1", "records": [{"time": "2026-02-30 10:00:00", "readings": []}]}]})",
        "loggers[0].records[0].time", "not a valid");
    expectError(R"({"loggers": [{"name": "D1", "records": [{"time": [1, 2, 3], "readings": []}]}]})",
                "loggers[0].records[0].time", "6 bytes");
    expectError(R"({"loggers": [{"name": "D1", "generate": {"count": 5},
                                 "records": [{"time": "2026-12-07 10:00:00", "readings": []}]}]})",
                "loggers[0].records", "not both");
    expectError(R"({"loggers": [{"name": "D1", "memory": 10, "generate": {"count": 11}}]})",
                "loggers[0].memory", "11 given");
    const std::string longName(55, 'D');
    expectError(R"({"loggers": [{"name": ")" + longName + R"("}]})", "loggers[0].name", "1..54 bytes");
}

TEST(ScenarioParser, TakesAFullScenario) {
    const ScenarioResult r = parseScenario(R"({"seed": 99,
      "modem": {"ports": [3, 7], "id": "M742 TEST 001", "channel": 17,
                "noise": {"rate": 5, "level": -100.5, "jitter": 0}, "reportOnlyWithDtr": false},
      "loggers": [{"name": "Dскв1", "channel": 17, "needPower": 0, "level": -90.5, "sensors": [-3, 7],
                   "serial": -5, "error": 4, "battery": 290, "clockOffset": -3600, "advance": 2, "period": 0,
                   "records": [{"time": [0, 13, 99, 24, 60, 60], "voltage": -1, "readings": [1, -2]},
                               {"time": "2026-12-07 10:00:00", "voltage": 365, "readings": [3, 4]}],
                   "faults": {"silentFirst": 1, "slowRequests": [2, 3], "slowMs": 10}}]})",
                                           "ok.json");
    ASSERT_TRUE(r.ok) << r.error;
    const Scenario& s = r.scenario;
    EXPECT_EQ(s.seed, 99u);
    EXPECT_EQ(s.modem.ports, (std::vector<int>{3, 7}));
    EXPECT_FALSE(s.modem.reportOnlyWithDtr);
    ASSERT_EQ(s.loggers.size(), 1u);
    const ScenarioLogger& l = s.loggers[0];
    EXPECT_EQ(l.name, "D\xF1\xEA\xE2\x31"); // Windows-1251 bytes
    EXPECT_EQ(l.serial, -5);
    EXPECT_EQ(l.period, 0);
    ASSERT_EQ(l.records.size(), 2u);
    EXPECT_EQ(l.records[0].stamp[1], 13); // impossible dates are kept as given
    EXPECT_EQ(l.records[1].stamp[2], 26);
    EXPECT_EQ(l.faults.slowRequests, (std::vector<int>{2, 3}));
}

TEST(ScenarioParser, Cp1251RoundTripsCyrillicAndRefusesWhatItLacks) {
    std::string out;
    ASSERT_TRUE(simtext::fromUtf8("Ёжик №5 ё", out));
    EXPECT_EQ(out, "\xA8\xE6\xE8\xEA \xB9"
                   "5 \xB8");
    EXPECT_EQ(simtext::toUtf8(out), "Ёжик №5 ё");
    EXPECT_FALSE(simtext::fromUtf8("\xE4\xB8\xAD", out)); // a CJK character
    EXPECT_FALSE(simtext::fromUtf8("\xC0\x80", out));     // overlong NUL
    EXPECT_FALSE(simtext::fromUtf8("\xD0", out));         // cut short
}

TEST(ScenarioParser, FileErrorsAndTheDemoScenario) {
    const ScenarioResult missing = loadScenarioFile("/nonexistent/x.json");
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("/nonexistent/x.json: cannot be opened"), std::string::npos);
#ifdef KV_SOURCE_DIR
    const ScenarioResult demo = loadScenarioFile(KV_SOURCE_DIR "/resources/demo/demo.json");
    ASSERT_TRUE(demo.ok) << demo.error;
    EXPECT_GE(demo.scenario.loggers.size(), 8u);
#endif
}

} // namespace
