#pragma once
// The engine against the in-process simulated modem and loggers of a scenario, through the
// program's own serial driver and modem link, on one fake clock, its events recorded.
#include "modem/ModemLine.h"
#include "modem/ModemLink.h"
#include "sim/Scenario.h"
#include "sim/SimDevices.h"
#include "sim/SimSerialOs.h"
#include "tests/serial/SerialOsTap.h"
#include "tests/support/EngineRig.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace rig {

inline Scenario scenarioOf(const std::string& json) {
    ScenarioResult r = parseScenario(json, "rig.json");
    if (!r.ok)
        throw std::invalid_argument(r.error);
    return r.scenario;
}

struct SimEngineRig {
    explicit SimEngineRig(const std::string& json, TDateTime start = dt::encode(2026, 12, 7, 12, 0, 0))
        : clock(start), devices(scenarioOf(json), clock), os(devices), port(os, clock), link(port, clock),
          driven(table, port, link, clock, host) {
        setModemLine(port);
        port.setPortName("\\\\.\\Com6");
        port.OpenPort();
        // Only the modem's search sets these; the rig finds it on COM6 at once.
        port.SetRtsLine(true);
        port.SetDtrLine(false);
    }
    void addLoggers(const std::vector<std::string>& names) {
        for (const std::string& n : names)
            table.appendLogger(n, "");
        table.AllocateTable();
    }
    bool start(TTaskKind kind) { return driven.start(kind); }
    void step() { driven.step(); }
    void run(uint64_t maxMs = 30 * 60 * 1000) { driven.run(maxMs); }
    int state(int i) const { return table.loggers[static_cast<size_t>(i)].LoggerState; }
    SimSerialOs& sim() { return os.real; }

    FakeClock clock;
    SimDevices devices;
    SerialOsTap<SimSerialOs> os; // counts the bytes that cross the line each way
    TSerialPortDriver port;
    ModemLink link;
    LoggerTable table;
    FakeFront host;
    DrivenEngine driven;
    TaskEngine& engine = driven.engine;
    TaskDriver& driver = driven.driver;
};

} // namespace rig
