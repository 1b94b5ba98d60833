// Sound output and document opening of the Windows build, with the system calls recorded.
#include "platform/DocumentOpenerWin32.h"
#include "platform/SoundOutputWin32.h"

#ifdef _WIN32
#include "tests/files/TempDir.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace {

[[maybe_unused]] std::vector<uint8_t> chunk(const char* id, const std::vector<uint8_t>& body,
                                            uint32_t claimed) {
    std::vector<uint8_t> c(id, id + 4);
    for (int i = 0; i < 4; ++i)
        c.push_back(static_cast<uint8_t>(claimed >> (8 * i)));
    c.insert(c.end(), body.begin(), body.end());
    return c;
}

// A RIFF/WAVE file whose header and data chunk may claim more than they carry.
[[maybe_unused]] std::vector<uint8_t> wav(size_t samples, uint32_t dataClaim, uint32_t riffClaim = 0) {
    const std::vector<uint8_t> fmt = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0};
    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    const auto f = chunk("fmt ", fmt, 16);
    const auto d = chunk("data", std::vector<uint8_t>(samples, 0x80), dataClaim);
    body.insert(body.end(), f.begin(), f.end());
    body.insert(body.end(), d.begin(), d.end());
    return chunk("RIFF", body, riffClaim ? riffClaim : static_cast<uint32_t>(body.size()));
}

[[maybe_unused]] uint32_t le32At(const std::vector<uint8_t>& v, size_t at) {
    uint32_t x = 0;
    std::memcpy(&x, v.data() + at, 4);
    return x;
}

struct Calls {
    std::vector<std::pair<std::vector<uint8_t>, uint32_t>> plays; // bytes seen at the call, flags
    std::vector<const void*> pointers;
    std::vector<std::pair<uint32_t, uint32_t>> beeps;
};

} // namespace

#ifdef KV_HAVE_SOUND_OUTPUT_WIN32
TEST(Win32Sound, PlaysItsOwnCopyFromMemoryAsynchronouslyAndStopsItBeforeTheNext) {
    Calls calls;
    Win32SoundOutput out(
        [&](const void* data, uint32_t flags) {
            calls.pointers.push_back(data);
            const auto* p = static_cast<const uint8_t*>(data);
            calls.plays.push_back(
                {p ? std::vector<uint8_t>(p, p + 8 + le32At({p, p + 8}, 4)) : std::vector<uint8_t>{}, flags});
            return true;
        },
        [](uint32_t, uint32_t) { return true; });
    {
        const std::vector<uint8_t> first = wav(400, 400);
        out.playWav(first);
    } // the caller's buffer is gone while the sound plays on
    ASSERT_EQ(calls.plays.size(), 1u);
    EXPECT_EQ(calls.plays[0].second, 7u);
    EXPECT_EQ(calls.pointers[0], out.playing().data());
    EXPECT_EQ(out.playing(), wav(400, 400));

    out.playWav(wav(200, 200));
    ASSERT_EQ(calls.plays.size(), 3u);
    EXPECT_EQ(calls.pointers[1], nullptr) << "the sound still playing is stopped first";
    EXPECT_EQ(calls.plays[2].first, wav(200, 200));

    // No WAV at all: whatever played is stopped, nothing new is handed over.
    out.playWav(std::vector<uint8_t>(300, 0x55));
    EXPECT_EQ(calls.plays.size(), 4u);
    EXPECT_EQ(calls.pointers.back(), nullptr);
    EXPECT_TRUE(out.playing().empty());
}

TEST(Win32Sound, HeaderThatClaimsMoreThanTheFileHoldsIsPutRight) {
    std::vector<uint8_t> fixed;
    // Cut short on disk: the data chunk and the RIFF size claim 1000 samples, 300 are there.
    const std::vector<uint8_t> cut = wav(300, 1000, 1000 + 36);
    ASSERT_TRUE(Win32SoundOutput::playableCopy(cut, fixed));
    EXPECT_EQ(fixed.size(), cut.size());
    EXPECT_EQ(le32At(fixed, 4), fixed.size() - 8);
    EXPECT_EQ(le32At(fixed, 40), 300u);

    // A header that claims less than the file holds: the rest is not played.
    ASSERT_TRUE(Win32SoundOutput::playableCopy(wav(300, 300, 100), fixed));
    EXPECT_EQ(fixed.size(), 108u);

    ASSERT_TRUE(Win32SoundOutput::playableCopy(wav(300, 300), fixed));
    EXPECT_EQ(fixed, wav(300, 300));

    std::vector<uint8_t> noWave = wav(10, 10);
    noWave[8] = 'X';
    EXPECT_FALSE(Win32SoundOutput::playableCopy(noWave, fixed));
    EXPECT_FALSE(Win32SoundOutput::playableCopy({'R', 'I', 'F', 'F'}, fixed));
    EXPECT_FALSE(Win32SoundOutput::playableCopy({}, fixed));
    EXPECT_TRUE(fixed.empty());
}

TEST(Win32Sound, TonesTakeTheirTimeEvenWhereBeepReturnsAtOnce) {
    Calls calls;
    Win32SoundOutput out([](const void*, uint32_t) { return true; },
                         [&](uint32_t hz, uint32_t ms) {
                             calls.beeps.push_back({hz, ms});
                             return false;
                         });
    const auto t0 = std::chrono::steady_clock::now();
    out.tone(500, 50);
    out.tone(20, 50); // below the speaker's range: silent, but the rhythm holds
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_GE(took.count(), 99);
    EXPECT_LT(took.count(), 1000);
    ASSERT_EQ(calls.beeps.size(), 1u);
    EXPECT_EQ(calls.beeps[0], std::make_pair(500u, 50u));
}

TEST(Win32Sound, RealSystemCallsAreHarmlessWithoutASoundDevice) {
    Win32SoundOutput out;
    out.playWav(wav(800, 800));
    out.playWav(wav(100, 5000));
    out.tone(1000, 50);
}
#endif

#ifdef KV_HAVE_DOCUMENT_OPENER_WIN32
TEST(Win32Document, OpensExistingFilesThroughTheShellAndRefusesMissingOnes) {
    std::vector<std::pair<std::wstring, std::wstring>> calls;
    Win32DocumentOpener opener([&](const std::wstring& verb, const std::wstring& file) {
        calls.push_back({verb, file});
    });
    TempDir dir;
    const std::string path = dir.file("Архив/данные 1.orx");
    std::filesystem::create_directories(TempDir::u8(dir.file("Архив")));
    writeBytes(path, "x");

    EXPECT_TRUE(opener.open(path));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, L"open");
    EXPECT_EQ(calls[0].second, TempDir::u8(path).wstring()) << "UTF-8 reaches the shell intact";

    EXPECT_FALSE(opener.open(dir.file("Архив/нет.orx")));
    EXPECT_FALSE(opener.open(dir.file("Архив"))) << "a folder is no document";
    EXPECT_FALSE(opener.open(std::string("\xC0\xAF.orx"))) << "malformed UTF-8";
    EXPECT_FALSE(opener.open(""));
    EXPECT_EQ(calls.size(), 1u);
}
#endif
#endif
