#include "widgets/TNumSpinEdit.h"

#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

class SpinEditTest : public QObject {
    Q_OBJECT

    static void setRange(TNumSpinEdit& s, double min, double max) {
        s.setMinimum(min);
        s.setMaximum(max);
    }

private slots:
    void programSetValueIsBoundedAtOnce() {
        TNumSpinEdit s;
        setRange(s, 16, 23);
        s.setValue(30);
        QCOMPARE(s.value(), 23.0);
        QCOMPARE(s.editor()->text(), QString("23"));
        s.setValue(-4);
        QCOMPARE(s.value(), 16.0);
        s.setValue(20);
        QCOMPARE(s.value(), 20.0);
    }

    void noBoundWhileMinimumEqualsMaximum() {
        TNumSpinEdit s;
        setRange(s, 0, 0);
        s.setValue(300);
        QCOMPARE(s.value(), 300.0);
        s.setValue(-7);
        QCOMPARE(s.value(), -7.0);
        setRange(s, 5, 5);
        s.setValue(1);
        QCOMPARE(s.value(), 1.0);
    }

    void rangeChangeAppliesAtNextSet() {
        TNumSpinEdit s;
        setRange(s, 0, 200);
        s.setValue(150);
        setRange(s, 16, 23);
        QCOMPARE(s.value(), 150.0);
        s.setValue(s.value());
        QCOMPARE(s.value(), 23.0);
        // Lowering the minimum at run time lets a smaller value in.
        s.setMinimum(0);
        s.setValue(0);
        QCOMPARE(s.value(), 0.0);
    }

    void typedValueIsBoundedWhenFocusLeaves() {
        QWidget host;
        auto* s = new TNumSpinEdit(&host);
        auto* other = new QLineEdit(&host);
        s->setGeometry(0, 0, 60, 22);
        other->setGeometry(0, 30, 60, 22);
        setRange(*s, 1, 99);
        s->setValue(3);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        host.activateWindow();
        s->editor()->setFocus();
        QTRY_VERIFY(s->editor()->hasFocus());
        s->editor()->selectAll();
        QTest::keyClicks(s->editor(), "150");
        // Not yet bounded while the user is typing.
        QCOMPARE(s->value(), 150.0);
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        QCOMPARE(s->value(), 99.0);
        QCOMPARE(s->editor()->text(), QString("99"));
        // The user is told that the field changed the value, and sees it flash.
        QCOMPARE(s->boundNote(), QString("значение ограничено: 1…99"));
        QVERIFY(s->flashing());
        QTRY_VERIFY(!s->flashing());

        // Unreadable text goes back to the last number at focus-out.
        s->editor()->setFocus();
        QTRY_VERIFY(s->editor()->hasFocus());
        s->editor()->selectAll();
        QTest::keyClick(s->editor(), Qt::Key_Backspace);
        QCOMPARE(s->editor()->text(), QString());
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        QCOMPARE(s->editor()->text(), QString("99"));
        QCOMPARE(s->value(), 99.0);

        // Letters never get into the field.
        s->editor()->setFocus();
        QTRY_VERIFY(s->editor()->hasFocus());
        s->editor()->selectAll();
        QTest::keyClicks(s->editor(), "4x2");
        QCOMPARE(s->editor()->text(), QString("42"));
    }

    void changeHandlerRunsOnEveryTextChange() {
        TNumSpinEdit s;
        setRange(s, 0, 10);
        int runs = 0;
        double seen = -1;
        s.setOnChange([&] {
            ++runs;
            seen = s.value();
        });
        s.setValue(4);
        QCOMPARE(runs, 1);
        QCOMPARE(seen, 4.0);
        s.setValue(4); // same text: no change
        QCOMPARE(runs, 1);
        s.setValue(40); // bounded to 10, the handler sees the bounded value
        QCOMPARE(runs, 2);
        QCOMPARE(seen, 10.0);
        s.editor()->setText("7"); // as typing does
        QCOMPARE(runs, 3);
        QCOMPARE(seen, 7.0);
        s.downButton()->click();
        QCOMPARE(runs, 4);
        QCOMPARE(seen, 6.0);
    }

    void buttonsStepAndStayInRange() {
        TNumSpinEdit s;
        setRange(s, 2, 4);
        s.setIncrement(1);
        s.setValue(3);
        s.upButton()->click();
        s.upButton()->click();
        QCOMPARE(s.value(), 4.0);
        s.downButton()->click();
        s.downButton()->click();
        s.downButton()->click();
        QCOMPARE(s.value(), 2.0);
        QCOMPARE(s.upButton()->focusPolicy(), Qt::NoFocus);
    }

    void readersGetRoundHalfToEven() {
        TNumSpinEdit s;
        s.setDecimals(1);
        setRange(s, -100, 100);
        const std::pair<double, int> cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {2.4, 2}, {2.6, 3}, {0.5, 0}};
        for (auto [v, r] : cases) {
            s.setValue(v);
            QCOMPARE(s.valueRounded(), r);
        }
        s.setDecimals(0);
        setRange(s, 0, 0);
        s.setValue(1e12);
        QCOMPARE(s.valueRounded(), std::numeric_limits<int>::max());
    }

    void wholeNumbersShowNoFraction() {
        TNumSpinEdit s;
        s.setDecimals(0);
        setRange(s, 0, 255);
        s.setValue(20.6);
        QCOMPARE(s.editor()->text(), QString("21"));
        QCOMPARE(s.value(), 21.0);
        s.setValue(1000);
        QCOMPARE(s.editor()->text(), QString("255"));
    }
};

QTEST_MAIN(SpinEditTest)
#include "SpinEditTest.moc"
