#pragma once
// Fakes around the task engine: a modem that records what it is given, a small logger that
// answers requests over a scripted port, and a harness that drives the engine through its driver.
#include "engine/Crc8.h"
#include "engine/LoggerTable.h"
#include "engine/TaskEngine.h"
#include "modem/ModemSender.h"
#include "platform/FakeClock.h"
#include "serial/TSerialPortDriver.h"
#include "tests/serial/ScriptedSerialOs.h"
#include "tests/support/EngineRig.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace enginetest {

using Bytes = std::vector<uint8_t>;

inline Bytes bytesOf(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

using rig::FakeFront;
using rig::ScriptedMessages;

class RecordingModem final : public IModemSender {
public:
    struct Sent {
        bool command;
        std::string bytes;
    };
    void SendToModem(bool command, const std::string& text) override {
        sent.push_back({command, text});
        if (!command && onAir)
            onAir(text);
    }
    std::vector<std::string> commands() const {
        std::vector<std::string> out;
        for (const Sent& s : sent)
            if (s.command)
                out.push_back(s.bytes);
        return out;
    }
    std::vector<std::string> air() const {
        std::vector<std::string> out;
        for (const Sent& s : sent)
            if (!s.command)
                out.push_back(s.bytes);
        return out;
    }
    std::vector<Sent> sent;
    std::function<void(const std::string&)> onAir;
};

// Packet framing as the modem delivers it.
inline Bytes packet(uint8_t seq, const Bytes& payload, uint8_t strength = 0x20, uint8_t status = 0x80) {
    Bytes p;
    p.push_back(static_cast<uint8_t>(payload.size() + 3));
    p.push_back(seq);
    p.insert(p.end(), payload.begin(), payload.end());
    p.push_back(strength);
    p.push_back(status);
    return p;
}

// A whole reply: the text in the first packet, the data in packets of at most 59 bytes.
inline Bytes reply(uint8_t& seq, const std::string& text, const Bytes& data = {}, uint8_t strength = 0x20) {
    Bytes out = packet(seq++, bytesOf(text), strength);
    for (size_t at = 0; at < data.size(); at += 59) {
        const Bytes part(data.begin() + static_cast<long>(at),
                         data.begin() + static_cast<long>(std::min(data.size(), at + 59)));
        const Bytes p = packet(seq++, part, strength);
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

inline void putBe16(Bytes& b, int v) {
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    b.push_back(static_cast<uint8_t>(v & 0xFF));
}

struct StatusImage {
    std::string name;
    uint8_t type = 3;
    int serial = 1234;
    std::vector<int> codes{100, 200};
    uint8_t error = 0;
    int battery = 365;
    uint8_t clock[6] = {7, 12, 26, 10, 20, 30};
    int advance = 0;
    uint8_t period = 3;
    int count = 0;
};

inline Bytes statusBytes(const StatusImage& s) {
    Bytes b = bytesOf(s.name);
    b.push_back(s.type);
    putBe16(b, s.serial);
    b.push_back(static_cast<uint8_t>(s.codes.size()));
    for (int c : s.codes)
        putBe16(b, c);
    b.push_back(0);
    b.push_back(crc8::compute(b.data(), b.size()));
    b.push_back(s.error);
    putBe16(b, s.battery);
    b.insert(b.end(), s.clock, s.clock + 6);
    putBe16(b, s.advance);
    b.push_back(s.period);
    putBe16(b, s.count);
    return b;
}

struct RecordImage {
    uint8_t stamp[6] = {7, 12, 26, 10, 0, 0};
    int voltage = 365;
    std::vector<int> readings;
};

inline Bytes recordBytes(const RecordImage& r) {
    Bytes b(r.stamp, r.stamp + 6);
    putBe16(b, r.voltage);
    for (int v : r.readings)
        putBe16(b, v);
    b.push_back(0);
    b.push_back(crc8::compute(b.data(), b.size()));
    return b;
}

// A logger that answers over the scripted device: its status, its records (newest last; offset 0
// is the newest), the one-shot acknowledgements. Hooks let a test spoil or withhold a reply.
class TestLogger {
public:
    explicit TestLogger(std::string loggerName) : name(std::move(loggerName)) {}
    std::string name;
    StatusImage status;
    std::vector<Bytes> records; // each recordBytes(), oldest first
    uint8_t seq = 0x10;
    uint64_t delayMs = 120;
    bool silent = false;
    bool answerEmpty = false; // "EMPTY" to the status request
    int storedCount = -1;     // the count its status reports; -1: as many as it holds
    // Called with the request and the framed reply; may change the reply or return false to drop it.
    std::function<bool(const std::string& request, Bytes& framed)> spoil;
    std::vector<std::string> heard;
    const IClock* clock = nullptr; // set: its status clock reads this clock's time
    int64_t clockOffsetSec = 0;    // its clock minus that time
    bool takesTime = true;         // false: acknowledges a clock setting and keeps its own

    Bytes answer(const std::string& request) {
        const std::string body = request.substr(name.size());
        if (body == "HEADER-") {
            if (answerEmpty)
                return reply(seq, name + "EMPTY");
            StatusImage s = status;
            s.name = name;
            if (clock) {
                const DateTimeParts p = dt::decode(clock->now() + clockOffsetSec / 86400.0);
                const int v[6] = {p.day, p.month, p.year % 100, p.hour, p.minute, p.second};
                for (int k = 0; k < 6; ++k)
                    s.clock[k] = static_cast<uint8_t>(v[k]);
            }
            s.count = storedCount >= 0 ? storedCount : static_cast<int>(records.size());
            return reply(seq, name + "START", statusBytes(s));
        }
        if (body.size() == 7 && body[0] == 'D') {
            const auto u = [&](size_t i) { return static_cast<uint8_t>(body[i]); };
            const int offset = u(1) << 8 | u(2);
            const int count = u(3) << 8 | u(4);
            const int n = static_cast<int>(records.size());
            Bytes data;
            for (int i = n - offset - count; i < n - offset; ++i)
                if (i >= 0 && i < n)
                    data.insert(data.end(), records[static_cast<size_t>(i)].begin(),
                                records[static_cast<size_t>(i)].end());
            return reply(seq, name + "START", data);
        }
        if (body == "ERASE--")
            return reply(seq, name + "ERASE");
        if (body.size() == 7 && body[0] == 'T' && clock && takesTime) {
            const auto u = [&](size_t i) { return static_cast<int>(static_cast<uint8_t>(body[i])); };
            const TDateTime set = dt::encode(2000 + u(3), u(2), u(1), u(4), u(5), u(6));
            clockOffsetSec = dt::toSeconds(set) - dt::toSeconds(clock->now());
        }
        return reply(seq, name + "READY");
    }
};

struct Harness {
    FakeClock clock;
    ScriptedSerialOs os{clock};
    TSerialPortDriver port{os, clock};
    RecordingModem modem;
    LoggerTable table;
    FakeFront host;
    rig::DrivenEngine driven{table, port, modem, clock, host};
    TaskEngine& engine = driven.engine;
    TaskDriver& driver = driven.driver;
    std::vector<TestLogger*> loggers;

    Harness() {
        os.devices[6] = {};
        port.setPortName("\\\\.\\COM6");
        port.OpenPort();
        host.begin = clock.now() - 31;
        host.finish = clock.now();
        modem.onAir = [this](const std::string& request) {
            for (TestLogger* l : loggers) {
                if (request.compare(0, l->name.size(), l->name) != 0 || request.size() != l->name.size() + 7)
                    continue;
                l->heard.push_back(request);
                if (l->silent)
                    continue;
                Bytes framed = l->answer(request);
                if (l->spoil && !l->spoil(request, framed))
                    continue;
                os.feed(framed, l->delayMs);
            }
        };
    }

    void addLoggers(const std::vector<std::string>& names) {
        for (const std::string& n : names)
            table.appendLogger(n, "");
        table.AllocateTable();
    }
    // Its status clock keeps the harness's time, as a logger's clock does.
    void attach(TestLogger& l) {
        l.clock = &clock;
        loggers.push_back(&l);
    }

    bool start(TTaskKind kind) { return driven.start(kind); }
    void run(uint64_t maxMs = 10 * 60 * 1000) { driven.run(maxMs); }
    void step() { driven.step(); }
    void runFor(uint32_t ms) { driven.runFor(ms); }
    int state(int i) const { return table.loggers[static_cast<size_t>(i)].LoggerState; }
};

// Records at one period boundary after another, ending one period before now.
inline std::vector<Bytes> makeRecords(TDateTime now, int count, int periodHours, int sensors, int seed = 0) {
    std::vector<Bytes> out;
    const int64_t nowSec = dt::toSeconds(now);
    const int64_t step = int64_t(periodHours) * 3600;
    const int64_t last = nowSec / step * step;
    for (int i = 0; i < count; ++i) {
        const DateTimeParts p = dt::decode(dt::fromSeconds(last - step * (count - 1 - i)));
        RecordImage r;
        const int stamp[6] = {p.day, p.month, p.year % 100, p.hour, p.minute, p.second};
        for (int k = 0; k < 6; ++k)
            r.stamp[k] = static_cast<uint8_t>(stamp[k]);
        r.voltage = 300 + (i + seed) % 50;
        for (int k = 0; k < sensors; ++k)
            r.readings.push_back((i * 7 + k * 13 + seed) % 2000 - 1000);
        out.push_back(recordBytes(r));
    }
    return out;
}

} // namespace enginetest
