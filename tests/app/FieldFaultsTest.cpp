// What the field does to the main window: an adapter pulled in the middle of a download and
// plugged in again under another port, values typed into the fields and a switch clicked at once,
// a logger whose clock bytes form no date. The in-process simulator on a fake clock.
#include "AppTestSupport.h"

#include "app/TfrmKestrovane.h"
#include "modem/ModemLink.h"
#include "tests/support/WindowRig.h"
#include "ui/LoggerListView.h"
#include "ui/RowControls.h"
#include "widgets/TNumSpinEdit.h"
#include "widgets/TOnOffSwitch.h"
#ifdef KV_HAVE_ARCHIVE
#include "tests/archive/ArchiveTestSupport.h"
#endif

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QRegularExpression>
#include <QSlider>
#include <QTimer>
#include <QtTest>

namespace {
const char* const kScenario = R"({"modem": {"port": 6, "channel": 20}, "loggers": [
    {"name": "D0000000A01", "sensors": [1, 2], "measuring": false, "generate": {"count": 100}},
    {"name": "D0000000B02", "sensors": [1, 2], "measuring": false, "generate": {"count": 100}},
    {"name": "D0000000C03", "sensors": [1, 2], "measuring": false, "generate": {"count": 100}}]})";
} // namespace

class FieldFaultsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<rig::WindowRig> r_;
    QTemporaryDir* dir_ = nullptr;
    FakeClock* clock_ = nullptr;
    SimSerialOs* os_ = nullptr;
    TfrmKestrovane* w_ = nullptr;

    void runTask(const std::function<bool()>& stop = {}) { r_->runTask(stop); }
    size_t blockRequestsTo(const std::string& name) const {
        size_t n = 0;
        for (const auto& r : os_->airRequests())
            n += std::string(r.begin(), r.end()).rfind(name + "D", 0) == 0;
        return n;
    }

private slots:
    void init() {
        r_ = std::make_unique<rig::WindowRig>(kScenario,
                                              "Channel 20\r\nD0000000A01\r\nD0000000B02\r\nD0000000C03\r\n");
        dir_ = &r_->dir;
        clock_ = &r_->clock;
        os_ = &r_->os;
        w_ = r_->window.get();
        w_->CheckBoxRunOrmix->setChecked(false);
        r_->loadGroup();
        w_->TrackBarDataBlockSize->setValue(3); // 512-byte blocks: several per logger
        w_->CheckBoxAttempt2->setChecked(false);
        w_->CheckBoxAttempt3->setChecked(false);
    }
    void cleanup() { r_.reset(); }

    void pulledMidDownloadThenPluggedInUnderAnotherPort() {
        BoxRecorder boxes;
        w_->SwitchConnect->setOn(true);
        QVERIFY(w_->PortDrv.IsOpen());
        w_->SwitchDownload->setOn(true);
        QVERIFY2(w_->taskRunning(), qPrintable(boxes.texts.join('|')));
        // Pulled while the second logger's third block is on its way.
        runTask([&] { return blockRequestsTo("D0000000B02") == 3; });
        QVERIFY(w_->taskRunning());
        clock_->advanceMs(100);
        os_->pullOut();
        w_->TimerReadStreamTimer();

        QVERIFY(!w_->taskRunning());
        QVERIFY(!w_->SwitchDownload->isOn());
        QVERIFY(!w_->SwitchConnect->isOn());
        QVERIFY(!w_->PortDrv.IsOpen());
        QCOMPARE(w_->StatusPanel0->text(), QString("Нет подключения"));
        QCOMPARE(boxes.texts, QStringList{QString::fromUtf8(ModemLink::kLostText)});
        const auto& t = w_->table;
        QCOMPARE(t.loggers[0].LoggerState, uint8_t(TaskDone));
        QCOMPARE(t.loggers[0].RecordTimes.size(), size_t(100));
        QCOMPARE(t.loggers[1].LoggerState, uint8_t(PartlyLoaded));
        QCOMPARE(t.loggers[1].RecordTimes.size(),
                 size_t(2 * (512 / 14))); // two whole blocks of 14-byte records
        QCOMPARE(t.loggers[2].LoggerState, uint8_t(NotPolled));
        QVERIFY(t.invariantsHold());

        // What came is saved.
        const QString target = dir_->path() + "/Archive/cut.orx";
        QTimer::singleShot(0, w_->SaveDialogORX, [this, target] {
            w_->SaveDialogORX->selectFile(target);
            static_cast<QDialog*>(w_->SaveDialogORX)->accept();
        });
        w_->ImageSaveORXClick();
        QCOMPARE(boxes.texts.size(), 1); // no error box from the save
        const QRegularExpression record("^\\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d +-?\\d+V",
                                        QRegularExpression::MultilineOption);
        QCOMPARE(int(QString::fromLatin1(readFile(target)).count(record)), 100 + 72);

        // Back in, as another device: the search over all ports finds it and a download completes.
        os_->plugIn(9);
        w_->SwitchConnect->setOn(true);
        QCOMPARE(os_->openPort(), 9);
        w_->SwitchDownload->setOn(true);
        runTask();
        for (const auto& l : w_->table.loggers)
            QCOMPARE(l.RecordTimes.size(), size_t(100));
    }

    // A day in the field after the window opened: with the finish box clear a download runs to
    // its own start; ticked, to the date in the box.
    void finishIsTheTaskStartUnlessTheBoxIsTicked() {
        BoxRecorder boxes;
        const TDateTime now = clock_->now();
        r_->window.reset();
        clock_->setNow(now - 1);
        w_ = r_->newWindow();
        w_->CheckBoxRunOrmix->setChecked(false);
        r_->loadGroup();
        w_->CheckBoxAttempt2->setChecked(false);
        clock_->setNow(now);
        w_->SwitchConnect->setOn(true);
        w_->SwitchDownload->setOn(true);
        runTask();
        QCOMPARE(w_->table.loggers[0].RecordTimes.size(), size_t(100));
        QVERIFY(qAbs(w_->table.loggers[0].RecordTimes.back() - now) * 24 < 1);

        w_->DateTimeFinishCheck->setChecked(true); // the date still reads the day before
        w_->SwitchDownload->setOn(true);
        runTask();
        const auto& times = w_->table.loggers[0].RecordTimes;
        QVERIFY(!times.empty() && dt::toSeconds(times.back()) == dt::toSeconds(now - 1));
        QCOMPARE(times.size(), size_t(100 - 24 / 3)); // the day's records at 3 hours
    }

    // With nothing reading the port the loss shows at the next command, with the same result.
    void pulledWhileIdleIsFoundAtTheNextCommand() {
        BoxRecorder boxes;
        w_->SwitchConnect->setOn(true);
        os_->pullOut();
        const size_t writes = os_->writes().size();
        w_->SwitchTime->setOn(true);
        QVERIFY(!w_->SwitchTime->isOn());
        QVERIFY(!w_->taskRunning());
        QVERIFY(!w_->PortDrv.IsOpen());
        QCOMPARE(w_->StatusPanel0->text(), QString("Нет подключения"));
        QCOMPARE(boxes.texts, QStringList{QString::fromUtf8(ModemLink::kLostText)});
        QCOMPARE(os_->writes().size(), writes);
    }

    void typedValuesGoOutInRange() {
        BoxRecorder boxes;
        w_->SwitchConnect->setOn(true);
        w_->SpinLogPeriod->editor()->setText("150");
        w_->SwitchPeriod->setOn(true);
        runTask();
        w_->SpinModChannel->editor()->setText("99");
        w_->SwitchDownload->setOn(true);
        runTask();

        const auto air = os_->airRequests();
        QVERIFY(!air.empty());
        const std::string period = "D0000000A01P" + std::string(1, char(99));
        bool sawPeriod = false;
        for (const auto& r : air)
            sawPeriod = sawPeriod || std::string(r.begin(), r.end()).rfind(period, 0) == 0;
        QVERIFY(sawPeriod);
        QCOMPARE(w_->SpinLogPeriod->editor()->text(), QString("99"));
        const auto commands = os_->commands();
        std::vector<uint8_t> lastChannel;
        for (const auto& c : commands)
            if (c.size() == 3 && c[0] == '#' && c[1] == 'C')
                lastChannel = c;
        QCOMPARE(int(lastChannel.at(2)), 23);
        QCOMPARE(w_->SpinModChannel->editor()->text(), QString("23"));
    }

    // A damaged archive is said in panel 1 at start; downloads go on without it.
    void damagedArchiveIsSaidInPanel1() {
        r_->window.reset();
        writeFile(dir_->path() + "/archive.sqlite", QByteArray(5000, 'x'));
        w_ = r_->newWindow();
        QVERIFY2(w_->StatusPanel1->text().contains("archive.sqlite"), qPrintable(w_->StatusPanel1->text()));
        BoxRecorder boxes;
        r_->loadGroup();
        w_->SwitchConnect->setOn(true);
        w_->SwitchDownload->setOn(true);
        runTask();
        QCOMPARE(w_->table.LoadedRecordCount, 300);
    }

#ifdef KV_HAVE_ARCHIVE
    // Another program holds the archive's write lock through a whole download: afterwards panel 1
    // still counts the records not archived and says why; the retry timer brings them in once the
    // lock is gone, says so, and stops.
    void busyArchiveIsCountedAfterTheTaskAndRetriedUntilAllIsArchived() {
        RawConnection other((dir_->path() + "/archive.sqlite").toStdString());
        QCOMPARE(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
        BoxRecorder boxes;
        w_->SwitchConnect->setOn(true);
        w_->SwitchDownload->setOn(true);
        runTask();
        QVERIFY(!w_->taskRunning());
        const QString waiting = w_->StatusPanel1->text();
        QVERIFY2(waiting.contains("Не в архиве: 300") && waiting.contains("занят"), qPrintable(waiting));
        w_->TimerArchiveRetryTimer();
        QVERIFY(w_->TimerArchiveRetry->isActive());

        QCOMPARE(other.exec("COMMIT"), SQLITE_OK);
        w_->TimerArchiveRetryTimer();
        const QString done = w_->StatusPanel1->text();
        QVERIFY2(!done.contains("Не в архиве") && done.contains("Все записи в архиве"), qPrintable(done));
        QVERIFY(!w_->TimerArchiveRetry->isActive());
    }
#endif

    // The engine's impossible status clock reaches the row: raw bytes, in red.
    void impossibleClockShownRawInRed() {
        EngineEvent decoded;
        decoded.kind = EngineEvent::StatusDecoded;
        decoded.row = 1;
        decoded.clockValid = false;
        decoded.text = "00.13.26 24:00:00";
        w_->onEngineEvent(decoded);
        auto* label = w_->list()->controls(1).values[4];
        QCOMPARE(label->text(), QString("00.13.26 24:00:00"));
        QCOMPARE(label->textColour(), QColor(Qt::red));
    }
};

QTEST_MAIN(FieldFaultsTest)
#include "FieldFaultsTest.moc"
