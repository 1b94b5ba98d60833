#include "platform/SoundOutputWin32.h"

#ifdef KV_HAVE_SOUND_OUTPUT_WIN32
#include <windows.h>

#include <chrono>
#include <cstring>

namespace {

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// winmm is loaded on first use, so that everything linking the platform layer does not need it.
bool systemPlay(const void* data, uint32_t flags) {
    using Fn = BOOL(WINAPI*)(LPCSTR, HMODULE, DWORD);
    static Fn fn = [] {
        HMODULE winmm = LoadLibraryA("winmm.dll");
        return winmm ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(winmm, "PlaySoundA")))
                     : nullptr;
    }();
    return fn && fn(static_cast<LPCSTR>(data), nullptr, flags);
}

bool systemBeep(uint32_t hz, uint32_t ms) {
    return Beep(hz, ms) != 0;
}

} // namespace

Win32SoundOutput::Win32SoundOutput() : Win32SoundOutput(systemPlay, systemBeep) {}

Win32SoundOutput::Win32SoundOutput(PlayCall play, BeepCall beep)
    : play_(std::move(play)), beep_(std::move(beep)) {}

Win32SoundOutput::~Win32SoundOutput() {
    // The system must not go on reading a buffer that is about to be freed.
    stop();
}

void Win32SoundOutput::stop() {
    if (!playing_.empty())
        play_(nullptr, 0);
    playing_.clear();
}

bool Win32SoundOutput::playableCopy(const std::vector<uint8_t>& wav, std::vector<uint8_t>& out) {
    out.clear();
    if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 ||
        std::memcmp(wav.data() + 8, "WAVE", 4) != 0)
        return false;
    std::vector<uint8_t> copy(wav);
    // The file may claim more than it holds (cut short on disk): the claim is put right.
    const size_t riffEnd = std::min<size_t>(copy.size(), size_t(le32(copy.data() + 4)) + 8);
    bool fmt = false;
    bool data = false;
    size_t at = 12;
    while (at + 8 <= riffEnd) {
        const size_t body = at + 8;
        size_t size = le32(copy.data() + at + 4);
        if (size > riffEnd - body) {
            size = riffEnd - body;
            putLe32(copy.data() + at + 4, static_cast<uint32_t>(size));
        }
        if (std::memcmp(copy.data() + at, "fmt ", 4) == 0)
            fmt = size >= 16;
        if (std::memcmp(copy.data() + at, "data", 4) == 0)
            data = fmt; // data before its format cannot be played
        at = body + size + (size & 1);
    }
    if (!fmt || !data)
        return false;
    copy.resize(riffEnd);
    putLe32(copy.data() + 4, static_cast<uint32_t>(riffEnd - 8));
    out = std::move(copy);
    return true;
}

void Win32SoundOutput::playWav(const std::vector<uint8_t>& wav) {
    // A later sound cuts off the one still playing; only then may its buffer go.
    stop();
    std::vector<uint8_t> copy;
    if (!playableCopy(wav, copy))
        return;
    playing_ = std::move(copy);
    if (!play_(playing_.data(), kPlayFlags))
        playing_.clear();
}

void Win32SoundOutput::tone(int hz, int ms) {
    if (ms <= 0)
        return;
    // The tick count moves in steps of 10-16 ms, too coarse for 50 ms tones.
    const auto start = std::chrono::steady_clock::now();
    if (hz >= 37 && hz <= 32767)
        beep_(static_cast<uint32_t>(hz), static_cast<uint32_t>(ms));
    // A tone sequence keeps its rhythm where the speaker is missing and Beep returns at once.
    const auto took = std::chrono::steady_clock::now() - start;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(std::chrono::milliseconds(ms) - took);
    if (left.count() > 0)
        Sleep(static_cast<DWORD>(left.count()));
}
#endif
