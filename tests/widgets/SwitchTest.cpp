#include "widgets/TOnOffSwitch.h"

#include <QKeyEvent>
#include <QtTest>

#include <vector>

class SwitchTest : public QObject {
    Q_OBJECT

    std::vector<QString> log;

    void attachLogging(TOnOffSwitch& sw) {
        sw.setOnHandler([this, &sw] { log.push_back(sw.isOn() ? "on(state on)" : "on(state off)"); });
        sw.setOffHandler([this, &sw] { log.push_back(sw.isOn() ? "off(state on)" : "off(state off)"); });
    }

private slots:
    void init() { log.clear(); }

    void handlersSeeTheNewStateAndSameStateRunsNothing() {
        TOnOffSwitch sw("данные");
        attachLogging(sw);
        QVERIFY(!sw.isOn());
        sw.setOn(false);
        QVERIFY(log.empty());
        sw.setOn(true);
        sw.setOn(true);
        sw.setOn(false);
        sw.setOn(false);
        QCOMPARE(log, (std::vector<QString>{"on(state on)", "off(state off)"}));
    }

    void refusedStartPutsBackWithoutOffHandler() {
        TOnOffSwitch sw("канал");
        int offRuns = 0;
        sw.setOffHandler([&] { ++offRuns; });
        // The on-handler refuses the start the way the program does: detach, set off, reattach.
        sw.setOnHandler([&] {
            auto h = sw.offHandler();
            sw.setOffHandler({});
            sw.setOn(false);
            sw.setOffHandler(h);
        });
        sw.setOn(true);
        QVERIFY(!sw.isOn());
        QCOMPARE(offRuns, 0);
        // The reattached handler still works for a real stop.
        sw.setOnHandler({});
        sw.setOn(true);
        sw.setOn(false);
        QCOMPARE(offRuns, 1);
    }

    void handlerMayReplaceItselfWhileRunning() {
        TOnOffSwitch sw("x");
        int second = 0;
        std::string captured = "a string long enough to live on the heap inside the closure";
        sw.setOnHandler([&sw, &second, captured] {
            sw.setOnHandler([&second] { ++second; });
            // Reading the captured copy after replacement must still be valid.
            QVERIFY(captured.size() > 10);
        });
        sw.setOn(true);
        sw.setOn(false);
        sw.setOn(true);
        QCOMPARE(second, 1);
    }

    void clickTogglesKeysDoNot() {
        TOnOffSwitch sw("модем");
        sw.resize(66, 22);
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
        attachLogging(sw);
        QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(10, 11));
        QVERIFY(sw.isOn());
        QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(50, 11));
        QVERIFY(!sw.isOn());
        QCOMPARE(log, (std::vector<QString>{"on(state on)", "off(state off)"}));

        // A right click is not a click of the switch.
        QTest::mouseClick(&sw, Qt::RightButton, {}, QPoint(10, 11));
        QVERIFY(!sw.isOn());

        QCOMPARE(sw.focusPolicy(), Qt::NoFocus);
        for (int key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(&sw, &press);
        }
        QVERIFY(!sw.isOn());
        QCOMPARE(log.size(), size_t(2));
    }

    // A double click through the window system (press, release, press, double click, release)
    // toggles once: the second half must not stop a command the first half started.
    void doubleClickIsOneClick() {
        TOnOffSwitch sw("данные");
        sw.resize(66, 22);
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
        attachLogging(sw);
        QTest::mouseDClick(sw.windowHandle(), Qt::LeftButton, {}, QPoint(10, 11));
        QVERIFY(sw.isOn());
        QTest::mouseClick(sw.windowHandle(), Qt::LeftButton, {}, QPoint(10, 11));
        QVERIFY(!sw.isOn());
        QCOMPARE(log, (std::vector<QString>{"on(state on)", "off(state off)"}));
    }

    void disabledSwitchIgnoresClicks() {
        TOnOffSwitch sw("замер");
        sw.resize(66, 22);
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
        sw.setEnabled(false);
        QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(10, 11));
        QVERIFY(!sw.isOn());
    }

    void glyphDiffersBetweenStatesAndHandlerSeesNewGlyph() {
        TOnOffSwitch sw("время");
        sw.resize(66, 22);
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
        const QImage off = sw.grab().toImage();
        QImage seenByHandler;
        sw.setOnHandler([&] { seenByHandler = sw.grab().toImage(); });
        sw.setOn(true);
        const QImage on = sw.grab().toImage();
        QVERIFY(off != on);
        QCOMPARE(seenByHandler, on);
        QCOMPARE(sw.accessibleName(), QString("время"));
        QCOMPARE(sw.caption(), QString("время"));
    }
};

QTEST_MAIN(SwitchTest)
#include "SwitchTest.moc"
