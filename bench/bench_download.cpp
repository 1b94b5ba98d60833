// Download throughput against the simulated logger on the fake clock, and the CPU cost of one
// reception tick over a full buffer. Prints figures; asserts nothing about speed.
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/SimEngineRig.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>

using namespace enginetest;

namespace {

struct Outcome {
    double simulatedS = 0;
    bool recordsRight = false; // every record of the logger's in the table once, in order, none else
};

// onArrival: bytes are read as they arrive (the port's notifier, waking 1 ms after a byte, as an
// adapter at its 1 ms latency delivers them), besides the 50 ms reception ticks. faults: the
// logger's fault object in the scenario's JSON.
Outcome downloadAt(int position, bool onArrival, int count = 20000, const std::string& faults = "{}",
                   bool print = true, int replyDelayMs = 0, int seed = 5) {
    const std::string json =
        R"({"seed": )" + std::to_string(seed) +
        R"(, "modem": {"port": 6}, "loggers": [{"name": "D0042", "period": 1, "measuring": false,
        "packetGapMs": 0, "sensors": [1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16], "generate": {"count": )" +
        std::to_string(count) + "}, \"replyDelayMs\": " + std::to_string(replyDelayMs) +
        ", \"faults\": " + faults + "}]}";
    rig::SimEngineRig r(json);
    FakeClock& clock = r.clock;
    SimDevices& devices = r.devices;
    LoggerTable& table = r.table;
    rig::DrivenEngine& driven = r.driven;
    r.host.blockPosition = position;
    r.host.begin = clock.now() - 900;
    r.host.finish = clock.now();
    r.addLoggers({"D0042"});

    // The port's notifier wakes 1 ms after a byte, as an adapter at its 1 ms latency delivers them.
    const TaskDriver::ByteWait arrival = [&](uint32_t ms) {
        const uint64_t arrivalUs = devices.nextArrivalUs();
        if (arrivalUs == UINT64_MAX)
            return false;
        const uint64_t nowUs = devices.nowUs();
        const uint64_t inMs = (arrivalUs > nowUs ? (arrivalUs - nowUs + 999) / 1000 : 0) + 1;
        if (inMs >= ms)
            return false;
        clock.advanceMs(inMs);
        return true;
    };
    const auto cpu0 = std::chrono::steady_clock::now();
    const uint64_t t0 = clock.elapsedMs();
    if (!driven.start(TTaskKind::Download))
        return {};
    while (driven.engine.running())
        driven.driver.runOnce(onArrival ? arrival : TaskDriver::ByteWait{});
    const double cpuMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - cpu0).count();
    const int blocks = driven.limitRestarts - 1;
    const double simS = (clock.elapsedMs() - t0) / 1000.0;
    const double lineS = (SimDevices::lineTimeUs(r.os.bytesIn) + SimDevices::lineTimeUs(r.os.bytesOut)) / 1e6;
    if (print)
        std::printf("%-10s block %4d B: %5d records in %4d blocks, simulated %7.1f s, line %7.1f s "
                    "(x%.3f), overhead %5.1f ms/block, host CPU %.0f ms\n",
                    onArrival ? "on arrival" : "ticks only", 512 << (3 - position), table.LoadedRecordCount,
                    blocks, simS, lineS, simS / lineS, blocks > 0 ? (simS - lineS) * 1000.0 / blocks : 0.0,
                    cpuMs);
    Outcome out;
    out.simulatedS = simS;
    const auto& held = devices.logger(0).records();
    const auto& times = table.loggers[0].RecordTimes;
    out.recordsRight = times.size() == held.size();
    for (size_t k = 0; out.recordsRight && k < held.size(); ++k) {
        const uint8_t* st = held[k].stamp;
        out.recordsRight = dt::toSeconds(times[k]) ==
                           dt::toSeconds(dt::encode(2000 + st[2], st[1], st[0], st[3], st[4], st[5]));
    }
    return out;
}

// Poor links against a good one, at every block size: each download's simulated time divided by
// the good link's, summed over a few link seeds, and whether its records are the logger's own.
void damagedLinks(int replyDelayMs) {
    const std::pair<const char*, const char*> links[] = {
        {"0% spoiled", "{}"},
        {"1% spoiled", R"({"spoiledPacket": 0.01})"},
        {"2% spoiled", R"({"spoiledPacket": 0.02})"},
        {"5% spoiled", R"({"spoiledPacket": 0.05})"},
        {"10% spoiled", R"({"spoiledPacket": 0.10})"},
        {"20% spoiled", R"({"spoiledPacket": 0.20})"},
        {"1% lost", R"({"lostPacket": 0.01})"},
        {"5% cut short", R"({"truncate": 0.05})"},
        {"2% sp+1% lost+5% cut", R"({"spoiledPacket": 0.02, "lostPacket": 0.01, "truncate": 0.05})"},
    };
    constexpr int kSeeds = 8;
    std::printf("\n1000 records of 16 sensors, replies %d ms after their request, time / good link's over %d "
                "seeds (! where a record is wrong):\n%-22s",
                replyDelayMs, kSeeds, "link");
    for (int position = 3; position >= 0; --position)
        std::printf("%12d B", 512 << (3 - position));
    std::printf("\n");
    double good[4] = {};
    for (int position = 3; position >= 0; --position)
        good[position] = downloadAt(position, true, 1000, "{}", false, replyDelayMs).simulatedS * kSeeds;
    for (const auto& [name, faults] : links) {
        std::printf("%-22s", name);
        for (int position = 3; position >= 0; --position) {
            double total = 0;
            bool right = true;
            for (int seed = 1; seed <= kSeeds; ++seed) {
                const Outcome o = downloadAt(position, true, 1000, faults, false, replyDelayMs, seed);
                total += o.simulatedS;
                right = right && o.recordsRight;
            }
            std::printf("%10.2f x%s", total / good[position], right ? " " : "!");
        }
        std::printf("\n");
    }
}

void tickCost() {
    Harness h;
    h.addLoggers({"D0042"});
    h.host.blockPosition = 0;
    TestLogger l{"D0042"};
    l.status.codes.assign(16, 1);
    l.records = makeRecords(h.clock.now(), 2000, 3, 16);
    l.spoil = [](const std::string& req, Bytes&) { return req[5] != 'D'; };
    h.attach(l);
    h.start(TTaskKind::Download);
    while (h.engine.taskStep() != TaskEngine::AwaitBlock && h.engine.running())
        h.step();
    // 4096 bytes of well-framed packets, continuing the sequence.
    uint8_t seq = 0;
    Bytes stream;
    while (stream.size() + 63 <= 4096) {
        const Bytes p = packet(seq++, Bytes(59, 0x33));
        stream.insert(stream.end(), p.begin(), p.end());
    }
    stream.resize(4096, 0x3E);
    const int rounds = 2000;
    double total = 0;
    for (int i = 0; i < rounds; ++i) {
        h.engine.restartReception();
        h.os.feed(stream);
        const auto t = std::chrono::steady_clock::now();
        h.engine.TimerReadStreamTimer();
        total += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t).count();
    }
    std::printf("reception tick over a full 4096-byte buffer: %.1f us (mean of %d)\n", total / rounds,
                rounds);
}

} // namespace

int main() {
    for (bool onArrival : {false, true})
        for (int position = 3; position >= 0; --position)
            downloadAt(position, onArrival);
    tickCost();
    damagedLinks(0);
    damagedLinks(200);
    return 0;
}
