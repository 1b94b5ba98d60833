#pragma once
#include "platform/SoundOutput.h"

#include <cstdint>
#include <vector>

// Notices through SDL2's audio on Linux (plain C++; it sits in ui/ because that library is the
// one linked with SDL). Without a sound device every call is silent and harmless; tone() still
// takes its time, so a tone sequence holds the window as long as on a system speaker.
class SoundOutputSdl final : public ISoundOutput {
public:
    SoundOutputSdl();
    ~SoundOutputSdl() override;
    SoundOutputSdl(const SoundOutputSdl&) = delete;
    SoundOutputSdl& operator=(const SoundOutputSdl&) = delete;

    void playWav(const std::vector<uint8_t>& data) override;
    void tone(int hz, int ms) override;

    bool available() const { return initialised_; }
    // Until the WAV last started has been handed to the device; for tests and for shutdown.
    void waitWavDrained(int maxMs);

    static constexpr int kToneRate = 44100;
    // One tone as mono signed 16-bit samples at kToneRate, with short ramps against clicks.
    static std::vector<int16_t> toneSamples(int hz, int ms);

    // ALSA without a card: every open would print its errors to standard error and fail.
    static bool alsaWithoutCard(const char* driver, const char* cardsPath = "/proc/asound/cards");

private:
    void closeWav();
    uint32_t openDevice(const void* wanted);
    bool initialised_ = false;
    bool gaveUp_ = false; // a device did not open: no more tries in this run
    uint32_t wavDevice_ = 0;
    uint32_t toneDevice_ = 0;
};
