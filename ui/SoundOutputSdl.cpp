#include "ui/SoundOutputSdl.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {
constexpr double kPi = 3.14159265358979323846;

void sleepMs(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
} // namespace

SoundOutputSdl::SoundOutputSdl() {
    initialised_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (initialised_ && alsaWithoutCard(SDL_GetCurrentAudioDriver())) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        initialised_ = false;
    }
}

bool SoundOutputSdl::alsaWithoutCard(const char* driver, const char* cardsPath) {
    if (driver == nullptr || std::strcmp(driver, "alsa") != 0)
        return false;
    std::FILE* f = std::fopen(cardsPath, "r");
    if (f == nullptr)
        return true;
    char line[256];
    bool card = false;
    // A card's first line starts with its number: " 0 [PCH            ]: HDA-Intel ...".
    while (!card && std::fgets(line, sizeof line, f) != nullptr) {
        const char* c = line;
        while (*c == ' ')
            ++c;
        card = *c >= '0' && *c <= '9';
    }
    std::fclose(f);
    return !card;
}

uint32_t SoundOutputSdl::openDevice(const void* wanted) {
    const SDL_AudioDeviceID id =
        SDL_OpenAudioDevice(nullptr, 0, static_cast<const SDL_AudioSpec*>(wanted), nullptr, 0);
    // A device that does not open now will not later in this run; each try would only repeat
    // the driver's complaints on standard error.
    gaveUp_ = gaveUp_ || id == 0;
    return id;
}

SoundOutputSdl::~SoundOutputSdl() {
    closeWav();
    if (toneDevice_ != 0)
        SDL_CloseAudioDevice(toneDevice_);
    if (initialised_)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SoundOutputSdl::closeWav() {
    if (wavDevice_ != 0) {
        // Closing drops what the device still holds: a crisp cut, unlike clearing the queue.
        SDL_CloseAudioDevice(wavDevice_);
        wavDevice_ = 0;
    }
}

void SoundOutputSdl::playWav(const std::vector<uint8_t>& data) {
    closeWav();
    if (!initialised_ || gaveUp_ || data.empty() || data.size() > static_cast<size_t>(INT32_MAX))
        return;
    SDL_RWops* rw = SDL_RWFromConstMem(data.data(), static_cast<int>(data.size()));
    if (rw == nullptr)
        return;
    SDL_AudioSpec audioSpec{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (SDL_LoadWAV_RW(rw, 1, &audioSpec, &buffer, &length) == nullptr)
        return; // no WAV SDL can read: silence
    audioSpec.samples = 1024;
    audioSpec.callback = nullptr;
    wavDevice_ = openDevice(&audioSpec);
    if (wavDevice_ != 0) {
        SDL_QueueAudio(wavDevice_, buffer, length);
        SDL_PauseAudioDevice(wavDevice_, 0);
    }
    SDL_FreeWAV(buffer);
}

void SoundOutputSdl::waitWavDrained(int maxMs) {
    for (int waited = 0; wavDevice_ != 0 && SDL_GetQueuedAudioSize(wavDevice_) > 0 && waited < maxMs;
         waited += 5)
        sleepMs(5);
}

std::vector<int16_t> SoundOutputSdl::toneSamples(int hz, int ms) {
    if (hz <= 0 || ms <= 0)
        return {};
    const int n = static_cast<int>(static_cast<int64_t>(kToneRate) * std::min(ms, 10000) / 1000);
    const int ramp = std::min(n / 2, kToneRate / 400); // 2.5 ms
    std::vector<int16_t> out(static_cast<size_t>(n));
    const double step = 2.0 * kPi * std::min(hz, kToneRate / 2) / kToneRate;
    for (int i = 0; i < n; ++i) {
        double gain = 0.35;
        if (i < ramp)
            gain *= static_cast<double>(i) / ramp;
        else if (n - 1 - i < ramp)
            gain *= static_cast<double>(n - 1 - i) / ramp;
        out[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(32767.0 * gain * std::sin(step * i)));
    }
    return out;
}

void SoundOutputSdl::tone(int hz, int ms) {
    if (ms <= 0)
        return;
    const auto start = std::chrono::steady_clock::now();
    if (initialised_ && !gaveUp_ && toneDevice_ == 0) {
        SDL_AudioSpec want{};
        want.freq = kToneRate;
        want.format = AUDIO_S16SYS;
        want.channels = 1;
        want.samples = 256; // small, so the tone ends close to when tone() returns
        toneDevice_ = openDevice(&want);
        if (toneDevice_ != 0)
            SDL_PauseAudioDevice(toneDevice_, 0);
    }
    if (toneDevice_ != 0) {
        closeWav(); // a tone notice replaces a sound still playing
        const std::vector<int16_t> samples = toneSamples(hz, ms);
        SDL_QueueAudio(toneDevice_, samples.data(), static_cast<Uint32>(samples.size() * sizeof(int16_t)));
        // Wait for the device to take the tone, but never much longer than the tone itself.
        const auto limit = start + std::chrono::milliseconds(ms + 250);
        while (SDL_GetQueuedAudioSize(toneDevice_) > 0 && std::chrono::steady_clock::now() < limit)
            sleepMs(1);
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    sleepMs(ms - static_cast<int>(elapsed));
}
