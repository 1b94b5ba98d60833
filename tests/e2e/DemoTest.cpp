// The demo group file and scenario, as the README's start command serves them, downloaded and saved.
#include "OrxCheck.h"
#include "PtyRig.h"
#include "SimProcess.h"
#include "files/ConfigReader.h"
#include "files/OrxWriter.h"

#include <cmath>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace e2e;

namespace {

const std::string kDemoDir = std::string(KV_SOURCE_DIR) + "/resources/demo";

class ConfigHost final : public IConfigHost {
public:
    void setModemChannel(int c) override { channel = c; }
    void setCaption(const std::string& t) override { caption = t; }
    IMessages& messages() override { return msgs; }
    int channel = -1;
    std::string caption;
    rig::ScriptedMessages msgs;
};

// What the test needs of the demo scenario, with the format's defaults (sim/README.md). Read
// here, apart from the simulator's own parser, so that the expectations come from the format as
// documented rather than from the code under test.
struct DemoGenerate {
    int count = 0, voltage = 365, base = 0, amplitude = 40, sensorStep = 16;
};
struct DemoLogger {
    std::string name;
    int serial = 0, error = 0, battery = 365, advance = 0, period = 3;
    std::vector<int16_t> sensorCodes;
    size_t givenRecords = 0;
    DemoGenerate generate;
    bool silent = false;
};
struct Demo {
    int port = 6, channel = 20;
    std::string id = "M742 SIM v1.0";
    std::vector<DemoLogger> loggers;
};

Demo readDemo(const std::string& path) {
    const nlohmann::json j = nlohmann::json::parse(readText(path));
    Demo d;
    const nlohmann::json m = j.value("modem", nlohmann::json::object());
    d.port = m.value("port", d.port);
    d.channel = m.value("channel", d.channel);
    d.id = m.value("id", d.id);
    for (const nlohmann::json& l : j.at("loggers")) {
        DemoLogger x;
        x.name = l.at("name").get<std::string>();
        x.serial = l.value("serial", 0);
        x.error = l.value("error", 0);
        x.battery = l.value("battery", 365);
        x.advance = l.value("advance", 0);
        x.period = l.value("period", 3);
        for (int c : l.value("sensors", std::vector<int>{}))
            x.sensorCodes.push_back(static_cast<int16_t>(c));
        x.givenRecords = l.value("records", nlohmann::json::array()).size();
        const nlohmann::json g = l.value("generate", nlohmann::json::object());
        x.generate.count = g.value("count", 0);
        x.generate.voltage = g.value("voltage", 365);
        x.generate.base = g.value("base", 0);
        x.generate.amplitude = g.value("amplitude", 40);
        x.generate.sensorStep = g.value("sensorStep", 16);
        x.silent = l.value("faults", nlohmann::json::object()).value("silent", false);
        d.loggers.push_back(x);
    }
    return d;
}

bool emptyMemory(const DemoLogger& l) {
    return l.givenRecords == 0 && l.generate.count == 0;
}

// A generated reading as the simulator's formula makes it, from the record's own time.
int generatedReading(const DemoGenerate& g, TDateTime t, int k) {
    const int64_t s = dt::toSeconds(t);
    const double dayFraction = static_cast<double>(((s % 86400) + 86400) % 86400) / 86400.0;
    const double pi = 3.14159265358979323846;
    return g.base + g.sensorStep * k +
           static_cast<int>(std::nearbyint(g.amplitude * std::sin(2 * pi * dayFraction + 0.5 * k)));
}

} // namespace

TEST(DemoOverPty, DemoGroupDownloadsWithTheExpectedStatesAndSaves) {
    const Demo demo = readDemo(kDemoDir + "/demo.json");
    const std::vector<DemoLogger>& sl = demo.loggers;

    SimProcess sim(demo.port, kDemoDir + "/demo.json");
    ASSERT_TRUE(sim.waitForLink()) << sim.errors();
    PtyRig rig(sim.pattern());

    ConfigHost cfg;
    LoadConfiguration(kDemoDir + "/demo.cfg", rig.table, cfg);
    ASSERT_TRUE(cfg.msgs.errors.empty()) << cfg.msgs.errors.front();
    ASSERT_EQ(rig.table.LoggerCount, static_cast<int>(sl.size()));
    for (size_t i = 0; i < sl.size(); ++i) {
        EXPECT_EQ(rig.table.loggers[i].LoggerName, sl[i].name);
        EXPECT_FALSE(rig.table.loggers[i].LoggerComment.empty()) << i;
    }
    EXPECT_EQ(cfg.channel, demo.channel);
    rig.modemChannelValue = cfg.channel;

    ASSERT_TRUE(rig.connectFound(2)); // from the minimum up to the demo's port
    EXPECT_EQ(rig.spin, demo.port);
    EXPECT_EQ(rig.panel0, "USB/RK " + demo.id.substr(4, 7));

    // The silent logger would hold the test for 26 s per attempt: left unticked.
    for (size_t i = 0; i < sl.size(); ++i)
        if (sl[i].silent)
            rig.unticked[static_cast<int>(i)] = true;
    ASSERT_EQ(rig.unticked.size(), 1u);
    const TDateTime now = rig.clock.now();
    rig.begin = now - 2;
    rig.finish = now;
    rig.blockPosition = 0;
    rig.powers[0] = 0; // "+10": every answering logger in the first attempt
    ASSERT_TRUE(rig.start(TTaskKind::Download));
    rig.run(25000);
    ASSERT_FALSE(rig.taskRunning()) << "the task did not end";

    EXPECT_EQ(rig.engine.droppedRecords(), 0);
    EXPECT_TRUE(rig.table.invariantsHold());
    for (size_t i = 0; i < sl.size(); ++i) {
        const DemoLogger& s = sl[i];
        const LoggerTable::Logger& l = rig.table.loggers[i];
        const int row = static_cast<int>(i);
        if (s.silent) {
            EXPECT_EQ(l.LoggerState, NotPolled) << s.name;
            continue;
        }
        ASSERT_TRUE(rig.shown.count(row)) << s.name << ": no status";
        EXPECT_EQ(rig.shown[row].error, s.error) << s.name;
        EXPECT_EQ(rig.shown[row].sensorCount, static_cast<int>(s.sensorCodes.size())) << s.name;
        EXPECT_NEAR(rig.shown[row].battery, s.battery / 100.0, 1e-9) << s.name;
        EXPECT_EQ(l.StringSerial, s.serial);
        EXPECT_EQ(l.SensorCodes, s.sensorCodes);
        if (emptyMemory(s)) {
            EXPECT_EQ(l.LoggerState, NoMeasurements) << s.name;
            EXPECT_TRUE(l.RecordTimes.empty());
            continue;
        }
        EXPECT_EQ(l.LoggerState, TaskDone) << s.name;
        ASSERT_FALSE(l.RecordTimes.empty()) << s.name;
        // Oldest first, one period apart, the newest at the logger's own last period boundary.
        const int64_t step = int64_t(s.period) * 3600;
        const int64_t loggerClock = dt::toSeconds(rig.shown[row].clock) - int64_t(s.advance) * 8;
        EXPECT_EQ(dt::toSeconds(l.RecordTimes.back()), loggerClock / step * step) << s.name;
        EXPECT_EQ(l.RecordTimes.size(), static_cast<size_t>(std::nearbyint(2 * 24.0 / s.period))) << s.name;
        for (size_t k = 0; k < l.RecordTimes.size(); ++k) {
            if (k > 0) {
                EXPECT_EQ(dt::toSeconds(l.RecordTimes[k]) - dt::toSeconds(l.RecordTimes[k - 1]), step)
                    << s.name;
            }
            EXPECT_EQ(l.RecordVoltages[k], s.generate.voltage) << s.name;
            for (size_t c = 0; c < l.SensorReadings.size(); ++c)
                EXPECT_EQ(l.SensorReadings[c][k],
                          generatedReading(s.generate, l.RecordTimes[k], static_cast<int>(c)))
                    << s.name << " record " << k << " sensor " << c;
        }
    }

    // Saved with the demo's Cyrillic comments; every signature holds.
    const std::string path = sim.folder() + "/Archive/demo.orx";
    ASSERT_EQ(WriteFile(path, rig.table, rig.tickedRows(), rig.clock.now()), orx::WriteResult::Ok);
    const OrxFile file = readOrx(readText(path));
    EXPECT_TRUE(file.faults.empty()) << file.faults.front();
    size_t written = 0;
    for (size_t i = 0; i < sl.size(); ++i)
        written += orx::loggerWritten(rig.table, rig.tickedRows(), i) ? 1 : 0;
    ASSERT_EQ(file.loggers.size(), written);
    size_t records = 0;
    for (const OrxLogger& fl : file.loggers)
        records += fl.records.size();
    EXPECT_EQ(records, static_cast<size_t>(rig.table.LoadedRecordCount));

    rig.disconnect();
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(sim.linkExists());
}
