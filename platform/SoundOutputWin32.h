#pragma once
#ifdef _WIN32
#define KV_HAVE_SOUND_OUTPUT_WIN32 1
#include "platform/SoundOutput.h"

#include <cstdint>
#include <functional>
#include <vector>

// Notices through winmm's PlaySoundA (from memory, asynchronously, no default sound) and the
// system speaker's Beep.
class Win32SoundOutput final : public ISoundOutput {
public:
    // The two system calls, replaceable in tests: play(data, flags) and beep(hz, ms).
    using PlayCall = std::function<bool(const void* data, uint32_t flags)>;
    using BeepCall = std::function<bool(uint32_t hz, uint32_t ms)>;
    static constexpr uint32_t kPlayFlags = 7; // SND_ASYNC | SND_NODEFAULT | SND_MEMORY

    Win32SoundOutput();
    Win32SoundOutput(PlayCall play, BeepCall beep);
    ~Win32SoundOutput() override;
    Win32SoundOutput(const Win32SoundOutput&) = delete;
    Win32SoundOutput& operator=(const Win32SoundOutput&) = delete;

    void playWav(const std::vector<uint8_t>& wav) override;
    void tone(int hz, int ms) override;

    // PlaySoundA takes no length: it trusts the RIFF header. A copy that the header describes
    // truthfully (chunks cut to the bytes that are there), or false for data that is no WAV.
    static bool playableCopy(const std::vector<uint8_t>& wav, std::vector<uint8_t>& out);

    // The bytes that an asynchronous sound may still be reading.
    const std::vector<uint8_t>& playing() const { return playing_; }

private:
    void stop();
    PlayCall play_;
    BeepCall beep_;
    std::vector<uint8_t> playing_;
};
#endif
