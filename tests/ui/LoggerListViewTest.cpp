#include "ui/LoggerListView.h"
#include "engine/LoggerTable.h"
#include "platform/FakeClock.h"
#include "ui/Pictures.h"
#include "ui/RowControls.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include <memory>

namespace {
// The part of the main window the list works in.
struct Window {
    QWidget top;
    QScrollArea* scroll = nullptr;
    QWidget* content = nullptr;
    std::array<QFrame*, 6> bevels{};
    QLabel* devPtr = nullptr;
    QLabel* attemptPtr = nullptr;
    QString panel1 = QStringLiteral("untouched");
    FakeClock clock{dt::encode(2026, 12, 7, 12, 0, 0)};
    LoggerTable table;
    std::unique_ptr<LoggerListView> view;

    Window() {
        top.resize(792, 478);
        scroll = new QScrollArea(&top);
        scroll->setGeometry(141, 33, 651, 200);
        content = new QWidget;
        content->resize(640, 0);
        for (auto& b : bevels) {
            b = new QFrame(content);
            b->setFrameShape(QFrame::VLine);
        }
        devPtr = new QLabel(content);
        attemptPtr = new QLabel(&top);
        scroll->setWidget(content);
        view = std::make_unique<LoggerListView>(
            scroll, content, bevels, devPtr, attemptPtr, [this](const QString& t) { panel1 = t; }, clock);
        view->setNumberLocale(QLocale::c());
        table.setRowNotifications(view.get());
        top.show();
    }
    void open(int n) {
        table.ResetTable(false);
        for (int i = 0; i < n; ++i)
            table.appendLogger("L" + std::to_string(i), "c" + std::to_string(i));
        table.AllocateTable();
    }
    // Status fields as the decoder leaves them for one logger.
    void status(int row, double volts, int error = 0, int16_t serial = 1) {
        table.CurrentLogger = row;
        table.StatusBattery = volts;
        table.StatusError = error;
        table.loggers[static_cast<size_t>(row)].StringSerial = serial;
        view->showStatus(row, table);
    }
    const LoggerListView::RowControls& row(int i) const { return view->controls(i); }
    QPoint at(const QWidget* w) const { return w->mapTo(content, QPoint(0, 0)); }
};
} // namespace

class LoggerListViewTest : public QObject {
    Q_OBJECT
private slots:
    void rowsLieAtTheirPositionsAndTheMarkersRunThroughThem() {
        Window w;
        w.open(3);
        QCOMPARE(w.view->rowCount(), 3);
        for (int n : {1, 3}) {
            w.open(n);
            QCOMPARE(w.content->minimumHeight(), 14 * n + 4);
            QCOMPARE(w.content->height(), 14 * n + 4);
            for (int i = 0; i < 6; ++i) {
                QCOMPARE(w.bevels[static_cast<size_t>(i)]->height(), 14 * n + 4);
                QCOMPARE(w.bevels[static_cast<size_t>(i)]->x(),
                         LoggerListView::kBevelX[static_cast<size_t>(i)]);
                QCOMPARE(w.bevels[static_cast<size_t>(i)]->width(), 3);
            }
        }
        w.open(3);
        const auto& r = w.row(2);
        const int y0 = 28;
        QCOMPARE(QRect(w.at(r.light), r.light->size()), QRect(13, y0 + 6, 11, 11));
        QCOMPARE(QRect(w.at(r.check), r.check->size()), QRect(27, y0 + 5, 95, 14));
        QCOMPARE(QRect(w.at(r.antenna), r.antenna->size()), QRect(124, y0 + 5, 76, 12));
        QCOMPARE(QRect(w.at(r.bar), r.bar->size()), QRect(139, y0 + 7, 10, 5));
        QCOMPARE(QRect(w.at(r.lamp), r.lamp->size()), QRect(236, y0 + 7, 9, 9));
        QCOMPARE(QRect(w.at(r.battery), r.battery->size()), QRect(207, y0 + 6, 24, 12));
        const int labelX[] = {254, 304, 354, 404, 454, 554};
        for (int v = 0; v < 6; ++v)
            QCOMPARE(w.at(r.values[static_cast<size_t>(v)]), QPoint(labelX[v], y0 + 5));
        // The bar is stacked over the antenna scale it grows along.
        QVERIFY(r.antenna->parentWidget()->children().indexOf(r.bar) >
                r.antenna->parentWidget()->children().indexOf(r.antenna));
    }

    void rowsFarDownKeepTheirPlaceAndTheirClicks() {
        Window w;
        w.open(100);
        for (int i : {31, 32, 33, 99}) {
            const auto& r = w.row(i);
            QCOMPARE(w.at(r.check), QPoint(27, 14 * i + 5));
            QCOMPARE(w.at(r.values[5]), QPoint(554, 14 * i + 5));
            QCOMPARE(w.at(r.light), QPoint(13, 14 * i + 6));
        }
        // The lowest pixel row of a check box belongs to it, also where one group of rows ends.
        for (int i : {30, 31, 32}) {
            const auto& r = w.row(i);
            const QPoint inContent(40, 14 * i + 5 + 13);
            QCOMPARE(w.content->childAt(inContent), static_cast<QWidget*>(r.check));
            w.scroll->ensureVisible(inContent.x(), inContent.y());
            QTest::mouseClick(r.check, Qt::LeftButton, {}, r.check->mapFrom(w.content, inContent));
            QVERIFY(!w.view->isTicked(i));
        }
        QVERIFY(w.view->isTicked(29) && w.view->isTicked(33));
    }

    void aNewGroupStartsTickedBlackAndQuiet() {
        Window w;
        w.open(2);
        w.table.loggers[0].LoggerName = "\xc4\xe0\xf2\xf7\xe8\xea"; // cp1251
        w.table.loggers[0].LoggerComment = "\xd1\xea\xe2\xe0\xe6\xe8\xed\xe0 \xb9"
                                           "5";
        w.table.loggers[1].LoggerComment.clear();
        w.table.AllocateTable();
        const auto& r = w.row(0);
        QVERIFY(w.view->isTicked(0));
        QCOMPARE(r.check->text(), QStringLiteral("Датчик"));
        QCOMPARE(r.values[5]->text(), QStringLiteral("Скважина №5"));
        QVERIFY(r.values[5]->width() > 0);
        QCOMPARE(r.values[5]->toolTip(), QStringLiteral("Скважина №5")); // whole where the view cuts it
        QVERIFY(w.row(1).values[5]->toolTip().isEmpty());
        QCOMPARE(r.light->brushColour(), QColor(0, 0, 0));
        QCOMPARE(r.light->toolTip(), QStringLiteral("Логгер ещё не опрашивался"));
        QCOMPARE(r.lamp->toolTip(), QStringLiteral("Нет ошибок"));
        QCOMPARE(r.lamp->brushColour(), QColor(255, 0, 0));
        QCOMPARE(r.bar->brushColour(), QColor(255, 255, 255));
        QVERIFY(r.antenna->isHidden() && r.bar->isHidden() && r.lamp->isHidden());
        QVERIFY(!r.battery->isHidden() && r.battery->pictureIndex() == -1);
        QCOMPARE(r.antenna->pictureIndex(), 0);
        for (int v = 0; v < 5; ++v)
            QVERIFY(r.values[static_cast<size_t>(v)]->text().isEmpty());
        QCOMPARE(w.scroll->verticalScrollBar()->value(), 0);
    }

    void batteryPictureFollowsTheVoltageRule() {
        Window w;
        w.open(1);
        struct Case {
            double volts;
            int picture;
            const char* hint;
        };
        const Case cases[] = {
            {1.0, 1, "1 V"},
            {4.0, 19, "4 V"},
            {0.99, 0, "неизвестно"},
            {4.01, 0, "неизвестно"},
            {2.943, 1, "2.943 V"},
            {2.9435, 2, "2.9435 V"},
            {3.70, 19, "3.7 V"},
            {3.65, 18, "3.65 V"},
            {2.9 + 18 / 23.0, 18, nullptr},
            {std::nan(""), 0, "неизвестно"},
        };
        for (const Case& c : cases) {
            w.status(0, c.volts);
            QCOMPARE(w.row(0).battery->pictureIndex(), c.picture);
            if (c.hint)
                QCOMPARE(w.row(0).battery->toolTip(), QString::fromUtf8(c.hint));
        }
        // Every picture index the rule can give is the smallest k that reaches the voltage.
        for (int cents = 100; cents <= 400; ++cents) {
            const double v = cents / 100.0;
            const int k = LoggerListView::batteryIndex(v);
            QVERIFY(k >= 1 && k <= 19);
            QVERIFY(k == 19 || 2.9 + k / 23.0 >= v);
            QVERIFY(k == 1 || 2.9 + (k - 1) / 23.0 < v);
        }
    }

    void numbersUseTheLocaleDecimalSeparator() {
        Window w;
        w.open(1);
        w.view->setNumberLocale(QLocale(QLocale::Russian, QLocale::Russia));
        w.status(0, 3.65);
        QCOMPARE(w.row(0).battery->toolTip(), QStringLiteral("3,65 V"));
        w.view->showLink(0, -107.5, 2);
        QCOMPARE(w.row(0).bar->toolTip(), QStringLiteral("-107,5dBm"));
        w.view->showLink(0, -12345.0, 0);
        QCOMPARE(w.row(0).antenna->toolTip(), QStringLiteral("-12345dBm")); // no digit grouping
    }

    void serialIsPaddedToFiveCharacters() {
        Window w;
        w.open(1);
        const std::pair<int16_t, const char*> cases[] = {
            {7, "00007"}, {12345, "12345"}, {-5, "000-5"}, {0, "00000"}, {-32768, "-32768"}};
        for (const auto& [serial, text] : cases) {
            w.status(0, 3.0, 0, serial);
            QCOMPARE(w.row(0).values[0]->text(), QString::fromLatin1(text));
        }
    }

    void errorLampShowsTheCodesText() {
        Window w;
        w.open(1);
        w.status(0, 3.0, 0);
        QVERIFY(w.row(0).lamp->isHidden());
        w.status(0, 3.0, 12);
        QVERIFY(!w.row(0).lamp->isHidden());
        QCOMPARE(w.row(0).lamp->toolTip(), QStringLiteral("Сбой при чтении данных из памяти"));
        w.status(0, 3.0, 13);
        QCOMPARE(w.row(0).lamp->toolTip(), QStringLiteral("Неизвестная ошибка"));
        w.status(0, 3.0, 255);
        QCOMPARE(w.row(0).lamp->toolTip(), QStringLiteral("Неизвестная ошибка"));
        w.status(0, 3.0, 1);
        QCOMPARE(w.row(0).lamp->toolTip(), QStringLiteral("Термокоса не подключена (либо замыкание на +5V)"));
        // A later clean status leaves the lamp as it was.
        w.status(0, 3.0, 0);
        QVERIFY(!w.row(0).lamp->isHidden());
        QCOMPARE(w.row(0).lamp->toolTip(), QStringLiteral("Термокоса не подключена (либо замыкание на +5V)"));
    }

    void statusValuesAndTheClockColour() {
        Window w;
        w.open(2);
        w.table.StatusSensorCount = 32;
        w.table.StatusPeriod = 4;
        w.table.StatusMeasureCount = 65535;
        const TDateTime now = w.clock.now();
        const QColor normal = w.row(1).values[4]->palette().color(QPalette::WindowText);
        const std::pair<int, bool> offsets[] = {
            {3600, false}, {3601, true}, {-3600, false}, {-3601, true}, {0, false}};
        for (const auto& [seconds, red] : offsets) {
            w.table.StatusClock = now + seconds / 86400.0;
            w.status(1, 3.0);
            QCOMPARE(w.row(1).values[4]->textColour(), red ? QColor(255, 0, 0) : normal);
        }
        w.table.StatusClock = dt::encode(2026, 12, 7, 10, 22, 30);
        w.status(1, 3.0);
        QCOMPARE(w.row(1).values[1]->text(), QStringLiteral("32"));
        QCOMPARE(w.row(1).values[2]->text(), QStringLiteral("4"));
        QCOMPARE(w.row(1).values[3]->text(), QStringLiteral("65535"));
        QCOMPARE(w.row(1).values[4]->text(), QStringLiteral("07.12.26 10:22:30"));
        QCOMPARE(w.row(1).values[4]->textColour(), QColor(255, 0, 0)); // 5850 s behind
        // Another row is untouched.
        QVERIFY(w.row(0).values[1]->text().isEmpty());

        // A confirmed clock setting is written in the normal colour, even over a red one.
        w.table.StatusClock = now + 2.0;
        w.status(1, 3.0);
        QCOMPARE(w.row(1).values[4]->textColour(), QColor(255, 0, 0));
        w.view->showClockText(1, QStringLiteral("07.12.26 12:00:00"));
        QCOMPARE(w.row(1).values[4]->text(), QStringLiteral("07.12.26 12:00:00"));
        QCOMPARE(w.row(1).values[4]->textColour(), normal);
        w.view->showRawClock(1, QStringLiteral("32.13.26 25:61:61"));
        QCOMPARE(w.row(1).values[4]->textColour(), QColor(255, 0, 0));
    }

    // Battery, level and the clock's offset read after the comments, each to the nearest unit.
    void glanceValuesAfterTheComments() {
        Window w;
        w.open(2);
        const auto& g = w.row(1).glance;
        QVERIFY(g[0]->x() > w.row(1).values[5]->x() + w.row(1).values[5]->width());
        const TDateTime now = w.clock.now();
        const std::pair<int, const char*> offsets[] = {{29, "0 мин"},
                                                       {-95, "−2 мин"},
                                                       {4 * 3600 + 1900, "+5 ч"},
                                                       {-17700, "−5 ч"},
                                                       {3 * 86400, "+3 сут"}};
        for (const auto& [seconds, text] : offsets) {
            w.table.StatusClock = now + seconds / 86400.0;
            w.status(1, 3.65);
            QCOMPARE(g[2]->text(), QString::fromUtf8(text));
        }
        QCOMPARE(g[2]->textColour(), QColor(255, 0, 0));
        QCOMPARE(g[0]->text(), QStringLiteral("3.65 В"));
        w.view->showLink(1, -71.5, 20);
        QCOMPARE(g[1]->text(), QStringLiteral("-71.5 дБм"));
        w.view->showState(1, NotPolled);
        QVERIFY(g[1]->text().isEmpty());
        w.view->clearRowValues();
        QVERIFY(g[0]->text().isEmpty() && g[2]->text().isEmpty());
    }

    void stateLightAndTheAntennaRules() {
        Window w;
        w.open(1);
        const auto& r = w.row(0);
        w.view->showState(0, NotFound);
        QCOMPARE(r.light->brushColour(), QColor(255, 0, 0));
        QCOMPARE(r.light->toolTip(), QStringLiteral("Логгер не обнаружен"));
        QVERIFY(!r.antenna->isHidden());
        QCOMPARE(r.antenna->toolTip(), QStringLiteral("Нет сигнала"));
        QVERIFY(r.bar->isHidden());

        w.view->showState(0, TaskDone);
        w.view->showLink(0, -110.0, 1);
        QCOMPARE(r.light->brushColour(), QColor(0, 255, 0));
        QVERIFY(!r.bar->isHidden());
        QCOMPARE(r.bar->width(), 1);
        QCOMPARE(r.bar->height(), 5);
        QCOMPARE(r.bar->toolTip(), QStringLiteral("-110dBm"));
        QCOMPARE(r.antenna->toolTip(), QStringLiteral("-110dBm"));
        w.view->showLink(0, -20.0, 55);
        QCOMPARE(r.bar->width(), 55);
        w.view->showLink(0, -138.0, -16); // a level below the scale
        QCOMPARE(r.bar->width(), 0);

        // NotFound in a later attempt keeps the earlier level showing; NotPolled hides both.
        w.view->showLink(0, -50.0, 37);
        w.view->showState(0, NotFound);
        QVERIFY(!r.bar->isHidden());
        QCOMPARE(r.bar->width(), 37);
        w.view->showState(0, NotPolled);
        QVERIFY(r.antenna->isHidden() && r.bar->isHidden());
        QCOMPARE(r.light->toolTip(), QStringLiteral("Логгер не опрашивался"));
        w.view->showState(0, NoMeasurements);
        QCOMPARE(r.light->brushColour(), QColor(255, 255, 255));
        QVERIFY(r.antenna->isHidden()); // codes 2..5 leave the antenna alone
    }

    void rowsOutsideTheListAreIgnored() {
        Window w;
        w.open(2);
        for (int bad : {-1, 2, 1000}) {
            w.view->showState(bad, TaskDone);
            w.view->showLink(bad, -50, 10);
            w.view->showStatus(bad, w.table);
            w.view->showClockText(bad, QStringLiteral("x"));
            w.view->setTicked(bad, false);
            QVERIFY(!w.view->isTicked(bad));
        }
        QVERIFY(w.view->isTicked(0) && w.view->isTicked(1));
        w.view->setTicked(1, false);
        QVERIFY(!w.view->isTicked(1));
        QVERIFY(w.view->isTicked(0));
        // A table shorter than the rows (a status for a row the table no longer has) is refused too.
        LoggerTable small;
        small.appendLogger("A", "");
        w.view->showStatus(1, small);
        QVERIFY(w.row(1).values[0]->text().isEmpty());
    }

    void clearRowValuesKeepsTicksCommentsAndLights() {
        Window w;
        w.open(2);
        w.view->setTicked(1, false);
        w.view->showState(0, TaskDone);
        w.view->showLink(0, -60, 31);
        w.table.StatusClock = w.clock.now() - 1.0;
        w.status(0, 3.3, 4);
        QVERIFY(w.table.ClearLoadedData(false));
        const auto& r = w.row(0);
        QVERIFY(r.lamp->isHidden());
        QCOMPARE(r.battery->pictureIndex(), -1);
        for (int v = 0; v < 5; ++v)
            QVERIFY(r.values[static_cast<size_t>(v)]->text().isEmpty());
        QCOMPARE(r.values[5]->text(), QStringLiteral("c0"));
        QCOMPARE(r.light->brushColour(), QColor(0, 255, 0));
        QVERIFY(!r.bar->isHidden());
        QVERIFY(!w.view->isTicked(1));
    }

    void removeRowsResetsEverything() {
        Window w;
        w.open(40);
        w.devPtr->show();
        w.attemptPtr->show();
        w.scroll->verticalScrollBar()->setValue(100);
        QVERIFY(w.scroll->verticalScrollBar()->value() > 0);
        QPointer<QWidget> host = w.view->rowsHost();
        QPointer<QCheckBox> check = w.row(5).check;
        QVERIFY(w.table.ResetTable(false));
        QCOMPARE(w.view->rowCount(), 0);
        QVERIFY(host.isNull() && check.isNull()); // freed, not just hidden
        QVERIFY(w.devPtr->isHidden() && w.attemptPtr->isHidden());
        for (QFrame* b : w.bevels)
            QCOMPARE(b->height(), 0);
        QCOMPARE(w.panel1, QString());
        QCOMPARE(w.content->minimumHeight(), 0);
        QCOMPARE(w.scroll->verticalScrollBar()->value(), 0);
        QCOMPARE(w.scroll->verticalScrollBar()->maximum(), 0);
        // The markers and arrows are the window's: they survive.
        QVERIFY(w.content->findChildren<QFrame*>().size() >= 6);

        // A group replaced gives fresh rows, and the markers and arrows stay above them.
        w.open(5);
        QCOMPARE(w.view->rowCount(), 5);
        const QObjectList& kids = w.content->children();
        QVERIFY(kids.indexOf(w.view->rowsHost()) < kids.indexOf(w.devPtr));
    }

    void buildingTwiceFreesTheOldRows() {
        Window w;
        w.open(3);
        QPointer<QWidget> old = w.view->rowsHost();
        w.table.AllocateTable(); // rebuilt without a reset
        QVERIFY(old.isNull());
        QCOMPARE(w.view->rowCount(), 3);
        QCOMPARE(w.content->findChildren<QCheckBox*>().size(), 3);
    }
};

QTEST_MAIN(LoggerListViewTest)
#include "LoggerListViewTest.moc"
