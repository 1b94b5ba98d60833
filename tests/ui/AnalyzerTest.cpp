// The noise analyzer window: show and close rules, port sharing, the reader tick, the follower.
#include "files/IniFile.h"
#include "modem/ModemSender.h"
#include "platform/FakeClock.h"
#include "serial/TSerialPortDriver.h"
#include "tests/serial/ScriptedSerialOs.h"
#include "ui/TfrmAnalyzer.h"
#include "widgets/TXYPlot.h"

#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fstream>
#include <memory>

namespace {
constexpr double kSecond = 1.0 / 86400.0;

class RecordingModem final : public IModemSender {
public:
    std::vector<std::string> commands;
    void SendToModem(bool command, const std::string& text) override {
        QVERIFY(command);
        commands.push_back(text);
    }
};

class Host final : public IAnalyzerHost {
public:
    bool task = false;
    int channel = 20;
    double level = 0;
    bool taskRunning() const override { return task; }
    int modemChannel() const override { return channel; }
    void setSignalLevel(double l) override { level = l; }
    int lost = 0;
    void portLost() override { ++lost; }
};
} // namespace

class AnalyzerTest : public QObject {
    Q_OBJECT

    struct Rig {
        FakeClock clock;
        ScriptedSerialOs os{clock};
        TSerialPortDriver port{os, clock};
        RecordingModem modem;
        Host host;
        IniFile ini{"/nonexistent/ini/ProgSet.ini"};
        std::unique_ptr<TfrmAnalyzer> w;
        size_t opened = 0;
        explicit Rig(bool open = true) {
            os.devices[2] = {};
            port.setEnableDTROnOpen(false); // as the program opens it
            if (open)
                QVERIFY(port.OpenPort());
            opened = os.events.size();
            w = std::make_unique<TfrmAnalyzer>(host, port, modem, clock, ini);
        }
        void receive(std::initializer_list<uint8_t> bytes) { os.feed(ScriptedSerialOs::Bytes(bytes)); }
        // The DTR changes since the port was opened.
        std::vector<std::string> dtr() const {
            std::vector<std::string> out;
            for (const std::string& e : os.eventsSince(opened))
                if (e.rfind("dtr ", 0) == 0)
                    out.push_back(e);
            return out;
        }
        int noise() const { return w->PlotRSSI->pointCount(w->LineNoise); }
        int rssi() const { return w->PlotRSSI->pointCount(w->LineRSSI); }
    };

private slots:
    void createdHiddenWithItsParts() {
        Rig r;
        QCOMPARE(r.w->objectName(), QString("frmAnalyzer"));
        QCOMPARE(r.w->windowTitle(), QString::fromUtf8("Анализ шума"));
        QVERIFY(!r.w->isVisible());
        QVERIFY(r.w->findChild<TXYPlot*>("PlotRSSI"));
        QVERIFY(r.w->findChild<QWidget*>("Panel1"));
        QVERIFY(!r.w->TimerReadRSSI->isActive());
        QVERIFY(!r.w->TimerAutoShift->isActive());
        QCOMPARE(r.w->TimerAutoShift->interval(), 2500);
        QCOMPARE(r.w->minimumSize(), QSize(592, 266)); // the client area of a 600 x 300 window
        // Time axis from now to two minutes ahead; defaults of the missing settings file.
        QCOMPARE(r.w->PlotRSSI->timeMin(), r.clock.now());
        QVERIFY(std::fabs(r.w->PlotRSSI->timeMax() - r.clock.now() - 120 * kSecond) < 1e-9);
        QCOMPARE(r.w->size(), QSize(792, 266));
        QCOMPARE(r.w->pos().x(), 0);
        QVERIFY(r.modem.commands.empty());
    }

    void settingsPlaceTheWindow() {
        QTemporaryDir dir;
        const std::string path = dir.filePath("ProgSet.ini").toStdString();
        std::ofstream(path)
            << "[Main]\r\nX=1\r\n[analyzer]\r\ntop=40\r\nLeft=30\r\nHeight=350\r\nWidth=0x2BC\r\n";
        FakeClock clock;
        ScriptedSerialOs os(clock);
        TSerialPortDriver port(os, clock);
        RecordingModem modem;
        Host host;
        TfrmAnalyzer w(host, port, modem, clock, IniFile(path));
        QCOMPARE(w.size(), QSize(692, 316));
        QCOMPARE(w.pos(), QPoint(30, 40));

        // A position no screen shows is brought back where the user can see the window.
        std::ofstream(path)
            << "[Analyzer]\r\nTop=-900000\r\nLeft=2000000\r\nHeight=100\r\nWidth=99999999\r\n";
        TfrmAnalyzer lost(host, port, modem, clock, IniFile(path));
        QVERIFY(lost.size().width() <= 8192);
        QCOMPARE(lost.size().height(), 266);
        bool seen = false;
        for (const QScreen* s : QGuiApplication::screens())
            seen = seen || s->availableGeometry().intersects(QRect(lost.pos(), lost.size()));
        QVERIFY(seen);
    }

    void showTunesTheModemAndStartsReading() {
        Rig r;
        r.host.channel = 21;
        r.w->show();
        const std::vector<std::string> expected{std::string("#C\x15", 3), std::string("#T\x01\x00\x32", 5)};
        QCOMPARE(r.modem.commands, expected);
        QCOMPARE(r.dtr(), std::vector<std::string>{"dtr 1"});
        QVERIFY(r.w->TimerReadRSSI->isActive());
        QCOMPARE(r.w->TimerReadRSSI->interval(), 50);
        QVERIFY(r.w->TimerAutoShift->isActive());
        QVERIFY(r.w->autoShift());

        r.receive({0x03, 0x11, 0x20, 0x80, 0x05, 0x01, 0x02, 0x03, 0x9C, 0x81});
        r.w->TimerReadRSSITimer();
        QCOMPARE(r.noise(), 1);
        QCOMPARE(r.rssi(), 1);
        QCOMPARE(r.w->PlotRSSI->pointValue(r.w->LineNoise, 0), -58.0);
        QCOMPARE(r.w->PlotRSSI->pointValue(r.w->LineRSSI, 0), -124.0);
        QCOMPARE(r.w->PlotRSSI->pointTime(r.w->LineRSSI, 0), r.clock.now());
        QCOMPARE(r.host.level, -124.0); // the latest level for the link display

        // The user's close hides the window, stops both timers and lowers DTR.
        r.w->close();
        QVERIFY(!r.w->isVisible());
        QVERIFY(!r.w->TimerReadRSSI->isActive());
        QVERIFY(!r.w->TimerAutoShift->isActive());
        QCOMPARE(r.dtr(), (std::vector<std::string>{"dtr 1", "dtr 0"}));
        // The points stay for the next show.
        r.w->show();
        QCOMPARE(r.noise(), 1);
        QCOMPARE(r.rssi(), 1);
    }

    void channelByteNeverWraps() {
        Rig r;
        r.host.channel = 300;
        r.w->show();
        QCOMPARE(r.modem.commands.at(0), std::string("#C\xFF", 3));
    }

    void showDuringATaskSendsNothing() {
        Rig r;
        r.host.task = true;
        r.w->show();
        QVERIFY(r.modem.commands.empty());
        QVERIFY(r.dtr().empty());
        QVERIFY(!r.w->TimerReadRSSI->isActive());
        QVERIFY(r.w->TimerAutoShift->isActive());
        // The engine's levels still reach the signal line.
        r.w->addRssiPoint(r.clock.now(), -80);
        QCOMPARE(r.rssi(), 1);
        // Closing during a task leaves DTR to the engine.
        r.w->close();
        QVERIFY(r.dtr().empty());
    }

    void taskStartStopsReadingAndStopRestarts() {
        Rig r;
        r.w->show();
        r.host.task = true;
        r.w->stopReading();
        QVERIFY(!r.w->TimerReadRSSI->isActive());
        QVERIFY(r.w->TimerAutoShift->isActive());
        r.host.task = false;
        r.modem.commands.clear();
        r.w->FormShow(); // as the task's stop does while the window shows
        QCOMPARE(r.modem.commands.size(), size_t(2));
        QVERIFY(r.w->TimerReadRSSI->isActive());
    }

    void closedPortOnlyFollowsTheClock() {
        Rig r(false);
        r.w->show();
        QVERIFY(r.modem.commands.empty());
        QVERIFY(!r.w->TimerReadRSSI->isActive());
        QVERIFY(r.w->TimerAutoShift->isActive());
        // A tick on a closed port (65535 waiting, nothing read) finds nothing.
        r.w->TimerReadRSSITimer();
        QCOMPARE(r.noise() + r.rssi(), 0);
        r.w->FormClose();
        QVERIFY(r.dtr().empty());
    }

    void resynchronisationSwitchesTheInterval() {
        Rig r;
        r.w->show();
        r.receive({0xFF, 0x03, 0x00, 0x20, 0x80});
        r.w->TimerReadRSSITimer();
        QCOMPARE(r.w->TimerReadRSSI->interval(), 20);
        QCOMPARE(r.os.waiting(), size_t(0)); // the rest of the buffer was read and dropped
        r.receive({0x03, 0x00, 0x20, 0x80});
        r.w->TimerReadRSSITimer();
        QCOMPARE(r.w->TimerReadRSSI->interval(), 20);
        QCOMPARE(r.noise(), 0);
        r.w->TimerReadRSSITimer(); // quiet
        QCOMPARE(r.w->TimerReadRSSI->interval(), 50);
        r.receive({0x03, 0x00, 0x20, 0x80});
        r.w->TimerReadRSSITimer();
        QCOMPARE(r.noise(), 1);
    }

    void aTickReadsAtMostOneBuffer() {
        Rig r;
        r.w->show();
        for (int i = 0; i < 1500; ++i)
            r.receive({0x03, 0x00, 0x20, 0x80});
        r.w->TimerReadRSSITimer();
        QCOMPARE(r.noise(), 1024);
        QCOMPARE(r.os.waiting(), size_t(6000 - 4096));
        r.w->TimerReadRSSITimer();
        QCOMPARE(r.noise(), 1500);
    }

    void showStartsAtALengthByte() {
        Rig r;
        r.w->show();
        r.receive({0x05, 0x01});
        r.w->TimerReadRSSITimer();
        r.w->FormShow();
        r.receive({0x03, 0x00, 0x20, 0x80});
        r.w->TimerReadRSSITimer();
        QCOMPARE(r.noise(), 1);
        QCOMPARE(r.rssi(), 0);
    }

    void followerJumpsAndDoubleClickToggles() {
        Rig r;
        const TDateTime start = r.clock.now();
        r.w->show();
        QCOMPARE(r.w->PlotRSSI->timeMin(), start); // 120 s ahead: no jump at the show
        r.clock.advanceMs(114000);
        r.w->TimerAutoShiftTimer();
        QCOMPARE(r.w->PlotRSSI->timeMin(), start);
        r.clock.advanceMs(1000); // now + 5 s reaches the end of the axis
        r.w->TimerAutoShiftTimer();
        const TDateTime now = r.clock.now();
        QVERIFY(std::fabs(r.w->PlotRSSI->timeMin() - (now - 100 * kSecond)) < 1e-9);
        QVERIFY(std::fabs(r.w->PlotRSSI->timeMax() - (now + 20 * kSecond)) < 1e-9);

        // A double-click on the plot stops the following; a second one resumes it.
        QVERIFY(QTest::qWaitForWindowExposed(r.w.get()));
        QTest::mouseDClick(r.w->PlotRSSI, Qt::LeftButton, {}, r.w->PlotRSSI->rect().center());
        QVERIFY(!r.w->autoShift());
        const double frozenMax = r.w->PlotRSSI->timeMax();
        r.clock.advanceMs(60000);
        r.w->TimerAutoShiftTimer();
        QCOMPARE(r.w->PlotRSSI->timeMax(), frozenMax);
        QTest::mouseDClick(r.w->PlotRSSI, Qt::LeftButton, {}, r.w->PlotRSSI->rect().center());
        QVERIFY(r.w->autoShift());
        r.w->TimerAutoShiftTimer();
        QVERIFY(std::fabs(r.w->PlotRSSI->timeMax() - (r.clock.now() + 20 * kSecond)) < 1e-9);

        // Every show turns following back on.
        r.w->PlotRSSIDblClick();
        r.w->FormShow();
        QVERIFY(r.w->autoShift());
    }

    void linesAreEmptiedPastTheLimit() {
        Rig r;
        TXYPlot* plot = r.w->PlotRSSI;
        for (int i = 0; i < TfrmAnalyzer::kMaxLinePoints; ++i)
            plot->appendPoint(r.w->LineNoise, i * kSecond, -100);
        r.w->addRssiPoint(0, -60);
        r.w->TimerAutoShiftTimer();
        QCOMPARE(r.noise(), TfrmAnalyzer::kMaxLinePoints); // at the limit, not past it
        plot->appendPoint(r.w->LineNoise, 1, -100);
        r.w->TimerAutoShiftTimer();
        QCOMPARE(r.noise(), 0);
        QCOMPARE(r.rssi(), 0);

        // Packets without noise reports would grow the signal line forever: it is bounded too.
        for (int i = 0; i <= TfrmAnalyzer::kMaxLinePoints; ++i)
            r.w->addRssiPoint(i * kSecond, -60);
        r.w->TimerAutoShiftTimer();
        QCOMPARE(r.rssi(), 0);
    }
};

QTEST_MAIN(AnalyzerTest)
#include "AnalyzerTest.moc"
