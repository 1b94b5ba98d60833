// The small handlers of the main window: the date close-ups on a fake clock, the attempt boxes,
// "команды", the sound mode, the viewer option and the channel labels.
#include "AppTestSupport.h"

#include "app/TImageButton.h"
#include "app/TRadioGroup.h"
#include "app/TfrmKestrovane.h"
#include "engine/TaskEngine.h"
#include "platform/FakeClock.h"
#include "tests/serial/ScriptedSerialOs.h"
#include "widgets/TNumSpinEdit.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QProgressBar>
#include <QtTest>

namespace {
QString text(TDateTime v) {
    return QString::fromStdString(dt::formatDateTime(v));
}
} // namespace

class HandlersTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::unique_ptr<FakeClock> clock_;
    std::unique_ptr<ScriptedSerialOs> os_; // no device: the window under test must not need a port
    std::unique_ptr<TfrmKestrovane> w_;

    void startAt(TDateTime now) {
        w_.reset();
        clock_ = std::make_unique<FakeClock>(now);
        os_ = std::make_unique<ScriptedSerialOs>(*clock_);
        w_ = std::make_unique<TfrmKestrovane>(*clock_, *os_);
    }

private slots:
    void init() {
        setProgramDirForTests(dir_.path());
        startAt(dt::encode(2026, 3, 15, 0, 0, 0));
    }
    void cleanup() { w_.reset(); }

    void startDatesFollowTheClock() {
        startAt(dt::encode(2026, 3, 15, 0, 0, 30));
        QCOMPARE(text(w_->dateBegin()), QString("12.02.26 00:00:00"));
        QCOMPARE(text(w_->dateFinish()), QString("15.03.26 00:00:30"));
        startAt(dt::encode(2026, 3, 14, 23, 59, 59));
        QCOMPARE(text(w_->dateBegin()), QString("11.02.26 00:00:00"));
        QCOMPARE(text(w_->dateFinish()), QString("14.03.26 23:59:59"));
    }

    void beginCloseUp_data() {
        QTest::addColumn<TDateTime>("now");
        QTest::addColumn<TDateTime>("picked");
        QTest::addColumn<QString>("expected");
        const TDateTime midnight = dt::encode(2026, 3, 15);
        QTest::newRow("future becomes today 00:00")
            << dt::encode(2026, 3, 15, 10, 30) << dt::encode(2026, 4, 2, 8, 0) << "15.03.26 00:00:00";
        QTest::newRow("past keeps its day")
            << dt::encode(2026, 3, 15, 10, 30) << dt::encode(2025, 12, 31, 23, 59) << "31.12.25 00:00:00";
        QTest::newRow("at midnight, later the same day")
            << midnight << dt::encode(2026, 3, 15, 0, 1) << "15.03.26 00:00:00";
        QTest::newRow("a second before midnight, next day picked")
            << dt::encode(2026, 3, 14, 23, 59, 59) << dt::encode(2026, 3, 15, 0, 0) << "14.03.26 00:00:00";
    }
    void beginCloseUp() {
        QFETCH(TDateTime, now);
        QFETCH(TDateTime, picked);
        QFETCH(QString, expected);
        clock_->setNow(now);
        w_->setPickerValue(w_->DateTimeBegin, picked);
        w_->DateTimeBeginCloseUp();
        QCOMPARE(text(w_->dateBegin()), expected);
    }

    void finishCloseUp_data() {
        QTest::addColumn<TDateTime>("now");
        QTest::addColumn<TDateTime>("picked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("future becomes now")
            << dt::encode(2026, 3, 15, 10, 30, 12) << dt::encode(2026, 5, 1) << "15.03.26 10:30:12";
        QTest::newRow("earlier day ends at 23:59:59")
            << dt::encode(2026, 3, 15, 10, 30) << dt::encode(2026, 3, 2, 6, 0) << "02.03.26 23:59:59";
        QTest::newRow("today becomes now")
            << dt::encode(2026, 3, 15, 10, 30, 12) << dt::encode(2026, 3, 15, 1, 0) << "15.03.26 10:30:12";
        QTest::newRow("just after midnight, yesterday picked")
            << dt::encode(2026, 3, 15, 0, 0, 1) << dt::encode(2026, 3, 14, 12, 0) << "14.03.26 23:59:59";
        QTest::newRow("at midnight, today picked")
            << dt::encode(2026, 3, 15) << dt::encode(2026, 3, 15, 18, 0) << "15.03.26 00:00:00";
        QTest::newRow("a second before midnight, tomorrow picked")
            << dt::encode(2026, 3, 14, 23, 59, 59) << dt::encode(2026, 3, 15, 0, 5) << "14.03.26 23:59:59";
    }
    void finishCloseUp() {
        QFETCH(TDateTime, now);
        QFETCH(TDateTime, picked);
        QFETCH(QString, expected);
        clock_->setNow(now);
        w_->setPickerValue(w_->DateTimeFinish, picked);
        w_->DateTimeFinishCloseUp();
        QCOMPARE(text(w_->dateFinish()), expected);
    }

    // The close-up runs when the calendar drop-down goes away, not on a typed change.
    void closeUpRunsWhenTheCalendarCloses() {
        clock_->setNow(dt::encode(2026, 3, 15, 10, 30));
        w_->show();
        w_->setPickerValue(w_->DateTimeBegin, dt::encode(2026, 3, 10, 14, 45));
        QCOMPARE(text(w_->dateBegin()), QString("10.03.26 14:45:00"));
        QWidget* popup = w_->DateTimeBegin->calendarWidget()->window();
        popup->show();
        popup->hide();
        QTRY_COMPARE(text(w_->dateBegin()), QString("10.03.26 00:00:00"));
    }

    void attemptBoxesEnableTheirGroups() {
        w_->show();
        TRadioGroup* groups[] = {w_->RadioGrPower1, w_->RadioGrPower2, w_->RadioGrPower3};
        QCheckBox* boxes[] = {w_->CheckBoxAttempt1, w_->CheckBoxAttempt2, w_->CheckBoxAttempt3};
        for (int i = 0; i < 3; ++i) {
            const bool was = boxes[i]->isChecked();
            QTest::mouseClick(boxes[i], Qt::LeftButton);
            QCOMPARE(boxes[i]->isChecked(), !was);
            QCOMPARE(groups[i]->isEnabled(), !was);
            for (int j = 0; j < 3; ++j)
                if (j != i)
                    QCOMPARE(groups[j]->isEnabled(), boxes[j]->isChecked());
            QTest::mouseClick(boxes[i], Qt::LeftButton);
            QCOMPARE(groups[i]->isEnabled(), was);
            QCOMPARE(w_->attemptTicked(i), was);
        }
    }

    void label13AllowsPeriodZero() {
        w_->show();
        w_->SpinLogPeriod->setValue(0);
        QCOMPARE(w_->SpinLogPeriod->value(), 1.0);
        QTest::mouseClick(w_->Label13, Qt::LeftButton);
        QCOMPARE(w_->SpinLogPeriod->minimum(), 0.0);
        w_->SpinLogPeriod->setValue(0);
        QCOMPARE(w_->loggerPeriod(), 0);
        QCOMPARE(w_->SpinLogPeriod->maximum(), 99.0);
    }

    void soundModeSteps() {
        QCOMPARE(w_->SoundMode, 1);
        const int expected[] = {2, 0, 1, 2};
        for (int e : expected) {
            w_->ImageSoundClick();
            QCOMPARE(w_->SoundMode, e);
            QCOMPARE(w_->ImageSound->pixmap().toImage(), w_->ImageListSound[e].toImage());
        }
        // A mode from outside the list steps to 0, as the large ones do.
        for (int odd : {7, -1}) {
            w_->SoundMode = odd;
            w_->ImageSoundClick();
            QCOMPARE(w_->SoundMode, 0);
            QCOMPARE(w_->ImageSound->pixmap().toImage(), w_->ImageListSound[0].toImage());
        }
    }

    void viewerOptionTogglesFromButtonAndArrows() {
        w_->show();
        QVERIFY(w_->CheckBoxRunOrmix->isChecked());
        QTest::mouseClick(w_->ImageRunOrmix, Qt::LeftButton);
        QVERIFY(!w_->CheckBoxRunOrmix->isChecked());
        w_->ImageArrowDevPtr->show();
        w_->ImageArrowAttemptPtr->show();
        QTest::mouseClick(w_->ImageArrowDevPtr, Qt::LeftButton);
        QVERIFY(w_->CheckBoxRunOrmix->isChecked());
        QTest::mouseClick(w_->ImageArrowAttemptPtr, Qt::LeftButton);
        QVERIFY(!w_->CheckBoxRunOrmix->isChecked());
    }

    void channelFrequencies() {
        for (int c = 0; c <= 255; ++c)
            QCOMPARE(qRound(ChannelFrequency(c) * 10), 4300 + 2 * c);
        const QLocale sys = QLocale::system();
        QCOMPARE(TfrmKestrovane::frequencyText(20), QString("434 МГц"));
        QCOMPARE(TfrmKestrovane::frequencyText(21), "434" + sys.decimalPoint() + "2 МГц");
        QCOMPARE(TfrmKestrovane::frequencyText(200), QString("470 МГц"));
    }

    void modemChannelCarriesTheLoggerChannel() {
        w_->SpinModChannel->setValue(22);
        QCOMPARE(w_->SpinLogChannel->value(), 22.0);
        QCOMPARE(w_->LabelModFreq->text(), TfrmKestrovane::frequencyText(22));
        QCOMPARE(w_->LabelLogFreq->text(), TfrmKestrovane::frequencyText(22));
        // The logger channel alone moves only its own label.
        w_->SpinLogChannel->setValue(17);
        QCOMPARE(w_->LabelLogFreq->text(), TfrmKestrovane::frequencyText(17));
        QCOMPARE(w_->LabelModFreq->text(), TfrmKestrovane::frequencyText(22));
        QCOMPARE(w_->SpinModChannel->value(), 22.0);
        QCOMPARE(w_->loggerChannel(), 17);
        // Out of range by the program: the nearer bound.
        w_->SpinModChannel->setValue(99);
        QCOMPARE(w_->modemChannel(), 23);
        QCOMPARE(w_->loggerChannel(), 23);
    }
};

QTEST_MAIN(HandlersTest)
#include "HandlersTest.moc"
