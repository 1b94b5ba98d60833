// What a newcomer meets in a day with the main window: a modem that is not found and why, a
// summary of every task, questions that name their loggers, the loss question only for records
// not saved, a download that goes on after a pull, a group file saved as UTF-8, the last group
// opened again. The in-process simulator on a fake clock.
#include "AppTestSupport.h"

#include "app/SingleInstance.h"
#include "app/TfrmKestrovane.h"
#include "engine/LoggerTable.h"
#include "files/ConfigReader.h"
#include "files/Cp1251.h"
#include "modem/ModemLink.h"
#include "tests/support/WindowRig.h"
#include "ui/LoggerListView.h"
#include "ui/RowControls.h"
#include "widgets/TNumSpinEdit.h"
#include "widgets/TOnOffSwitch.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>
#include <QtTest>

namespace {
const char* const kScenario = R"({"modem": {"port": 6, "channel": 20}, "loggers": [
    {"name": "D0000000A01", "sensors": [1, 2], "measuring": false, "generate": {"count": 100}},
    {"name": "D0000000B02", "sensors": [1, 2], "measuring": false, "generate": {"count": 100}},
    {"name": "D0000000C03", "sensors": [1, 2], "measuring": false, "generate": {"count": 100}}]})";
// The fourth logger of the group is nowhere on the air.
const char* const kGroup = "Channel 20\r\nD0000000A01\r\nD0000000B02\r\nD0000000C03\r\nD0000000D04\r\n";
} // namespace

class NewcomerTest : public QObject {
    Q_OBJECT
    std::unique_ptr<rig::WindowRig> r_;
    QTemporaryDir* dir_ = nullptr;
    FakeClock* clock_ = nullptr;
    SimSerialOs* os_ = nullptr;
    TfrmKestrovane* w_ = nullptr;

    QString groupFile() const { return r_->groupFile(); }
    void newWindow() {
        w_ = r_->newWindow();
        w_->CheckBoxRunOrmix->setChecked(false);
        w_->editDocument = [](const QString&) { return true; };
        w_->TrackBarDataBlockSize->setValue(3); // 512-byte blocks: several per logger
        w_->CheckBoxAttempt2->setChecked(false);
    }
    // The timers as the event loop fires them, the time limit too.
    void runTask(const std::function<bool()>& stop = {}) { r_->runTask(stop, true); }
    size_t blockRequestsTo(const std::string& name) const {
        size_t n = 0;
        for (const auto& r : os_->airRequests())
            n += std::string(r.begin(), r.end()).rfind(name + "D", 0) == 0;
        return n;
    }
    // The distinct block requests to a logger since the air request at index from: "D offset count".
    QSet<QString> blocksSince(size_t from, const std::string& name) const {
        QSet<QString> out;
        const auto air = os_->airRequests();
        for (size_t i = from; i < air.size(); ++i) {
            const std::string r(air[i].begin(), air[i].end());
            if (r.rfind(name + "D", 0) != 0 || r.size() < name.size() + 5)
                continue;
            const auto* b = reinterpret_cast<const uint8_t*>(r.data() + name.size() + 1);
            out << QStringLiteral("D %1 %2").arg(b[0] << 8 | b[1]).arg(b[2] << 8 | b[3]);
        }
        return out;
    }
    void save(const QString& target) {
        QTimer::singleShot(0, w_->SaveDialogORX, [this, target] {
            if (auto* name = w_->SaveDialogORX->findChild<QLineEdit*>("fileNameEdit"))
                name->setText(target);
            w_->SaveDialogORX->selectFile(target);
            static_cast<QDialog*>(w_->SaveDialogORX)->accept();
        });
        QVERIFY(w_->saveMeasurements());
    }
    QString value(int row, int column) const { return w_->list()->controls(row).values[column]->text(); }

private slots:
    void init() {
        r_ = std::make_unique<rig::WindowRig>(kScenario, kGroup,
                                              [](const QString& folder) { QDir().mkpath(folder + "/ini"); });
        dir_ = &r_->dir;
        clock_ = &r_->clock;
        os_ = &r_->os;
        newWindow();
        BoxRecorder boxes;
        r_->loadGroup();
    }
    void cleanup() { r_.reset(); }

    // The switch flips back, and panel 1 and a box say why: nothing answered, or the port is
    // another program's.
    void modemNotFoundIsSaidWithItsReason() {
        BoxRecorder boxes;
        os_->setUnplugged(true);
        w_->SwitchConnect->setOn(true);
        QVERIFY(!w_->SwitchConnect->isOn());
        QCOMPARE(w_->StatusPanel1->text(), QString("Модем не найден: ни один порт не ответил"));
        QCOMPARE(boxes.names, QStringList{"msgError"});
        QVERIFY2(
            boxes.texts[0].startsWith("Модем не найден.\nНи один порт не ответил на запрос модема (проверены "
                                      "порт 6 и порты 2…256)."),
            qPrintable(boxes.texts[0]));

        os_->setUnplugged(false);
        os_->setHeldElsewhere(6);
        w_->SwitchConnect->setOn(true);
        QVERIFY(!w_->SwitchConnect->isOn());
        QCOMPARE(w_->StatusPanel1->text(), QString("Модем не найден: порт 6 (COM6) занят другой программой"));
        QCOMPARE(boxes.texts.last(), QString("Модем не найден.\nПорт 6 (COM6) занят другой программой: "
                                             "закройте её и снова включите модем."));

        os_->setHeldElsewhere(0);
        w_->SwitchConnect->setOn(true);
        QVERIFY(w_->SwitchConnect->isOn());
        QCOMPARE(w_->StatusPanel1->text(), QString("Модем найден: порт 6 (COM6)"));
        QCOMPARE(boxes.texts.size(), 2);
    }

    // A second start of the program with the same settings file hands over to the first one.
    void secondStartBringsTheFirstForward() {
        SingleInstance first(dir_->path() + "/ini/ProgSet.ini");
        QVERIFY(first.claim());
        QSignalSpy called(&first, &SingleInstance::anotherStarted);
        SingleInstance second(dir_->path() + "/ini/ProgSet.ini");
        QVERIFY(!second.claim());
        QVERIFY(called.wait(2000));
        SingleInstance elsewhere(dir_->path() + "/other/ProgSet.ini");
        QVERIFY(elsewhere.claim());
    }

    // Each task ends with what it came to; the rows follow an erase and a new period; the
    // questions name the loggers; a channel change of part of the group says it split it.
    void everyTaskTellsWhatItDid() {
        BoxRecorder boxes;
        w_->SwitchConnect->setOn(true);
        w_->SwitchDownload->setOn(true);
        runTask();
        QCOMPARE(w_->StatusPanel1->text(), QString("Загрузка данных — 3 из 4: выполнено 3, не найден 1"));
        QVERIFY(w_->StatusPanel1->toolTip().contains("не найден: D0000000D04"));

        w_->list()->setTicked(3, false);
        w_->SwitchErase->setOn(true);
        QCOMPARE(boxes.texts.last(),
                 QString("Стереть все данные из памяти приборов?\nСтереть все данные из памяти 3 "
                         "логгеров: D0000000A01, D0000000B02, D0000000C03?"));
        runTask();
        QCOMPARE(w_->StatusPanel1->text(), QString("Стирание памяти — 3 из 3: выполнено 3"));
        QCOMPARE(value(0, LoggerListView::kMeasureCountColumn), QString("0"));

        w_->SpinLogPeriod->setValue(5);
        w_->SwitchPeriod->setOn(true);
        runTask();
        QCOMPARE(value(2, LoggerListView::kPeriodColumn), QString("5"));

        // Half of the group goes to channel 21, and no editor starts for the group file.
        w_->list()->setTicked(1, false);
        w_->SpinLogChannel->setValue(21);
        w_->editDocument = [](const QString&) { return false; };
        w_->SwitchChannel->setOn(true);
        QCOMPARE(boxes.texts.last(),
                 "Изменить частотный канал?\nПеревести 2 логгера на канал 21 (" +
                     TfrmKestrovane::frequencyText(21) +
                     ")?\nНе отмечены и останутся на канале 20: D0000000B02, D0000000D04.");
        runTask();
        QCOMPARE(w_->SpinModChannel->value(), 21.0);
        const QStringList tail = boxes.texts.mid(boxes.texts.size() - 2);
        QVERIFY2(tail[0].startsWith(
                     "Изменение частотного канала проведено успешно.\nВнесите изменения в файл "
                     "конфигурации\nГруппа разделена: на канал 21 перешли D0000000A01, D0000000C03; "
                     "на канале 20 остались D0000000B02, D0000000D04."),
                 qPrintable(tail[0]));
        QCOMPARE(tail[1], "Не удалось запустить редактор для файла " + groupFile() +
                              ".\nОткройте его сами и исправьте строку Channel на 21.");
    }

    // The loss question is asked for records not saved yet, and after a save no more.
    void lossQuestionOnlyForUnsavedRecords() {
        BoxRecorder boxes;
        const QString question = QString::fromUtf8(LoggerTable::confirmationText()).replace("\r\n", "\n");
        w_->list()->setTicked(3, false);
        w_->SwitchConnect->setOn(true);
        w_->SwitchDownload->setOn(true);
        runTask();
        w_->SwitchDownload->setOn(true);
        QCOMPARE(boxes.texts.count(question), 1);
        runTask();
        save(dir_->path() + "/Archive/day.orx");
        QVERIFY(!w_->hasUnsavedRecords());
        w_->SwitchDownload->setOn(true);
        QVERIFY(w_->taskRunning());
        QCOMPARE(boxes.texts.count(question), 1);
    }

    // Pulled mid-download, plugged in again: panel 1 says the modem is back, and the download
    // goes on with what came, asking each logger only for the rest.
    void downloadGoesOnAfterAPull() {
        BoxRecorder boxes;
        w_->list()->setTicked(3, false);
        w_->SwitchConnect->setOn(true);
        w_->SwitchDownload->setOn(true);
        runTask([&] { return blockRequestsTo("D0000000B02") == 3; });
        clock_->advanceMs(100);
        os_->pullOut();
        w_->TimerReadStreamTimer();
        QVERIFY(!w_->taskRunning());
        QVERIFY(
            w_->StatusPanel1->text().startsWith("Связь с модемом потеряна. Остановлено. Загрузка данных"));
        QCOMPARE(w_->table.loggers[1].RecordTimes.size(), size_t(72));

        os_->plugIn(9);
        w_->SwitchConnect->setOn(true);
        QCOMPARE(w_->StatusPanel1->text(), QString("Модем найден: порт 9 (COM9)"));
        // The clocks set first: another task in between does not make the download start over.
        w_->SwitchTime->setOn(true);
        runTask();
        const size_t from = os_->airRequests().size();
        w_->SwitchDownload->setOn(true);
        QVERIFY(w_->taskRunning());
        runTask();
        QCOMPARE(boxes.texts.size(), 1); // the loss, and no question about losing data
        // Each asked once for what it lacks (a reply lost to the pull may be asked for again).
        QCOMPARE(blocksSince(from, "D0000000A01"), QSet<QString>{"D 0 1"});  // its newest, to be sure
        QCOMPARE(blocksSince(from, "D0000000B02"), QSet<QString>{"D 0 29"}); // the 28 it lacked
        QCOMPARE(blocksSince(from, "D0000000C03").size(), 3);                // all of it
        for (const LoggerTable::Logger& l :
             {w_->table.loggers[0], w_->table.loggers[1], w_->table.loggers[2]}) {
            QCOMPARE(l.RecordTimes.size(), size_t(100));
            QVERIFY(std::is_sorted(l.RecordTimes.begin(), l.RecordTimes.end(), std::less_equal<>()));
            QCOMPARE(l.LoggerState, uint8_t(TaskDone));
        }
        QVERIFY(w_->table.invariantsHold());
        QCOMPARE(w_->StatusPanel1->text(), QString("Загрузка данных (продолжение) — 3 из 3: выполнено 3"));
    }

    // A group saved as UTF-8 (with or without a byte-order mark) reads right and says so; the
    // program opens the last group again at its next start.
    void groupFileInUtf8AndTheLastGroupAtStart() {
        BoxRecorder boxes;
        const QByteArray text = "Channel 20\r\nD0000000A01\tскважина 3, глубина 12 м\r\n";
        for (const QByteArray& bytes : {text, "\xEF\xBB\xBF" + text}) {
            writeFile(dir_->path() + "/Cfg/utf8.cfg", bytes);
            LoadConfiguration((dir_->path() + "/Cfg/utf8.cfg").toStdString(), w_->table, *w_);
            QCOMPARE(w_->table.LoggerCount, 1);
            QCOMPARE(w_->table.loggers[0].LoggerName, std::string("D0000000A01"));
            QCOMPARE(w_->table.loggers[0].LoggerComment, utf8ToCp1251("скважина 3, глубина 12 м"));
            QCOMPARE(value(0, 5), QString("скважина 3, глубина 12 м"));
            QCOMPARE(w_->StatusPanel1->text(), QString::fromUtf8(kUtf8GroupNotice));
        }
        // Windows-1251 Cyrillic is read as it is, with nothing to tell.
        writeFile(
            dir_->path() + "/Cfg/cp.cfg",
            QByteArray::fromStdString("Channel 20\r\nD0000000A01\t" + utf8ToCp1251("скважина 3") + "\r\n"));
        LoadConfiguration((dir_->path() + "/Cfg/cp.cfg").toStdString(), w_->table, *w_);
        QCOMPARE(value(0, 5), QString("скважина 3"));
        QVERIFY(w_->StatusPanel1->text().isEmpty());
        QVERIFY(boxes.texts.isEmpty());

        QVERIFY(w_->close());
        newWindow();
        QCOMPARE(w_->table.LoggerCount, 1);
        QCOMPARE(w_->windowTitle(), QString("Kestrovane - cp.cfg"));
        QCOMPARE(QString::fromStdString(w_->table.ConfigFileName), dir_->path() + "/Cfg/cp.cfg");
    }
};

QTEST_MAIN(NewcomerTest)
#include "NewcomerTest.moc"
