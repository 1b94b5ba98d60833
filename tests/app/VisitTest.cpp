// A service visit in the main window (download, clock, erase, report) against the in-process
// simulator on a fake clock: what the report and the rows say, and the link log of the settings.
#include "AppTestSupport.h"

#include "app/TfrmKestrovane.h"
#include "platform/FakeClock.h"
#include "sim/Scenario.h"
#include "sim/SimDevices.h"
#include "sim/SimSerialOs.h"
#include "ui/LoggerListView.h"
#include "widgets/TOnOffSwitch.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QScrollArea>
#include <QtTest>

namespace {
// A's battery is nearly done, B answers weakly, C's clock is 20 minutes behind.
const char* const kScenario = R"({"modem": {"port": 6, "channel": 20}, "loggers": [
    {"name": "D0000000A01", "sensors": [1, 2], "measuring": false, "battery": 301, "generate": {"count": 30}},
    {"name": "D0000000B02", "sensors": [1], "measuring": false, "level": -104, "generate": {"count": 20}},
    {"name": "D0000000C03", "sensors": [1], "measuring": false, "clockOffset": -1200, "generate": {"count": 10}}]})";
} // namespace

class VisitTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<FakeClock> clock_;
    std::unique_ptr<SimDevices> devices_;
    std::unique_ptr<SimSerialOs> os_;
    std::unique_ptr<TfrmKestrovane> w_;

    void runTask(TOnOffSwitch* sw) {
        sw->setOn(true);
        QVERIFY(w_->taskRunning());
        for (int ms = 0; w_->taskRunning() && ms < 10 * 60 * 1000; ms += 50) {
            clock_->advanceMs(50);
            w_->TimerReadStreamTimer();
        }
        QVERIFY(!w_->taskRunning());
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        setProgramDirForTests(dir_->path());
        writeFile(dir_->path() + "/ini/ProgSet.ini", "[Settings]\r\nЖурнал связи=logs/link.log\r\n");
        writeFile(dir_->path() + "/Cfg/group.cfg", "Channel 20\r\nD0000000A01\t\xF3\xF1\xF2\xFC\xE5\r\n"
                                                   "D0000000B02\r\nD0000000C03\r\n");
        clock_ = std::make_unique<FakeClock>();
        ScenarioResult parsed = parseScenario(kScenario, "visit.json");
        QVERIFY2(parsed.ok, parsed.error.c_str());
        devices_ = std::make_unique<SimDevices>(parsed.scenario, *clock_);
        os_ = std::make_unique<SimSerialOs>(*devices_);
        w_ = std::make_unique<TfrmKestrovane>(*clock_, *os_);
        w_->openDocument = [](const QString&) {};
        w_->CheckBoxRunOrmix->setChecked(false);
        BoxRecorder boxes;
        LoadConfiguration((dir_->path() + "/Cfg/group.cfg").toStdString(), w_->table, *w_);
        w_->SwitchConnect->setOn(true);
    }
    void cleanup() {
        w_.reset();
        os_.reset();
        devices_.reset();
    }

    void theReportTellsWhatEachTaskDidAndTheRowsWarn() {
        BoxRecorder boxes;
        runTask(w_->SwitchDownload);
        runTask(w_->SwitchTime);
        runTask(w_->SwitchErase);
        QVERIFY2(w_->list()->controls(0).check->toolTip().contains("батарея на исходе"),
                 qPrintable(w_->list()->controls(0).check->toolTip()));
        QVERIFY(w_->list()->controls(1).check->toolTip().contains("слабая связь"));
        QVERIFY(w_->list()->controls(2).check->toolTip().isEmpty());

        // Offered where the designed screen has room: the list's and the save button's menus.
        auto* action = w_->findChild<QAction*>("ActionVisitReport");
        QVERIFY(action);
        QVERIFY(w_->ScrollBoxDevList->actions().contains(action));
        QDir().mkpath(dir_->path() + "/Archive");
        const QString pdf = dir_->path() + "/Archive/visit.pdf";
        w_->askReportPath = [&] { return pdf; };
        action->trigger();
        QVERIFY2(boxes.texts.size() == 1, qPrintable(boxes.texts.join('|'))); // the erase question only
        QVERIFY(QFileInfo(pdf).size() > 1000);
        const QStringList rows =
            QString::fromUtf8(readFile(dir_->path() + "/Archive/visit.csv")).split("\r\n");
        QVERIFY2(rows.size() >= 7, qPrintable(rows.join('\n')));
        QVERIFY(rows[1].startsWith("Дата: "));
        QVERIFY2(rows[2].startsWith("Модем: USB/RK"), qPrintable(rows[2]));
        const QStringList a = rows[4].split(';');
        QCOMPARE(a[0], QString("D0000000A01"));
        QCOMPARE(a[1], QString("устье"));
        QCOMPARE(a[3], QString("3,01"));
        QVERIFY2(a[5].endsWith(", установлены"), qPrintable(a[5]));
        QCOMPARE(a[6], QString("30"));
        QCOMPARE(a[8], QString("30")); // erased: the count its status gave
        QCOMPARE(a[11], QString("не сохранён"));
        QVERIFY(a[12].startsWith("батарея на исходе"));
        QVERIFY2(rows[6].split(';')[5].startsWith("-1200"), qPrintable(rows[6]));
    }

    void theReportNamesTheFileSavedAndWhetherItsSignaturesHold() {
        BoxRecorder boxes;
        runTask(w_->SwitchDownload);
        QDir().mkpath(dir_->path() + "/Archive");
        const QString target = dir_->path() + "/Archive/visit.orx";
        QTimer::singleShot(0, w_->SaveDialogORX, [this, target] {
            w_->SaveDialogORX->selectFile(target);
            static_cast<QDialog*>(w_->SaveDialogORX)->accept();
        });
        QVERIFY(w_->saveMeasurements());
        w_->askReportPath = [this] { return dir_->path() + "/Archive/visit.pdf"; };
        w_->ActionVisitReportClick();
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('|')));
        const QStringList rows =
            QString::fromUtf8(readFile(dir_->path() + "/Archive/visit.csv")).split("\r\n");
        QVERIFY2(rows.size() >= 7, qPrintable(rows.join('\n')));
        for (int i = 4; i < 7; ++i)
            QCOMPARE(rows[i].split(';').value(11), QString("visit.orx, подпись верна"));
    }

    void theSettingsLinkLogHoldsTheBytesAndTheEnginesWords() {
        BoxRecorder boxes;
        runTask(w_->SwitchDownload);
        const QString log = QString::fromUtf8(readFile(dir_->path() + "/logs/link.log"));
        QVERIFY2(log.contains("> 23 3F") && log.contains("< 3F 4D 37 34 32"), qPrintable(log.left(2000)));
        QVERIFY(log.contains("* D0000000A01: статус: Нет ошибок, 3.01 В"));
        QVERIFY(log.contains("|D0000000A01HEADE|"));
    }

    void noReportBeforeAnyTask() {
        BoxRecorder boxes;
        w_->askReportPath = [] { return QString("/nonexistent/never.pdf"); };
        w_->ActionVisitReportClick();
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(boxes.texts[0].contains("ни одна задача"));
    }
};

QTEST_MAIN(VisitTest)
#include "VisitTest.moc"
