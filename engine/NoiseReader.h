#pragma once
#include "platform/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// One level report taken from the modem's stream in reporting mode.
struct NoisePoint {
    TDateTime time = 0;
    double level = 0;   // dBm
    bool noise = false; // a 4-byte noise-floor report; otherwise a packet received over the air
};

// The analyzer's packet reader: cuts the modem's byte stream into packets (length byte N = L - 1,
// contents, strength byte, final byte with its top bit set) and converts each strength byte.
// A packet out of step makes it drop bytes until a tick finds the line quiet. The state lives
// from one tick to the next, so a packet may span ticks.
class NoiseReader {
public:
    static constexpr size_t kBufferSize = 4096; // the most one tick reads
    static constexpr int kNormalIntervalMs = 50;
    static constexpr int kResyncIntervalMs = 20;

    // One tick's bytes; n = 0 for a tick that found nothing waiting. Points go to out in order.
    void process(const uint8_t* data, size_t n, TDateTime now, std::vector<NoisePoint>& out);

    // A new show starts at a length byte; resynchronisation is kept.
    void resetPosition() { position_ = 0; }

    bool resynchronising() const { return resync_; }
    uint8_t packetPosition() const { return position_; }
    uint8_t packetLength() const { return length_; }
    // The interval the reading timer should run at after the last tick.
    int intervalMs() const { return resync_ ? kResyncIntervalMs : kNormalIntervalMs; }

    // The strength byte as a signed 8-bit s gives s / 2 - 74 dBm.
    static double levelFromByte(uint8_t s) { return static_cast<int8_t>(s) / 2.0 - 74.0; }

private:
    void startResync() { resync_ = true; }

    bool resync_ = false;
    uint8_t position_ = 0;
    uint8_t length_ = 0;
};
