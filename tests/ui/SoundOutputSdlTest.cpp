#include "ui/SoundOutputSdl.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <SDL.h>

#include <chrono>
#include <cstring>
#include <memory>

namespace {
std::vector<int16_t> samplesOf(const QByteArray& raw) {
    std::vector<int16_t> s(static_cast<size_t>(raw.size()) / 2);
    std::memcpy(s.data(), raw.constData(), s.size() * 2);
    return s;
}

int signChanges(const std::vector<int16_t>& s) {
    int n = 0;
    for (size_t i = 1; i < s.size(); ++i)
        if ((s[i - 1] < 0) != (s[i] < 0))
            ++n;
    return n;
}

int peak(const std::vector<int16_t>& s) {
    int p = 0;
    for (int16_t v : s)
        p = std::max(p, std::abs(static_cast<int>(v)));
    return p;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeText(const QString& path, const char* text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

std::vector<uint8_t> bytes(const QByteArray& a) {
    return std::vector<uint8_t>(a.begin(), a.end());
}
} // namespace

class SoundOutputSdlTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // SDL's disk driver writes everything a device plays into a file: that is how we listen.
    QString recordInto(const char* name) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", path.toLocal8Bit());
        return path;
    }

private slots:
    void toneSamplesHaveTheirPitchLengthAndSoftEdges() {
        const auto s = SoundOutputSdl::toneSamples(1000, 50);
        QCOMPARE(s.size(), size_t(SoundOutputSdl::kToneRate / 20));
        QVERIFY(qAbs(signChanges(s) - 100) <= 2);
        QVERIFY(std::abs(s.front()) < 200 && std::abs(s.back()) < 200);
        QVERIFY(peak(s) > 8000 && peak(s) < 32767);
        QVERIFY(SoundOutputSdl::toneSamples(0, 50).empty());
        QVERIFY(SoundOutputSdl::toneSamples(500, -1).empty());
        // A pitch above what the rate carries is limited, not aliased into noise of any length.
        QCOMPARE(SoundOutputSdl::toneSamples(100000, 10).size(), size_t(441));
    }

    // Without a card ALSA is not asked at all: its every failed open prints to standard error.
    void alsaWithoutACardIsLeftAlone() {
        const QString cards = dir.filePath("cards");
        writeText(cards, "--- no soundcards ---\n");
        QVERIFY(SoundOutputSdl::alsaWithoutCard("alsa", cards.toLocal8Bit().constData()));
        QVERIFY(SoundOutputSdl::alsaWithoutCard("alsa", dir.filePath("none").toLocal8Bit().constData()));
        writeText(cards, " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n");
        QVERIFY(!SoundOutputSdl::alsaWithoutCard("alsa", cards.toLocal8Bit().constData()));
        QVERIFY(
            !SoundOutputSdl::alsaWithoutCard("pulseaudio", dir.filePath("none").toLocal8Bit().constData()));
    }

    void aToneIsHeardAndHoldsTheCallerForItsLength() {
        const QString path = recordInto("tone.raw");
        {
            SoundOutputSdl out;
            QVERIFY(out.available());
            const auto start = std::chrono::steady_clock::now();
            out.tone(2000, 50);
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
            QVERIFY2(ms >= 50 && ms < 1000, qPrintable(QString::number(ms)));
        }
        const auto s = samplesOf(readFile(path));
        QVERIFY(peak(s) > 8000);
        // 2000 Hz for 50 ms: about 200 sign changes among the tone's samples (silence adds none).
        const int changes = signChanges(s);
        QVERIFY2(changes >= 180 && changes <= 230, qPrintable(QString::number(changes)));
    }

    void aWavFromMemoryIsPlayedAndGarbageIsSilent() {
        // A WAV of our own making: 0.1 s of a 441 Hz square wave, 8-bit, 22050 Hz.
        QByteArray wav;
        auto put32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                wav.append(static_cast<char>(v >> (8 * i)));
        };
        const int n = 2205;
        wav.append("RIFF");
        put32(36 + n);
        wav.append("WAVEfmt ");
        put32(16);
        wav.append(QByteArray::fromHex("01000100"));
        put32(22050);
        put32(22050);
        wav.append(QByteArray::fromHex("01000800"));
        wav.append("data");
        put32(n);
        for (int i = 0; i < n; ++i)
            wav.append(static_cast<char>((i / 25) % 2 ? 0xE0 : 0x20));

        const QString played = recordInto("wav.raw");
        {
            SoundOutputSdl out;
            out.playWav(bytes(wav));
            out.waitWavDrained(2000);
        }
        const QByteArray rec = readFile(played);
        QVERIFY(rec.size() >= n);
        QVERIFY(rec.count(static_cast<char>(0xE0)) > n / 3);

        const QString silent = recordInto("garbage.raw");
        {
            SoundOutputSdl out;
            out.playWav(bytes(QByteArray("RIFF\x10\0\0\0WAVEjunkjunk", 20)));
            out.playWav({});
            out.playWav(bytes(wav.left(30))); // cut inside the header
        }
        QVERIFY(readFile(silent).isEmpty());
    }

    void withoutAnyDeviceEverythingStaysSilentAndHarmless() {
        qputenv("SDL_AUDIODRIVER", "no-such-driver");
        SoundOutputSdl out;
        QVERIFY(!out.available());
        out.playWav(std::vector<uint8_t>(1000, 0x80));
        const auto start = std::chrono::steady_clock::now();
        out.tone(500, 50);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        QVERIFY(ms >= 50);
        out.waitWavDrained(100);
    }

#ifdef KV_SOUND_DIR
    void ourNoticeFilesAreShortDistinctWavs() {
        QByteArray previous;
        for (const char* name : {"Completed.wav", "Missed.wav", "Finished.wav"}) {
            const QByteArray file = readFile(QStringLiteral(KV_SOUND_DIR "/") + QString::fromLatin1(name));
            QVERIFY2(file.size() > 100, name);
            QVERIFY(file != previous);
            previous = file;
            SDL_AudioSpec audioSpec{};
            Uint8* buf = nullptr;
            Uint32 len = 0;
            QVERIFY(SDL_LoadWAV_RW(SDL_RWFromConstMem(file.constData(), static_cast<int>(file.size())), 1,
                                   &audioSpec, &buf, &len) != nullptr);
            QCOMPARE(audioSpec.format, static_cast<SDL_AudioFormat>(AUDIO_S16LSB));
            const double seconds = len / 2.0 / audioSpec.freq / audioSpec.channels;
            QVERIFY2(seconds > 0.2 && seconds < 1.5, qPrintable(QString::number(seconds)));
            const auto s = samplesOf(QByteArray(reinterpret_cast<const char*>(buf), static_cast<int>(len)));
            SDL_FreeWAV(buf);
            QVERIFY(peak(s) > 10000 && peak(s) < 32767); // audible, not clipped
            QVERIFY(std::abs(s.back()) < 500);           // fades out, no click at the end
        }
    }
#endif
};

QTEST_MAIN(SoundOutputSdlTest)
#include "SoundOutputSdlTest.moc"
