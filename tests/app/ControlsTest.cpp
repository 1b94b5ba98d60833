// The main window as a fresh start with no settings file shows it: names, captions, hints,
// ranges and defaults of every control, the regions and the non-visual members.
#include "AppTestSupport.h"

#include "app/TImageButton.h"
#include "app/TRadioGroup.h"
#include "app/TfrmKestrovane.h"
#include "ui/LoggerListView.h"
#include "ui/RowControls.h"
#include "widgets/TNumSpinEdit.h"
#include "widgets/TOnOffSwitch.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

class ControlsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    TfrmKestrovane* w_ = nullptr;

    template <class T> T* find(const char* name) {
        T* c = w_->findChild<T*>(name);
        if (!c)
            qWarning("missing control %s", name);
        return c;
    }

private slots:
    void init() {
        setProgramDirForTests(dir_.path());
        QDir().mkpath(dir_.path() + "/Cfg");
        QDir().mkpath(dir_.path() + "/Archive");
        createProgramWindows();
        w_ = qobject_cast<TfrmKestrovane*>(programWindow("frmKestrovane"));
        QVERIFY(w_);
    }
    void cleanup() { destroyProgramWindows(); }

    void windowAndRegions() {
        QCOMPARE(w_->windowTitle(), QString("Kestrovane"));
        QVERIFY(w_->isVisible());
        // The client area of an 800 x 512 window, its smallest.
        QCOMPARE(w_->minimumSize(), QSize(792, 478));
        // No settings: the top left corner and the design's client area.
        QCOMPARE(w_->pos(), QPoint(0, 0));
        QCOMPARE(w_->size(), QSize(792, 478));
        auto* panelFile = find<QWidget>("PanelFile");
        auto* panelControl = find<QWidget>("PanelControl");
        auto* list = find<QScrollArea>("ScrollBoxDevList");
        QVERIFY(panelFile && panelControl && list);
        QCOMPARE(panelFile->height(), 33);
        QCOMPARE(panelFile->width(), w_->width());
        QCOMPARE(panelControl->width(), 141);
        QCOMPARE(list->mapTo(w_, QPoint(0, 0)), QPoint(141, 33));
        QCOMPARE(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        auto* status = find<QStatusBar>("StatusBar");
        QVERIFY(status);
        QCOMPARE(find<QLabel>("StatusBarPanel0")->text(), QString("Нет подключения"));
        QCOMPARE(find<QLabel>("StatusBarPanel0")->width(), 142);
        QCOMPARE(find<QLabel>("StatusBarPanel1")->text(),
                 QString("Откройте файл конфигурации... Включите модем..."));
    }

    void topBarControls() {
        struct Hinted {
            const char* name;
            const char* hint;
        };
        const Hinted hinted[] = {
            {"ImageOpenCFG", "Начните работу с нажатия этой кнопки!\nЗагрузить файл конфигурации"},
            {"ImageSaveORX", "Сохранить собранные данные"},
            {"CheckBoxRunOrmix", "Запустить Ormix после\nсохранения данных"},
            {"ImageRunOrmix", "Запустить Ormix после\nсохранения данных"},
            {"ImageSound", "Звуковое оповещение\n(выкл/звуковая карта/системный динамик)"},
            {"ImageHelp", "О программе"},
        };
        for (const Hinted& h : hinted) {
            QWidget* c = find<QWidget>(h.name);
            QVERIFY2(c, h.name);
            QCOMPARE(c->toolTip(), QString(h.hint));
            QCOMPARE(c->accessibleName(), QString(h.hint).section('\n', 0, 0));
        }
        QCOMPARE(find<QWidget>("ImageOpenCFG")->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(find<QCheckBox>("CheckBoxRunOrmix")->isChecked());
        QCOMPARE(find<QLabel>("LabelExecution")->text(), QString());
        auto* bar = find<QProgressBar>("ProgrBarExecution");
        QVERIFY(bar->isHidden());
        QVERIFY(!w_->taskRunning());
        QCOMPARE(find<QLabel>("Label15")->text(), QString("Текущее состояние выбранной группы логгеров"));
    }

    // Headings stand over the list's columns, 5 px right of each marker, and the markers are
    // empty until a group is open.
    void headingsLineUpWithMarkers() {
        struct Col {
            const char* heading;
            const char* text;
            const char* hint;
            const char* bevel;
            int x;
        };
        const Col cols[] = {
            {"Label14", "SN тк", "Серийный номер термокосы", "BevelSN", 249},
            {"Label8", "дат", "Количество датчиков в термокосе", "BevelD", 299},
            {"Label9", "период", "Период измерений, часов", "BevelP", 349},
            {"Label10", "замеров", "Количество сохраненных измерений", "BevelM", 399},
            {"Label11", "внутреннее время", "Показания внутренних\nчасов логгера", "BevelT", 449},
            {"Label3", "комментарии", "Коментарии из файла конфигурации", "BevelC", 549},
        };
        auto* list = find<QScrollArea>("ScrollBoxDevList");
        const int listLeft = list->mapTo(w_, QPoint(0, 0)).x();
        for (const Col& c : cols) {
            auto* l = find<QLabel>(c.heading);
            auto* b = find<QFrame>(c.bevel);
            QVERIFY2(l && b, c.heading);
            QCOMPARE(l->text(), QString(c.text));
            QCOMPARE(l->toolTip(), QString(c.hint));
            QCOMPARE(l->mapTo(w_, QPoint(0, 0)).x(), listLeft + c.x + 5);
            QCOMPARE(b->mapTo(list->widget(), QPoint(0, 0)).x(), c.x);
            QCOMPARE(b->height(), 0);
            // The heading text fits its column.
            QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(), c.heading);
        }
        auto* arrow = find<QWidget>("ImageArrowDevPtr");
        QVERIFY(arrow->isHidden());
        QCOMPARE(arrow->x(), 0);
    }

    void spinEditsAndChannels() {
        struct Spin {
            const char* name;
            const char* hint;
            double min, max, value;
        };
        const Spin spins[] = {
            {"SpinPortNum", "Начинать поиск модема\nс указанного порта", 2, 255, 6},
            {"SpinModChannel", "Номер частотного канала модема", 16, 23, 20},
            {"SpinLogPeriod", "Период измерений логгеров", 1, 99, 3},
            {"SpinLogChannel", "Номер частотного канала логгеров", 16, 23, 20},
        };
        for (const Spin& s : spins) {
            auto* e = find<TNumSpinEdit>(s.name);
            QVERIFY2(e, s.name);
            QCOMPARE(e->toolTip(), QString(s.hint));
            QCOMPARE(e->minimum(), s.min);
            QCOMPARE(e->maximum(), s.max);
            QCOMPARE(e->value(), s.value);
        }
        const QString mhz = QLocale::system().toString(434.0, 'g', QLocale::FloatingPointShortest) + " МГц";
        QCOMPARE(find<QLabel>("LabelModFreq")->text(), mhz);
        QCOMPARE(find<QLabel>("LabelLogFreq")->text(), mhz);
        QCOMPARE(find<QLabel>("LabelModFreq")->palette().color(QPalette::WindowText), QColor(Qt::red));
    }

    void switches() {
        struct Sw {
            const char* name;
            const char* caption;
            const char* hint;
        };
        const Sw sws[] = {
            {"SwitchConnect", "модем", "Начать поиск модема"},
            {"SwitchDownload", "данные", "Загрузить измерения\nза указанный период"},
            {"SwitchTime", "время", "Установить внутреннее\nвремя логгеров"},
            {"SwitchMeas", "замер", "Провести принудительное\n(тестовое) измерение"},
            {"SwitchErase", "стереть", "Стереть все измерения\nиз памяти логгеров"},
            {"SwitchPeriod", "период", "Установить период\nизмерений логгеров"},
            {"SwitchChannel", "канал", "Установить частотный\nканал логгеров"},
        };
        for (const Sw& s : sws) {
            auto* c = find<TOnOffSwitch>(s.name);
            QVERIFY2(c, s.name);
            QCOMPARE(c->caption(), QString(s.caption));
            QCOMPARE(c->toolTip(), QString(s.hint));
            QCOMPARE(c->accessibleName(), QString(s.caption));
            QVERIFY(!c->isOn());
        }
    }

    void strategyDefaults() {
        auto* track = find<QSlider>("TrackBarDataBlockSize");
        QCOMPARE(track->orientation(), Qt::Vertical);
        QCOMPARE(track->minimum(), 0);
        QCOMPARE(track->maximum(), 3);
        QCOMPARE(track->value(), 1);
        QVERIFY(track->toolTip().startsWith("Размер пакета данных:\n4kB = быстрая загрузка"));
        const int powers[] = {0, 1, 2};
        const bool ticked[] = {true, true, false};
        for (int i = 0; i < 3; ++i) {
            const QString n = QString::number(i + 1);
            auto* g = find<TRadioGroup>(qPrintable("RadioGrPower" + n));
            auto* c = find<QCheckBox>(qPrintable("CheckBoxAttempt" + n));
            QVERIFY(g && c);
            QCOMPARE(g->title(), " " + n + " ");
            QCOMPARE(g->count(), 3);
            QCOMPARE(g->itemIndex(), powers[i]);
            QCOMPARE(g->toolTip(),
                     "Попытка " + n + "\nСтратегия поиска логгеров\n(мощность передатчика, дБм)");
            QCOMPARE(c->toolTip(), QString("Стратегия поиска логгеров\n(попытки)"));
            QCOMPARE(c->isChecked(), ticked[i]);
            QCOMPARE(g->isEnabled(), ticked[i]);
        }
        QVERIFY(find<QWidget>("ImageArrowAttemptPtr")->isHidden());
    }

    void radioGroupClampsItemIndex() {
        TRadioGroup g(" 1 ", 3);
        g.setItemIndex(7);
        QCOMPARE(g.itemIndex(), 2);
        g.setItemIndex(-5);
        QCOMPARE(g.itemIndex(), -1);
        for (int i = 0; i < 3; ++i)
            QVERIFY(!g.button(i)->isChecked());
        g.setItemIndex(0);
        QCOMPARE(g.itemIndex(), 0);
        g.button(1)->click();
        QCOMPARE(g.itemIndex(), 1);
    }

    // The begin date is midnight 31 days back, the finish date now; both check boxes cleared.
    void datePickers() {
        auto* begin = find<QDateTimeEdit>("DateTimeBegin");
        auto* finish = find<QDateTimeEdit>("DateTimeFinish");
        QCOMPARE(begin->displayFormat(), QString("dd.MM.yy  HH:mm"));
        QCOMPARE(begin->minimumDate(), QDate(2013, 1, 1));
        QVERIFY(begin->calendarPopup());
        const QDateTime now = QDateTime::currentDateTime();
        QCOMPARE(begin->time(), QTime(0, 0));
        QVERIFY(qAbs(begin->date().daysTo(now.date()) - 31) <= 1);
        QVERIFY(qAbs(finish->dateTime().time().secsTo(now.time())) < 60 || finish->date() != now.date());
        QVERIFY(!find<QCheckBox>("DateTimeBeginCheck")->isChecked());
        QVERIFY(!find<QCheckBox>("DateTimeFinishCheck")->isChecked());
    }

    void nonVisualMembers() {
        auto* readStream = find<QTimer>("TimerReadStream");
        auto* skipDev = find<QTimer>("TimerSkipDev");
        auto* finished = find<QTimer>("TimerFinishedSound");
        QCOMPARE(readStream->interval(), 50);
        QCOMPARE(skipDev->interval(), 26000);
        QCOMPARE(finished->interval(), 1000);
        QVERIFY(!readStream->isActive() && !skipDev->isActive() && !finished->isActive());

        auto* open = find<QFileDialog>("OpenDialogCfg");
        auto* save = find<QFileDialog>("SaveDialogORX");
        QCOMPARE(open->nameFilters(), QStringList({"*.cfg (*.cfg)", "Все файлы (*)"}));
        QCOMPARE(save->nameFilters(), QStringList({"*.orx (*.orx)", "Все файлы (*)"}));
        QVERIFY(save->testOption(QFileDialog::DontConfirmOverwrite));
        QVERIFY(open->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(QDir(open->directory()).absolutePath(), QDir(dir_.path() + "/Cfg").absolutePath());
        QCOMPARE(QDir(save->directory()).absolutePath(), QDir(dir_.path() + "/Archive").absolutePath());
        QCOMPARE(w_->ProgramDir, dir_.path());
        QVERIFY(w_->table.ConfigFileName.empty());

        QCOMPARE(w_->ImageListBat.size(), 20);
        QCOMPARE(w_->ImageListBat[0].size(), QSize(24, 11));
        QCOMPARE(w_->ImageListAnt.size(), 1);
        QCOMPARE(w_->ImageListAnt[0].size(), QSize(76, 12));
        QCOMPARE(w_->ImageListSound.size(), 3);
        QCOMPARE(w_->ImageListSound[1].size(), QSize(32, 32));
        QCOMPARE(w_->SoundMode, 1);
        QCOMPARE(w_->ImageSound->pixmap().toImage(), w_->ImageListSound[1].toImage());
        // No sound folder: every buffer empty, no message.
        QVERIFY(w_->soundCompleted.isEmpty() && w_->soundMissed.isEmpty() && w_->soundFinished.isEmpty());
    }

    void portLineSettings() {
        const TSerialPortDriver& p = w_->PortDrv;
        QCOMPARE(p.BaudRateValue(), 57600u);
        QCOMPARE(p.DataBits(), db8BITS);
        QCOMPARE(p.Parity(), ptNONE);
        QCOMPARE(p.StopBits(), sb1BITS);
        QCOMPARE(p.HwFlow(), hfNONE);
        QCOMPARE(p.SwFlow(), sfNONE);
        QVERIFY(!p.EnableDTROnOpen());
        QCOMPARE(p.OutputTimeout(), uint16_t(50));
        QCOMPARE(p.InputTimeout(), 50u);
        QCOMPARE(p.PollingDelay(), uint16_t(60000));
        QCOMPARE(p.InBufSize(), 4096u);
        QVERIFY(!p.PollingActive());
        QVERIFY(!p.IsOpen());
    }

    // The list scrolls only when the user scrolls it, not to the logger being served.
    void listDoesNotFollowTheServedLogger() {
        QByteArray group;
        for (int i = 0; i < 200; ++i)
            group += "D40715" + QByteArray::number(10000 + i) + "\r\n";
        writeFile(dir_.path() + "/Cfg/big.cfg", group);
        LoadConfiguration((dir_.path() + "/Cfg/big.cfg").toStdString(), w_->table, *w_);
        QScrollBar* bar = w_->ScrollBoxDevList->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 2000);
        bar->setValue(200);
        w_->ImageArrowDevPtr->show();
        EngineEvent served;
        served.kind = EngineEvent::LoggerServed;
        for (int row : {190, 2}) {
            served.row = row;
            w_->onEngineEvent(served);
        }
        QCOMPARE(bar->value(), 200);
        // The pointers stand beside the row served and over the attempt's power column.
        QCOMPARE(w_->ImageArrowDevPtr->y(), 2 * 14 + 4);
        EngineEvent attempt;
        attempt.kind = EngineEvent::AttemptStarted;
        attempt.attempt = 2;
        w_->onEngineEvent(attempt);
        QCOMPARE(w_->ImageArrowAttemptPtr->x(), w_->RadioGrPower3->x() + 5);
    }

    // A window wider than the design widens the rows' area, so a long comment can be read.
    void widerWindowShowsMoreOfTheComment() {
        const QByteArray comment = "well 3, depth 12 m, " + QByteArray(40, 'x') + " end of the comment";
        writeFile(dir_.path() + "/Cfg/long.cfg", "D4071534826\t" + comment + "\r\n");
        LoadConfiguration((dir_.path() + "/Cfg/long.cfg").toStdString(), w_->table, *w_);
        const QWidget* label = w_->list()->controls(0).values[5];
        QVERIFY(label->width() > 200);
        w_->resize(1400, 600);
        QTRY_COMPARE(label->visibleRegion().boundingRect().width(), label->width());
        // Narrower again: the rows keep at least the design's width.
        w_->resize(800, 600);
        QTRY_VERIFY(w_->DevListContent->width() <= w_->ScrollBoxDevList->viewport()->width() + 1);
        QVERIFY(w_->DevListContent->width() >=
                800 - 141 - w_->ScrollBoxDevList->verticalScrollBar()->width());
    }

    // The reader takes any case of ".cfg"; the dialog's filter shows every such file.
    void configFilterShowsEveryCase() {
        for (const char* name : {"GROUP.CFG", "east.cfg", "West.Cfg", "notes.txt"})
            writeFile(dir_.path() + "/Cfg/" + name, "D1234567890\r\n");
        auto* dialog = find<QFileDialog>("OpenDialogCfg");
        dialog->show();
        auto* view = dialog->findChild<QListView*>("listView");
        QVERIFY(view);
        auto shown = [view] {
            QStringList names;
            const QModelIndex root = view->rootIndex();
            for (int r = 0; r < view->model()->rowCount(root); ++r)
                names << view->model()->index(r, 0, root).data().toString();
            return names;
        };
        QTRY_VERIFY(shown().contains("GROUP.CFG") && shown().contains("West.Cfg") &&
                    shown().contains("east.cfg"));
        QVERIFY(!shown().contains("notes.txt"));
        dialog->reject();
    }

    // Controls in the command column stay inside it and do not overlap each other.
    void panelControlTidy() {
        auto* panel = find<QWidget>("PanelControl");
        QList<QWidget*> kids;
        for (QObject* o : panel->children())
            if (auto* c = qobject_cast<QWidget*>(o); c && !c->isHidden())
                kids << c;
        for (QWidget* a : kids) {
            QVERIFY2(panel->rect().contains(a->geometry()),
                     qPrintable(a->objectName() + " " + a->metaObject()->className()));
            for (QWidget* b : kids)
                if (a != b)
                    QVERIFY2(!a->geometry().intersects(b->geometry()),
                             qPrintable(
                                 a->objectName() + "/" + b->objectName() + " " +
                                 (qobject_cast<QLabel*>(a) ? qobject_cast<QLabel*>(a)->text() : QString()) +
                                 "|" +
                                 (qobject_cast<QLabel*>(b) ? qobject_cast<QLabel*>(b)->text() : QString())));
        }
    }
};

QTEST_MAIN(ControlsTest)
#include "ControlsTest.moc"
