#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a simulated modem and its loggers look like; read from one JSON format (sim/README.md)
// that the in-process device, kestrovane-sim, the demo and the tests share.

// Injected faults of one logger. Fractions are probabilities in 0..1 drawn from the logger's own
// seeded generator, so a scenario replays the same faults on every run.
struct ScenarioFaults {
    double statusBitClear = 0; // per packet: status byte without bit 7
    double sequenceGap = 0;    // per reply: one sequence number skipped
    double badRecordCrc = 0;   // per record sent: checksum byte spoiled
    double truncate = 0;       // per reply: the byte stream cut short
    double damage = 0;         // per packet: one bit of one byte flipped
    double slowFraction = 0;   // per reply: slowMs added to the reply delay
    // A poor radio link, drawn from a generator of their own so that the faults above replay as
    // before: a packet whose radio check failed (status bit clear, its payload spoiled), and a
    // packet that never arrives (its sequence number is used all the same).
    double spoiledPacket = 0;        // per packet
    double lostPacket = 0;           // per packet
    bool silent = false;             // never answers
    int silentFirst = 0;             // the first k requests get no reply
    std::vector<int> silentRequests; // request numbers (from 1) that get no reply
    std::vector<int> slowRequests;   // request numbers answered slowMs late
    int slowMs = 3000;
};

// A record given explicitly: the six date/time bytes as stored (day, month, year in century,
// hour, minute, second), so impossible dates can be given on purpose.
struct ScenarioRecord {
    uint8_t stamp[6] = {};
    int16_t voltage = 0;
    std::vector<int16_t> readings;
};

// Records made from a formula: reading k at time t is
// base + sensorStep * k + Round(amplitude * sin(2 pi * (time of day) + 0.5 k)).
struct ScenarioGenerate {
    int count = 0;
    int voltage = 365;
    int base = 0;
    int amplitude = 40;
    int sensorStep = 16;
};

struct ScenarioLogger {
    std::string name; // Windows-1251 bytes
    int channel = 20;
    int needPowerDbm = -10; // lowest transmitter power at which it hears the modem
    double levelDbm = -70;  // signal level of its replies as the modem receives them
    double levelJitterDb = 0;
    int stringType = 3;
    int serial = 0; // signed 16-bit
    std::vector<int16_t> sensorCodes;
    int error = 0;
    int battery = 365;          // hundredths of a volt
    int64_t clockOffsetSec = 0; // its clock minus the computer's
    int advance = 0;            // clock advance, units of 8 s
    int period = 3;             // hours
    int memory = 65535;         // record capacity
    bool measuring = true;      // takes a record at every period boundary
    int firstSequence = -1;     // -1: drawn from the seed
    int replyDelayMs = 200;
    int packetGapMs = 2;
    std::vector<ScenarioRecord> records; // oldest first
    ScenarioGenerate generate;
    ScenarioFaults faults;
};

struct ScenarioModem {
    std::vector<int> ports{6};
    std::string id = "M742 SIM v1.0"; // the identification reply without its "?"
    int channel = 20;
    double noiseRate = 10; // reports per second in reporting mode
    double noiseLevelDbm = -110;
    double noiseJitterDb = 3;
    bool reportOnlyWithDtr = true;
};

struct Scenario {
    uint64_t seed = 1;
    ScenarioModem modem;
    std::vector<ScenarioLogger> loggers;
};

struct ScenarioResult {
    bool ok = false;
    std::string error; // "file: field: why" when not ok
    Scenario scenario;
};

// Never throws; a bad scenario comes back as !ok with a message naming the file and the field.
ScenarioResult parseScenario(std::string_view json, const std::string& fileName);
ScenarioResult loadScenarioFile(const std::string& path);
