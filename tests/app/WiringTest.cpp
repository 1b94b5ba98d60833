// The main window driving the modem link, the task engine, the group reader and the file writer
// against the in-process simulated modem on a fake clock.
#include "AppTestSupport.h"

#include "app/TfrmKestrovane.h"
#include "files/Cp1251.h"
#include "files/IniFile.h"
#include "tests/support/WindowRig.h"
#include "ui/LoggerListView.h"
#include "widgets/TNumSpinEdit.h"
#include "widgets/TOnOffSwitch.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

class WiringTest : public QObject {
    Q_OBJECT
    std::unique_ptr<rig::WindowRig> r_;
    QTemporaryDir* dir_ = nullptr;
    FakeClock* clock_ = nullptr;
    SimSerialOs* os_ = nullptr;
    TfrmKestrovane* w_ = nullptr;
    QStringList opened_;

    QString groupFile() const { return r_->groupFile(); }
    size_t commandCount(uint8_t letter) const {
        size_t n = 0;
        for (const auto& c : os_->commands())
            n += c.size() >= 2 && c[0] == '#' && c[1] == letter;
        return n;
    }
    // Answers the next file dialog with a name, as the user would.
    void answerDialog(QFileDialog* d, const QString& path) {
        QTimer::singleShot(0, d, [d, path] {
            d->selectFile(path);
            // Shown before, the dialog has the focus in its name field, where selectFile writes nothing.
            if (auto* name = d->findChild<QLineEdit*>("fileNameEdit"))
                name->setText(path);
            static_cast<QDialog*>(d)->accept();
        });
    }

    // The group with one downloaded record of its first logger.
    void loadGroupWithARecord() {
        LoadConfiguration(groupFile().toStdString(), w_->table, *w_);
        auto& lg = w_->table.loggers[0];
        lg.SensorCodes = {100};
        lg.SensorReadings.resize(1);
        const int16_t reading = -200;
        w_->table.appendRecord(0, dt::encode(2026, 12, 7, 10, 0, 0), 365, &reading, 1);
    }
    QStringList archived() const {
        return QDir(dir_->path() + "/Archive").entryList(QDir::Files | QDir::Hidden);
    }

private slots:
    void init() {
        r_ = std::make_unique<rig::WindowRig>("{}",
                                              "Channel 21\r\nD4071534826\tскважина 3\r\nD4071534827\r\n");
        dir_ = &r_->dir;
        clock_ = &r_->clock;
        os_ = &r_->os;
        w_ = r_->window.get();
        w_->openDocument = [this](const QString& p) { opened_ << p; };
        w_->editDocument = [this](const QString& p) {
            opened_ << p;
            return true;
        };
        opened_.clear();
    }
    void cleanup() { r_.reset(); }

    void connectAndDisconnect() {
        w_->SwitchConnect->setOn(true);
        QVERIFY(w_->PortDrv.IsOpen());
        QVERIFY(w_->StatusPanel0->text().startsWith("USB/RK "));
        QCOMPARE(w_->SpinPortNum->value(), 6.0);
        w_->SwitchConnect->setOn(false);
        QVERIFY(!w_->PortDrv.IsOpen());
        QCOMPARE(w_->StatusPanel0->text(), QString("Нет подключения"));
    }

    // No modem: the start is refused and the switch springs back without its stop running.
    void refusedStartRunsNoStop() {
        BoxRecorder boxes;
        w_->LabelExecution->setText("unchanged");
        w_->SwitchTime->setOn(true);
        QVERIFY(!w_->SwitchTime->isOn());
        QCOMPARE(w_->LabelExecution->text(), QString("unchanged"));
        QVERIFY(!w_->taskRunning());
        // Download with a period under a day: refused and told, even without a modem.
        w_->setPickerValue(w_->DateTimeBegin, w_->dateFinish());
        w_->SwitchDownload->setOn(true);
        QVERIFY(!w_->SwitchDownload->isOn());
        QCOMPARE(boxes.texts, QStringList{"Некорректно задан временной интервал"});
        QVERIFY(w_->SwitchDownload->offHandler());
    }

    void openGroupThroughTheDialog() {
        BoxRecorder boxes;
        answerDialog(w_->OpenDialogCfg, groupFile());
        w_->ImageOpenCFGClick();
        QCOMPARE(w_->table.LoggerCount, 2);
        QCOMPARE(w_->windowTitle(), QString("Kestrovane - group.cfg"));
        QCOMPARE(w_->SpinModChannel->value(), 21.0);
        QCOMPARE(w_->list()->rowCount(), 2);
        QVERIFY(boxes.texts.isEmpty());
        // While a task runs the button does nothing: no dialog.
        w_->SwitchConnect->setOn(true);
        w_->SwitchMeas->setOn(true);
        QVERIFY(w_->taskRunning());
        bool shown = false;
        QTimer::singleShot(0, w_->OpenDialogCfg, [&] {
            shown = w_->OpenDialogCfg->isVisible();
            w_->OpenDialogCfg->reject();
        });
        w_->ImageOpenCFGClick();
        QCoreApplication::processEvents();
        QVERIFY(!shown);
        w_->SwitchMeas->setOn(false);
        w_->SwitchConnect->setOn(false);
    }

    void channelSentOnlyWhileTheAnalyzerShows() {
        TfrmAnalyzer analyzer(*w_, w_->PortDrv, w_->modem, *clock_,
                              IniFile(w_->settingsPath().toStdString()));
        w_->setAnalyzer(&analyzer);
        w_->SwitchConnect->setOn(true);
        const size_t before = commandCount('C');
        w_->SpinModChannel->setValue(22);
        QCOMPARE(commandCount('C'), before);
        QCOMPARE(w_->SpinLogChannel->value(), 22.0);
        w_->ImageRunAnalyzerClick();
        QVERIFY(analyzer.isVisible());
        const size_t shown = commandCount('C');
        w_->SpinModChannel->setValue(21);
        QCOMPARE(commandCount('C'), shown + 1);
        QCOMPARE(os_->commands().back(), (std::vector<uint8_t>{'#', 'C', 21}));
        // Reading a typed channel, as the channel task's result does, takes it in range and sends
        // nothing more; the field keeps what was typed until it loses the focus.
        w_->SpinModChannel->editor()->setText("250");
        const size_t typed = commandCount('C');
        const int top = int(w_->SpinModChannel->maximum());
        QCOMPARE(os_->commands().back(), (std::vector<uint8_t>{'#', 'C', uint8_t(top)}));
        QCOMPARE(w_->modemChannel(), top);
        QCOMPARE(commandCount('C'), typed);
        QCOMPARE(w_->SpinModChannel->editor()->text(), QString("250"));
        w_->SpinModChannel->setValue(21);
        // During a task the engine owns the modem: nothing is sent.
        LoadConfiguration(groupFile().toStdString(), w_->table, *w_);
        w_->SwitchMeas->setOn(true);
        QVERIFY(w_->taskRunning());
        const size_t during = commandCount('C');
        w_->SpinModChannel->setValue(20);
        QCOMPARE(commandCount('C'), during);
        w_->SwitchMeas->setOn(false);
        analyzer.hide();
        w_->setAnalyzer(nullptr);
        w_->SwitchConnect->setOn(false);
    }

    // A group file of 100,000 Channel lines read while the analyzer shows: the channel goes on the
    // air once, with the last value, instead of once a line.
    void manyChannelLinesSendOneChannelCommand() {
        TfrmAnalyzer analyzer(*w_, w_->PortDrv, w_->modem, *clock_,
                              IniFile(w_->settingsPath().toStdString()));
        w_->setAnalyzer(&analyzer);
        w_->SwitchConnect->setOn(true);
        w_->ImageRunAnalyzerClick();
        QByteArray text;
        for (int i = 0; i < 100000; ++i)
            text += i % 2 ? "Channel 17\r\n" : "Channel 18\r\n";
        writeFile(groupFile(), text + "D4071534826\r\n");
        const size_t before = commandCount('C');
        QElapsedTimer elapsed;
        elapsed.start();
        LoadConfiguration(groupFile().toStdString(), w_->table, *w_);
        QVERIFY(elapsed.elapsed() < 1000);
        QCOMPARE(w_->table.LoggerCount, 1);
        QCOMPARE(commandCount('C'), before + 1);
        QCOMPARE(os_->commands().back(), (std::vector<uint8_t>{'#', 'C', 17}));
        analyzer.hide();
        w_->setAnalyzer(nullptr);
        w_->SwitchConnect->setOn(false);
    }

    // A channel task with no ticked logger succeeds at once: the modem takes the logger channel
    // and the group file is handed to its program.
    void channelTaskWithNoTickedLogger() {
        BoxRecorder boxes;
        LoadConfiguration(groupFile().toStdString(), w_->table, *w_);
        for (int i = 0; i < 2; ++i)
            w_->list()->setTicked(i, false);
        w_->SwitchConnect->setOn(true);
        w_->SpinLogChannel->setValue(17);
        w_->SwitchChannel->setOn(true);
        QVERIFY(!w_->SwitchChannel->isOn());
        QVERIFY(!w_->taskRunning());
        QCOMPARE(w_->SpinModChannel->value(), 17.0);
        QCOMPARE(boxes.names, QStringList({"msgQuestion", "msgInfo"}));
        QVERIFY(boxes.texts[0].startsWith("Изменить частотный канал?\n"));
        QCOMPARE(opened_, QStringList{groupFile()});
        QVERIFY(w_->TimerFinishedSound->isActive());
        w_->SwitchConnect->setOn(false);
    }

    void channelTaskStoppedByTheUser() {
        BoxRecorder boxes;
        LoadConfiguration(groupFile().toStdString(), w_->table, *w_);
        w_->SwitchConnect->setOn(true);
        w_->SpinLogChannel->setValue(17);
        w_->SwitchChannel->setOn(true);
        QVERIFY(w_->taskRunning());
        w_->SwitchChannel->setOn(false);
        QVERIFY(!w_->taskRunning());
        QCOMPARE(boxes.names.last(), QString("msgError"));
        QVERIFY(boxes.texts.last().startsWith("Критическая ошибка!"));
        QCOMPARE(w_->SpinModChannel->value(), 21.0);
        QVERIFY(opened_.isEmpty());
        QVERIFY(!w_->TimerFinishedSound->isActive());
    }

    // Records that no save has covered are asked about: Cancel keeps the window, Yes closes only
    // once the save succeeded, No closes without a file. Saved records close without a question.
    void closingWithUnsavedRecordsAsks() {
        QDir().mkpath(dir_->path() + "/ini");
        const QString question = "Загруженные данные не сохранены. Сохранить их перед выходом?";
        BoxRecorder boxes;
        loadGroupWithARecord();
        w_->show();
        boxes.answer = QMessageBox::Cancel;
        QVERIFY(!w_->close());
        QVERIFY(w_->isVisible());
        QCOMPARE(boxes.texts, QStringList{question});
        QCOMPARE(boxes.names, QStringList{"msgQuestion"});

        boxes.answer = QMessageBox::Yes;
        QTimer::singleShot(0, w_->SaveDialogORX, [this] { w_->SaveDialogORX->reject(); });
        QVERIFY(!w_->close());
        QVERIFY(archived().isEmpty());

        answerDialog(w_->SaveDialogORX, dir_->path() + "/Archive/data.orx");
        QSignalSpy ended(w_, &TfrmKestrovane::closedForGood);
        QVERIFY(w_->close());
        QCOMPARE(archived(), QStringList{"data.orx"});
        QCOMPARE(ended.size(), 1);
        QCOMPARE(boxes.texts.size(), 3);

        // Saved, then closed again: nothing to ask.
        w_ = r_->newWindow();
        boxes.texts.clear();
        loadGroupWithARecord();
        answerDialog(w_->SaveDialogORX, dir_->path() + "/Archive/again.orx");
        QVERIFY(w_->saveMeasurements());
        w_->show();
        QVERIFY(w_->close());
        QVERIFY(boxes.texts.isEmpty());
    }

    void answeringNoClosesWithoutAFile() {
        QDir().mkpath(dir_->path() + "/ini");
        BoxRecorder boxes;
        loadGroupWithARecord();
        w_->show();
        boxes.answer = QMessageBox::No;
        QVERIFY(w_->close());
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(archived().isEmpty());
        QVERIFY(QFileInfo::exists(w_->settingsPath()));
    }

    // Told to stop while the question is open: no one will answer it any more, so the records
    // go to Archive under the group's name and the time, and the window closes.
    void signalWhileTheQuestionIsOpenSavesToArchive() {
        BoxRecorder boxes;
        loadGroupWithARecord();
        w_->show();
        boxes.whileOpen = [this] { w_->closeForSignal(); };
        QVERIFY(w_->close());
        QVERIFY(!w_->isVisible());
        QCOMPARE(archived(), QStringList{"group 2026-12-07 12-00 несохранено.orx"});
        const QByteArray file = readFile(dir_->path() + "/Archive/" + archived().first());
        QVERIFY(file.contains("07.12.26 10:00:00 365V"));
        // The logger's download never finished: the file says so.
        QVERIFY(file.contains("\r\n//" + QByteArray::fromStdString(utf8ToCp1251("Загружены не полностью: ")) +
                              "D4071534826\r\n"));
        // Only the question was a box: the failed settings write went to standard error.
        QCOMPARE(boxes.texts.size(), 1);
    }

    // A later task's states are not the download's: a logger downloaded in full and then not
    // found when the clocks were set is no partial one.
    void theMarkFollowsTheDownloadNotALaterTask() {
        BoxRecorder boxes;
        loadGroupWithARecord();
        w_->table.loggers[0].LoggerState = TaskDone;
        w_->SwitchConnect->setOn(true);
        w_->SwitchTime->setOn(true);
        QVERIFY(w_->taskRunning());
        w_->SwitchTime->setOn(false);
        QCOMPARE(int(w_->table.loggers[0].LoggerState), int(NotFound));
        w_->show();
        w_->closeForSignal();
        QCOMPARE(archived().size(), 1);
        QVERIFY(!readFile(dir_->path() + "/Archive/" + archived().first())
                     .contains(QByteArray::fromStdString(utf8ToCp1251("Загружены не полностью"))));
    }

    // "Да" while a download runs: the task ends, then the records are saved and the window closes.
    void savingAtCloseStopsARunningTask() {
        QDir().mkpath(dir_->path() + "/ini");
        BoxRecorder boxes;
        LoadConfiguration(groupFile().toStdString(), w_->table, *w_);
        w_->SwitchConnect->setOn(true);
        w_->SwitchDownload->setOn(true);
        QVERIFY(w_->taskRunning());
        auto& lg = w_->table.loggers[0];
        lg.SensorCodes = {100};
        lg.SensorReadings.resize(1);
        const int16_t reading = -200;
        w_->table.appendRecord(0, dt::encode(2026, 12, 7, 10, 0, 0), 365, &reading, 1);
        w_->show();
        answerDialog(w_->SaveDialogORX, dir_->path() + "/Archive/data.orx");
        QVERIFY(w_->close());
        QCOMPARE(archived(), QStringList{"data.orx"});
        QVERIFY(readFile(dir_->path() + "/Archive/data.orx").contains("07.12.26 10:00:00 365V"));
    }

    // A save killed midway at the last run left its temporary files in the default folders.
    void startUpClearsStaleTemporaries() {
        const QString stale[] = {dir_->path() + "/Archive/.kv-AbC123.tmp",
                                 dir_->path() + "/ini/.kv-AbC123.tmp"};
        for (const QString& p : stale) {
            writeFile(p, "x");
            QFile f(p);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(
                f.setFileTime(QDateTime::currentDateTime().addSecs(-120), QFileDevice::FileModificationTime));
        }
        w_ = r_->newWindow();
        for (const QString& p : stale)
            QVERIFY2(!QFileInfo::exists(p), qPrintable(p));
    }

    void saveMeasurements() {
        BoxRecorder boxes;
        w_->ImageSaveORXClick();
        QCOMPARE(boxes.texts, QStringList{"Нет данных для сохранения "});

        LoadConfiguration(groupFile().toStdString(), w_->table, *w_);
        auto& lg = w_->table.loggers[0];
        lg.SensorCodes = {100};
        lg.SensorReadings.resize(1);
        const int16_t reading = -200;
        w_->table.appendRecord(0, dt::encode(2026, 12, 7, 10, 0, 0), 365, &reading, 1);
        answerDialog(w_->SaveDialogORX, dir_->path() + "/Archive/data.txt");
        w_->ImageSaveORXClick();
        const QString target = dir_->path() + "/Archive/data.orx";
        const QByteArray first = readFile(target);
        QVERIFY(first.contains("07.12.26 10:00:00 365V   -200 ("));
        QCOMPARE(opened_, QStringList{target});

        // The file exists: the user is asked, and No leaves it as it was.
        w_->table.appendRecord(0, dt::encode(2026, 12, 7, 14, 0, 0), 364, &reading, 1);
        boxes.answerYes = false;
        w_->CheckBoxRunOrmix->setChecked(false);
        answerDialog(w_->SaveDialogORX, target);
        w_->ImageSaveORXClick();
        QCOMPARE(boxes.texts.last(), "Файл " + target + " уже существует.\nЗаменить?");
        QCOMPARE(readFile(target), first);
        boxes.answerYes = true;
        answerDialog(w_->SaveDialogORX, target);
        w_->ImageSaveORXClick();
        QVERIFY(readFile(target).contains("14:00:00 364V"));
        QCOMPARE(opened_.size(), 1); // the viewer option is off
    }
};

QTEST_MAIN(WiringTest)
#include "WiringTest.moc"
