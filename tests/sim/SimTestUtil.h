#pragma once
#include "platform/FakeClock.h"
#include "sim/Scenario.h"
#include "sim/SimDevices.h"
#include "sim/SimSerialOs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes bytesOf(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

inline Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One parsed packet of the modem's output.
struct Packet {
    uint8_t length = 0;
    uint8_t seq = 0;
    Bytes payload;
    uint8_t strength = 0;
    uint8_t status = 0;
};

// Splits a byte stream by its length bytes; a cut-off tail is left out and reported in rest.
inline std::vector<Packet> splitPackets(const Bytes& in, size_t* rest = nullptr) {
    std::vector<Packet> out;
    size_t i = 0;
    while (i < in.size()) {
        const size_t total = size_t(in[i]) + 1;
        if (total < 4 || i + total > in.size())
            break;
        Packet p;
        p.length = in[i];
        p.seq = in[i + 1];
        p.payload.assign(in.begin() + long(i) + 2, in.begin() + long(i + total) - 2);
        p.strength = in[i + total - 2];
        p.status = in[i + total - 1];
        out.push_back(p);
        i += total;
    }
    if (rest)
        *rest = in.size() - i;
    return out;
}

inline Scenario parseOrDie(const std::string& json) {
    ScenarioResult r = parseScenario(json, "test.json");
    EXPECT_TRUE(r.ok) << r.error;
    return r.scenario;
}

// A fake clock, the devices of a scenario and their port, opened and set up as the program does.
struct Rig {
    explicit Rig(const std::string& json, TDateTime start = dt::encode(2026, 12, 7, 12, 0, 0))
        : clock(start), devices(parseOrDie(json), clock), os(devices) {}

    void openAsProgram(int port = 6) {
        ASSERT_TRUE(os.open("\\\\.\\Com" + std::to_string(port)));
        SerialLineSettings s;
        s.baudRate = 57600;
        ASSERT_TRUE(os.configure(s));
        os.setRts(true);
        os.setDtr(false);
    }
    void command(const Bytes& b) {
        os.setRts(false);
        uint32_t w = 0;
        os.write(b.data(), uint32_t(b.size()), w);
        os.setRts(true);
    }
    void air(const Bytes& b) {
        uint32_t w = 0;
        os.write(b.data(), uint32_t(b.size()), w);
    }
    Bytes readAll() {
        uint32_t in = 0, out = 0;
        os.queueCounts(in, out);
        Bytes b(in);
        uint32_t got = 0;
        os.read(b.data(), in, got);
        b.resize(got);
        return b;
    }
    // Lets the clock run long enough for any reply and returns everything that came.
    Bytes waitReply(uint64_t ms = 2000) {
        clock.advanceMs(ms);
        return readAll();
    }

    FakeClock clock;
    SimDevices devices;
    SimSerialOs os;
};
