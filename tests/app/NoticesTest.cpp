// The main window's sound notices, heard through a recording output while a task runs against
// the in-process simulator on a fake clock; and the about box it shows.
#include "AppTestSupport.h"

#include "app/TImageButton.h"
#include "app/TfrmKestrovane.h"
#include "platform/SoundOutput.h"
#include "tests/support/WindowRig.h"
#include "ui/TfrmAbout.h"
#include "widgets/TOnOffSwitch.h"

#include <QCheckBox>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {
// Writes what it is asked to play: "wav:X" with X the first byte after the 44-byte header, or
// the tone's frequency.
class RecordingSound final : public ISoundOutput {
public:
    QStringList played;
    void playWav(const std::vector<uint8_t>& data) override {
        played << QString("wav:%1").arg(data.size() > 44 ? QChar(data[44]) : QChar('?'));
    }
    void tone(int hz, int ms) override {
        QCOMPARE(ms, 50);
        played << QString::number(hz);
    }
};

QStringList tones(std::initializer_list<int> hz) {
    QStringList out;
    for (int h : hz)
        out << QString::number(h);
    return out;
}

const QStringList kCompleted = tones({500, 2000, 5000});
const QStringList kMissed = tones({200, 100, 50});
QStringList finishedTones() {
    QStringList out;
    for (int i = 0; i < 8; ++i)
        out << tones({1000, 2000});
    return out;
}

// A WAV-looking buffer of 200 bytes whose payload starts with the letter.
QByteArray fakeWav(char letter) {
    QByteArray b(200, letter);
    b.replace(0, 4, "RIFF");
    return b;
}

// The first and third hold records, the second is empty: a download completes, misses, completes.
const char* const kScenario = R"({"modem": {"port": 6, "channel": 20}, "loggers": [
    {"name": "D0000000A01", "sensors": [1, 2], "measuring": false, "generate": {"count": 5}},
    {"name": "D0000000B02", "sensors": [1], "measuring": false, "generate": {"count": 0}},
    {"name": "D0000000C03", "sensors": [1, 2, 3], "measuring": false, "generate": {"count": 5}}]})";
} // namespace

class NoticesTest : public QObject {
    Q_OBJECT
    std::unique_ptr<rig::WindowRig> r_;
    QTemporaryDir* dir_ = nullptr;
    FakeClock* clock_ = nullptr;
    TfrmKestrovane* w_ = nullptr;
    RecordingSound sound_;

    // The window's two engine timers as the event loop would fire them, on the fake clock.
    void runTask(int maxMs = 10 * 60 * 1000) {
        r_->runTask({}, false, maxMs);
        QVERIFY(!w_->taskRunning());
    }
    void startDownload() {
        BoxRecorder boxes;
        r_->loadGroup();
        QCOMPARE(w_->table.LoggerCount, 3);
        w_->SwitchConnect->setOn(true);
        QVERIFY(w_->PortDrv.IsOpen());
        w_->CheckBoxAttempt2->setChecked(false);
        w_->CheckBoxAttempt3->setChecked(false);
        w_->SwitchDownload->setOn(true);
        QVERIFY(w_->taskRunning());
    }

private slots:
    void init() {
        r_ = std::make_unique<rig::WindowRig>(kScenario,
                                              "Channel 20\r\nD0000000A01\r\nD0000000B02\r\nD0000000C03\r\n",
                                              [](const QString& folder) {
                                                  writeFile(folder + "/sound/Completed.wav", fakeWav('C'));
                                                  writeFile(folder + "/sound/Missed.wav", fakeWav('M'));
                                                  writeFile(folder + "/sound/Finished.wav", fakeWav('F'));
                                              });
        dir_ = &r_->dir;
        clock_ = &r_->clock;
        w_ = r_->window.get();
        w_->setSoundOutput(&sound_);
        sound_.played.clear();
    }
    void cleanup() { r_.reset(); }

    void soundButtonPlaysASampleOfTheNewMode() {
        w_->SoundMode = 0;
        w_->ImageSoundClick();
        QCOMPARE(sound_.played, QStringList{"wav:C"});
        w_->ImageSoundClick();
        QCOMPARE(sound_.played, QStringList{"wav:C"} + kCompleted);
        w_->ImageSoundClick();
        QCOMPARE(w_->SoundMode, 0);
        QCOMPARE(sound_.played.size(), 4);
        // Modes read from outside the list play nothing and step to 0 in silence.
        for (int odd : {7, -1}) {
            w_->SoundMode = odd;
            w_->playCompleted();
            w_->playMissed();
            w_->playFinished();
            w_->ImageSoundClick();
            QCOMPARE(w_->SoundMode, 0);
        }
        QCOMPARE(sound_.played.size(), 4);
    }

    void shortOrMissingFilesAreSilentInModeOne() {
        writeFile(dir_->path() + "/sound/Completed.wav", QByteArray(100, 'x'));
        QFile::remove(dir_->path() + "/sound/Missed.wav");
        w_ = r_->newWindow();
        w_->setSoundOutput(&sound_);
        w_->SoundMode = 1;
        w_->playCompleted();
        w_->playMissed();
        w_->playFinished();
        QCOMPARE(sound_.played, QStringList{"wav:F"});
    }

    // A pipe would hang the start waiting for a writer, a link to a device would read forever.
    void onlyRegularSoundFilesAreRead() {
#ifdef _WIN32
        QSKIP("named pipes and links to devices are POSIX files");
#else
        const QString folder = dir_->path() + "/sound/";
        QFile::remove(folder + "Completed.wav");
        QFile::remove(folder + "Missed.wav");
        QCOMPARE(::mkfifo(QFile::encodeName(folder + "Completed.wav").constData(), 0600), 0);
        QVERIFY(QFile::link("/dev/zero", folder + "Missed.wav"));
        w_ = r_->newWindow();
        QVERIFY(w_->soundCompleted.isEmpty());
        QVERIFY(w_->soundMissed.isEmpty());
        QCOMPARE(w_->soundFinished, fakeWav('F'));
#endif
    }

    void downloadNoticesInServingOrderThenFinishedOnce() {
        w_->SoundMode = 2;
        startDownload();
        runTask();
        QCOMPARE(sound_.played, kCompleted + kMissed + kCompleted);
        QVERIFY(w_->TimerFinishedSound->isActive());
        QCOMPARE(w_->TimerFinishedSound->interval(), 1000);
        w_->TimerFinishedSoundTimer();
        QVERIFY(!w_->TimerFinishedSound->isActive());
        QCOMPARE(sound_.played, kCompleted + kMissed + kCompleted + finishedTones());
    }

    void downloadInModeOnePlaysTheFiles() {
        w_->SoundMode = 1;
        startDownload();
        runTask();
        w_->TimerFinishedSoundTimer();
        QCOMPARE(sound_.played, (QStringList{"wav:C", "wav:M", "wav:C", "wav:F"}));
    }

    void userStopGivesNoFinishedNotice() {
        w_->SoundMode = 2;
        startDownload();
        clock_->advanceMs(50);
        w_->TimerReadStreamTimer();
        w_->SwitchDownload->setOn(false);
        QVERIFY(!w_->taskRunning());
        QVERIFY(!w_->TimerFinishedSound->isActive());
    }

    void silentModeStartsNoFinishedTimer() {
        w_->SoundMode = -1;
        startDownload();
        runTask();
        QVERIFY(!w_->TimerFinishedSound->isActive());
        QVERIFY(sound_.played.isEmpty());
    }

    void aboutBoxShowsCentredOnTopAndOnlyOnce() {
        auto* about = new TfrmAbout(w_);
        w_->setAboutBox(about);
        w_->show();
        w_->move(40, 30);
        QVERIFY(QTest::qWaitForWindowExposed(w_));
        w_->ImageHelpClick();
        QVERIFY(about->isVisible());
        QVERIFY(about->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!about->isModal());
        QCOMPARE(about->size(), QSize(300 + TfrmAbout::kGuideWidth, 300));
        QVERIFY((about->frameGeometry().center() - w_->frameGeometry().center()).manhattanLength() <= 40);
        // A second click only brings it to the front: no second box, no move.
        const QPoint at = about->pos();
        w_->ImageHelpClick();
        QCOMPARE(about->pos(), at);
        QCOMPARE(w_->findChildren<QDialog*>("frmAbout").size(), 1);
    }
};

QTEST_MAIN(NoticesTest)
#include "NoticesTest.moc"
