// Any bytes as a scenario: the parser must answer with a result, never crash; a scenario it
// accepts must run its devices through a status and a block request.
#include "platform/FakeClock.h"
#include "sim/Scenario.h"
#include "sim/SimDevices.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ScenarioResult r =
        parseScenario(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.json");
    if (!r.ok) {
        if (r.error.rfind("fuzz.json: ", 0) != 0)
            __builtin_trap(); // every error names its file
        return 0;
    }
    size_t cells = 0;
    for (const ScenarioLogger& l : r.scenario.loggers)
        cells += (size_t(l.generate.count) + l.records.size()) * (l.sensorCodes.size() + 1);
    if (cells > 2'000'000)
        return 0; // valid, only slow
    FakeClock clock;
    SimDevices devices(r.scenario, clock);
    devices.command(reinterpret_cast<const uint8_t*>("#T\x01\x00\x32"), 5);
    devices.setDtr(true);
    for (size_t i = 0; i < devices.loggerCount(); ++i) {
        const std::string name = devices.logger(i).name();
        const uint8_t ch[3] = {'#', 'C', static_cast<uint8_t>(devices.logger(i).channel())};
        devices.command(ch, 3);
        devices.command(reinterpret_cast<const uint8_t*>("#P\xC0"), 3);
        const std::string status = name + "HEADER-";
        devices.air(reinterpret_cast<const uint8_t*>(status.data()), status.size());
        const std::string block = name + std::string("D\x00\x00\x00\x40--", 7);
        devices.air(reinterpret_cast<const uint8_t*>(block.data()), block.size());
        clock.advanceMs(1000);
        uint8_t buf[4096];
        while (devices.read(buf, sizeof buf) > 0) {
        }
    }
    clock.advanceMs(20000);
    uint8_t buf[4096];
    while (devices.read(buf, sizeof buf) > 0) {
    }
    return 0;
}
