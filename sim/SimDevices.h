#pragma once
#include "platform/Clock.h"
#include "sim/Scenario.h"
#include "sim/SimLogger.h"
#include "sim/SimRandom.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// The radio modem and the loggers it reaches, on the shared clock.
//
// Towards the computer the modem is a 57600 bit/s serial line (10 bits a byte): whatever it sends
// is laid on the line in the order it becomes ready and each byte arrives when its line time has
// passed, so a fake clock decides exactly what the input queue holds.
//
// Modem behaviour (chosen here; the program relies only on the framing):
// - "#?" answers "?" + id at once and leaves reporting mode; "#C" b tunes to channel b;
//   "#T" 02 00 12 selects task mode, "#T" 01 00 32 reporting mode, other bytes idle mode;
//   "#P" C0/60/6E sets +10/0/-10 dBm, other codes are ignored. Incomplete commands are ignored.
// - In every mode a data write goes on the air and replies come back framed as
//   [L][seq][payload][strength][0x80 | ...], L = payload + 3, payload at most 59 bytes.
// - Reporting mode adds 4-byte noise reports 03 seq strength 0x80 at the scenario's rate, while
//   DTR is high (or always, with reportOnlyWithDtr false).
// - A logger hears a request when it is on the modem's channel and the modem's power is at least
//   its need; its reply is heard only while the modem is still on that channel.
class SimDevices {
public:
    enum class Mode { Idle, Task, Reporting };

    static constexpr uint32_t kBitRate = 57600;
    static constexpr uint32_t kBitsPerByte = 10;
    static constexpr size_t kMaxPayload = 59;

    SimDevices(const Scenario& scenario, IClock& clock);

    // From the computer: a write while RTS is low, a write while RTS is high, the DTR line.
    void command(const uint8_t* data, size_t size);
    void air(const uint8_t* data, size_t size);
    void setDtr(bool on);
    // While the line's settings are wrong the modem understands nothing that is written.
    void setLineUsable(bool usable);

    // Towards the computer.
    size_t available();
    size_t read(uint8_t* buffer, size_t count);
    // Drops what has arrived; bytes still on their way keep coming, as with a real purge.
    void dropArrived();
    // Drops what has arrived and the modem's own reports still on their way: what a modem whose
    // DTR had been lowered would never have sent. Loggers' replies on their way keep coming.
    void dropArrivedAndOwnReports();
    // Microseconds on the modem's time base when the next byte will have arrived; UINT64_MAX when
    // nothing is scheduled (noise included).
    uint64_t nextArrivalUs();
    uint64_t nowUs();

    // Line time of n bytes, microseconds, rounded up.
    static uint64_t lineTimeUs(size_t n) {
        return (uint64_t(n) * kBitsPerByte * 1000000ull + kBitRate - 1) / kBitRate;
    }

    // State, for tests and logs.
    int channel() const { return channel_; }
    int powerDbm() const { return powerDbm_; }
    Mode mode() const { return mode_; }
    bool dtr() const { return dtr_; }
    const std::string& id() const { return id_; }
    const std::vector<int>& ports() const { return ports_; }
    // Where the system puts the modem's port now (an adapter plugged in again may get another).
    void setPorts(std::vector<int> ports) { ports_ = std::move(ports); }
    size_t loggerCount() const { return slots_.size(); }
    SimLogger& logger(size_t i) { return slots_[i].logger; }
    // Requests each logger heard (addressed to it), counting from 1.
    int requestsHeard(size_t i) const { return slots_[i].requests; }
    // Every request put on the air, and who answered it (logger indices).
    struct AirEvent {
        uint64_t atUs;
        std::vector<uint8_t> request;
        std::vector<size_t> answeredBy;
    };
    const std::vector<AirEvent>& airLog() const { return airLog_; }
    // The strength byte that the program reads back as this level (s / 2 - 74, s signed).
    static uint8_t strengthByte(double levelDbm);

private:
    struct Slot {
        SimLogger logger;
        ScenarioFaults faults;
        SimRandom rng;
        SimRandom linkRng;
        uint8_t seq = 0;
        int requests = 0;
        double levelDbm = -70;
        double jitterDb = 0;
        int replyDelayMs = 200;
        int packetGapMs = 2;
    };
    struct Pending {
        uint64_t readyUs;
        uint64_t order;
        std::vector<uint8_t> bytes;
        int channel; // -1: the modem's own (identification, noise), always delivered
    };
    struct Chunk {
        uint64_t startUs;
        std::vector<uint8_t> bytes;
        bool own = false; // the modem's own (identification, noise)
        size_t moved = 0;
    };

    void pump();
    void schedule(uint64_t readyUs, std::vector<uint8_t> bytes, int channel);
    void answer(Slot& slot, size_t index, LoggerReply reply, int replyChannel, uint64_t requestEndUs);
    bool reporting() const;
    void reportingMaybeChanged(bool wasReporting);
    uint64_t noiseIntervalUs();

    IClock& clock_;
    uint32_t lastTick_ = 0;
    uint64_t nowUs_ = 0;

    std::string id_;
    std::vector<int> ports_;
    int channel_;
    int powerDbm_ = 0;
    Mode mode_ = Mode::Idle;
    bool dtr_ = false;
    bool lineUsable_ = true;
    bool reportOnlyWithDtr_;
    double noiseRate_, noiseLevel_, noiseJitter_;
    SimRandom noiseRng_;
    uint8_t noiseSeq_ = 0;
    uint64_t nextNoiseUs_ = UINT64_MAX;

    std::vector<Slot> slots_;
    std::vector<Pending> pending_;
    uint64_t order_ = 0;
    std::deque<Chunk> line_;
    uint64_t lineFreeUs_ = 0;
    std::deque<uint8_t> rx_;
    std::vector<AirEvent> airLog_;
};
