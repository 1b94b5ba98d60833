#include "ui/SoundNotices.h"

#include <QtTest>

#include <string>
#include <vector>

namespace {
// Records what would have sounded, in order: "wav:<size>" or "<hz>/<ms>".
struct RecordingOutput : ISoundOutput {
    std::vector<std::string> played;
    void playWav(const std::vector<uint8_t>& data) override {
        played.push_back("wav:" + std::to_string(data.size()));
    }
    void tone(int hz, int ms) override { played.push_back(std::to_string(hz) + "/" + std::to_string(ms)); }
};

std::vector<std::string> tones(std::initializer_list<int> hz) {
    std::vector<std::string> v;
    for (int h : hz)
        v.push_back(std::to_string(h) + "/50");
    return v;
}
} // namespace

class SoundNoticesTest : public QObject {
    Q_OBJECT
private slots:
    void eachModePlaysItsOwnNotice() {
        const QByteArray completed(300, 'c'), missed(200, 'm'), finished(400, 'f');
        RecordingOutput out;
        SoundNotices n(out);

        n.play(Notice::Completed, 1, completed);
        n.play(Notice::Missed, 1, missed);
        n.play(Notice::Finished, 1, finished);
        QCOMPARE(out.played, (std::vector<std::string>{"wav:300", "wav:200", "wav:400"}));

        out.played.clear();
        n.play(Notice::Completed, 2, completed);
        QCOMPARE(out.played, tones({500, 2000, 5000}));
        out.played.clear();
        n.play(Notice::Missed, 2, missed);
        QCOMPARE(out.played, tones({200, 100, 50}));
        out.played.clear();
        n.play(Notice::Finished, 2, finished);
        QCOMPARE(out.played, tones({1000, 2000, 1000, 2000, 1000, 2000, 1000, 2000, 1000, 2000, 1000, 2000,
                                    1000, 2000, 1000, 2000}));

        out.played.clear();
        for (int mode : {0, 7, -1, 3})
            for (Notice k : {Notice::Completed, Notice::Missed, Notice::Finished})
                n.play(k, mode, completed);
        QVERIFY(out.played.empty());
    }

    void aBufferOfAHundredBytesOrLessIsSilent() {
        RecordingOutput out;
        SoundNotices n(out);
        n.play(Notice::Completed, 1, QByteArray());
        n.play(Notice::Completed, 1, QByteArray(100, 'x'));
        QVERIFY(out.played.empty());
        n.play(Notice::Completed, 1, QByteArray(101, 'x'));
        QCOMPARE(out.played, std::vector<std::string>{"wav:101"});
        // The tones of mode 2 do not depend on the buffer.
        out.played.clear();
        n.play(Notice::Missed, 2, QByteArray());
        QCOMPARE(out.played.size(), size_t(3));
    }

    void clickingStepsTheModesWithASample() {
        const QByteArray completed(500, 'c');
        RecordingOutput out;
        SoundNotices n(out);

        int mode = n.click(0, completed);
        QCOMPARE(mode, 1);
        QCOMPARE(out.played, std::vector<std::string>{"wav:500"});
        out.played.clear();
        mode = n.click(mode, completed);
        QCOMPARE(mode, 2);
        QCOMPARE(out.played, tones({500, 2000, 5000}));
        out.played.clear();
        mode = n.click(mode, completed);
        QCOMPARE(mode, 0);
        QVERIFY(out.played.empty());

        // Modes read from the settings file outside the list.
        QCOMPARE(n.click(7, completed), 0);
        QCOMPARE(n.click(-1, completed), 0); // plays the sample of mode 0: nothing
        QVERIFY(out.played.empty());
        QCOMPARE(n.click(-5, completed), -4);
        QVERIFY(out.played.empty());
    }
};

QTEST_MAIN(SoundNoticesTest)
#include "SoundNoticesTest.moc"
