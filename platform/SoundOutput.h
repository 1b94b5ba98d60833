#pragma once
#include <cstdint>
#include <vector>

// Where the sound notices go: a sound card on Linux, winmm on Windows, a recorder in tests.
class ISoundOutput {
public:
    virtual ~ISoundOutput() = default;
    // Plays a whole WAV file held in memory and returns at once; a later call cuts off a sound
    // still playing. Data that is no playable WAV stays silent.
    virtual void playWav(const std::vector<uint8_t>& data) = 0;
    // Sounds one tone and returns when it has finished.
    virtual void tone(int hz, int ms) = 0;
};
