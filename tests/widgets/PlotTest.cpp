#include "platform/DateTime.h"
#include "widgets/TXYPlot.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>

namespace {
const QColor kGreen(0, 128, 0);
const QColor kLime(0, 255, 0);
const QColor kGrey(128, 128, 128);

int countColour(const QImage& img, const QColor& c, const QRect& area) {
    int n = 0;
    const QImage i = img.convertToFormat(QImage::Format_RGB32);
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (QColor(i.pixel(x, y)).rgb() == c.rgb())
                ++n;
    return n;
}
} // namespace

class PlotTest : public QObject {
    Q_OBJECT

    struct Shown {
        TXYPlot plot;
        int rssi, noise;
        Shown() {
            rssi = plot.addSeries(kGreen, kLime, kGreen);
            noise = plot.addSeries(Qt::black, kGrey, Qt::black);
            plot.setValueRange(-120, -20);
            plot.setTimeRange(0, 1);
            plot.resize(600, 300);
            plot.show();
        }
    };

    // A drag from x0 to x1 across the middle of the field.
    static void drag(TXYPlot& plot, int x0, int x1, Qt::KeyboardModifiers mods) {
        const int y = plot.plotRect().center().y();
        QTest::mousePress(&plot, Qt::LeftButton, mods, QPoint(x0, y));
        QTest::mouseMove(&plot, QPoint((x0 + x1) / 2, y));
        QTest::mouseMove(&plot, QPoint(x1, y));
        QTest::mouseRelease(&plot, Qt::LeftButton, mods, QPoint(x1, y));
    }

private slots:
    void seriesKeepTheirPoints() {
        TXYPlot plot;
        const int a = plot.addSeries(kGreen, kLime, kGreen);
        const int b = plot.addSeries(Qt::black, kGrey, Qt::black);
        QVERIFY(a != b);
        for (int i = 0; i < 5; ++i)
            plot.appendPoint(a, i, -50);
        plot.appendPoint(b, 1, -90);
        plot.appendPoint(b, NAN, -90);    // not kept
        plot.appendPoint(b, 2, INFINITY); // not kept
        plot.appendPoint(7, 1, 1);        // no such series: ignored
        QCOMPARE(plot.pointCount(a), 5);
        QCOMPARE(plot.pointCount(b), 1);
        QCOMPARE(plot.pointTime(a, 3), 3.0);
        plot.clearSeries(a);
        QCOMPARE(plot.pointCount(a), 0);
        QCOMPARE(plot.pointCount(b), 1);
        QCOMPARE(plot.pointCount(-1), 0);
    }

    void rangesAreSetTogetherAndRefuseNonsense() {
        TXYPlot plot;
        QVERIFY(plot.setTimeRange(10, 20));
        QCOMPARE(plot.timeMin(), 10.0);
        QCOMPARE(plot.timeMax(), 20.0);
        QVERIFY(!plot.setTimeRange(5, 5));
        QVERIFY(!plot.setTimeRange(30, 20));
        QVERIFY(!plot.setTimeRange(NAN, 20));
        QCOMPARE(plot.timeMin(), 10.0);
        QCOMPARE(plot.timeMax(), 20.0);
    }

    void labelFormats() {
        QCOMPARE(TXYPlot::timeLabel(dt::encode(2026, 3, 4, 9, 5, 7)), QString("09:05:07"));
        // A hair below the second still reads as that second.
        QCOMPARE(TXYPlot::timeLabel(dt::encode(2026, 3, 4, 10, 0, 0) - 1e-9), QString("10:00:00"));
        TXYPlot plot;
        QCOMPARE(plot.timeAxisLabel(dt::encode(2026, 3, 4, 9, 5, 7)), QString("09:05:07"));
        plot.setDateTimeLabels(true);
        QCOMPARE(plot.timeAxisLabel(dt::encode(2026, 3, 4, 9, 5, 7)), QString("04.03.26 09:05"));
        QLocale loc = QLocale::system();
        QCOMPARE(TXYPlot::valueLabel(-120), QString("-120").replace('-', loc.negativeSign()));
        QCOMPARE(TXYPlot::valueLabel(-0.04), QString("0"));
        QCOMPARE(TXYPlot::valueLabel(12345), QString("12345")); // no group separator
        QCOMPARE(TXYPlot::valueLabel(-73.5), loc.toString(-73.5, 'f', 1));
        QCOMPARE(TXYPlot::valueLabel(2.25), loc.toString(2.2, 'f', 1)); // one decimal, half to even
    }

    void shiftDragZoomsAndShiftClickRestores() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.plot));
        const QRect f = s.plot.plotRect();
        const int x0 = f.left() + f.width() / 4, x1 = f.left() + f.width() / 2;
        const double t0 = s.plot.timeAtX(x0), t1 = s.plot.timeAtX(x1);
        drag(s.plot, x0, x1, Qt::ShiftModifier);
        QCOMPARE(s.plot.timeMin(), t0);
        QCOMPARE(s.plot.timeMax(), t1);
        QVERIFY(s.plot.hasSavedRange());
        // A second zoom narrows further; the restore still goes back to before the first.
        drag(s.plot, f.left() + 10, f.left() + 100, Qt::ShiftModifier);
        QVERIFY(s.plot.timeMax() - s.plot.timeMin() < t1 - t0);
        QTest::mouseClick(&s.plot, Qt::LeftButton, Qt::ShiftModifier, f.center());
        QCOMPARE(s.plot.timeMin(), 0.0);
        QCOMPARE(s.plot.timeMax(), 1.0);
        QVERIFY(!s.plot.hasSavedRange());
        QCOMPARE(s.plot.valueMin(), -120.0);
        // A band dragged right to left zooms the same way.
        drag(s.plot, x1, x0, Qt::ShiftModifier);
        QCOMPARE(s.plot.timeMin(), t0);
        QCOMPARE(s.plot.timeMax(), t1);
    }

    void plainDragPansWithHorizontalCursor() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.plot));
        const QRect f = s.plot.plotRect();
        const int y = f.center().y();
        QTest::mousePress(&s.plot, Qt::LeftButton, {}, QPoint(f.center().x(), y));
        QTest::mouseMove(&s.plot, QPoint(f.center().x() - f.width() / 4, y));
        QCOMPARE(s.plot.cursor().shape(), Qt::SizeHorCursor);
        QTest::mouseMove(&s.plot, QPoint(f.center().x() - f.width() / 2, y));
        QTest::mouseRelease(&s.plot, Qt::LeftButton, {}, QPoint(f.center().x() - f.width() / 2, y));
        QVERIFY(s.plot.cursor().shape() != Qt::SizeHorCursor);
        // Dragged left by half the field: the axis moved half its span to the right.
        QVERIFY(std::fabs(s.plot.timeMin() - 0.5) < 0.01);
        QVERIFY(std::fabs(s.plot.timeMax() - s.plot.timeMin() - 1.0) < 1e-9);
        QVERIFY(s.plot.hasSavedRange());

        // Setting the range from the program forgets the saved range: Shift-click keeps it.
        s.plot.setTimeRange(100, 200);
        QVERIFY(!s.plot.hasSavedRange());
        QTest::mouseClick(&s.plot, Qt::LeftButton, Qt::ShiftModifier, f.center());
        QCOMPARE(s.plot.timeMin(), 100.0);
        QCOMPARE(s.plot.timeMax(), 200.0);

        // A plain click without movement moves nothing.
        QTest::mouseClick(&s.plot, Qt::LeftButton, {}, f.center());
        QCOMPARE(s.plot.timeMin(), 100.0);
    }

    void doubleClickSignalsWithoutMoving() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.plot));
        QSignalSpy spy(&s.plot, &TXYPlot::doubleClicked);
        QTest::mouseDClick(&s.plot, Qt::LeftButton, {}, s.plot.plotRect().center());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(s.plot.timeMin(), 0.0);
        QCOMPARE(s.plot.timeMax(), 1.0);
    }

    void picturesShowTheSeriesColours() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.plot));
        const QRect f = s.plot.plotRect();
        QImage empty = s.plot.grab().toImage();
        QCOMPARE(countColour(empty, kLime, f), 0);
        QCOMPARE(countColour(empty, kGreen, f), 0);
        // The field is white.
        QCOMPARE(QColor(empty.pixel(f.left() + 3, f.top() + 3)).rgb(), QColor(Qt::white).rgb());
        for (int i = 0; i <= 20; ++i) {
            s.plot.appendPoint(s.rssi, i / 20.0, -40 - i);
            s.plot.appendPoint(s.noise, i / 20.0, -100);
        }
        const QImage img = s.plot.grab().toImage();
        QVERIFY(countColour(img, kLime, f) > 20 * 9);
        QVERIFY(countColour(img, kGreen, f) > 20 * 10);
        QVERIFY(countColour(img, kGrey, f) > 20 * 9);
        // Points above the value range are not drawn outside the field.
        s.plot.appendPoint(s.rssi, 0.5, 500);
        const QImage above = s.plot.grab().toImage();
        QCOMPARE(countColour(above, kLime, QRect(0, 0, s.plot.width(), f.top())), 0);
    }

    void appendDrawsIncrementallyAndMatchesFullRender() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.plot));
        QTest::qWait(10);
        s.plot.grab();
        const int renders = s.plot.fullRenderCount();
        for (int i = 0; i < 30; ++i) {
            s.plot.appendPoint(s.rssi, i / 30.0 + 0.01, -30 - 2.7 * i);
            s.plot.appendPoint(s.rssi, i / 30.0 + 0.02, -35 - 2.7 * i);
        }
        // A point far outside the time range must be harmless too.
        s.plot.appendPoint(s.rssi, 1e9, -60);
        const QImage incremental = s.plot.grab().toImage();
        QCOMPARE(s.plot.fullRenderCount(), renders);
        s.plot.setTimeRange(0, 1); // the same range, drawn from scratch
        const QImage full = s.plot.grab().toImage();
        QCOMPARE(s.plot.fullRenderCount(), renders + 1);
        QCOMPARE(incremental, full);
    }

    void denseLinesKeepTheirExtremes() {
        // 20,000 points in a narrow field: the decimated picture still reaches every extreme.
        Shown s;
        QVERIFY(QTest::qWaitForWindowExposed(&s.plot));
        const int n = 20000;
        for (int i = 0; i < n; ++i)
            s.plot.appendPoint(s.rssi, double(i) / n, i == n / 2 ? -25.0 : -100.0 + (i % 7));
        s.plot.setTimeRange(0, 1);
        const QImage img = s.plot.grab().toImage();
        const QRect f = s.plot.plotRect();
        const int peakY = int(std::floor(s.plot.yOfValue(-25.0)));
        const int peakX = int(std::floor(s.plot.xOfTime(0.5)));
        bool found = false;
        for (int x = peakX - 5; x <= peakX + 5; ++x)
            found = found || QColor(img.pixel(x, peakY)).rgb() != QColor(Qt::white).rgb();
        QVERIFY(found);
        QVERIFY(countColour(img, kLime, f) > 0);
    }

    void markerSpacingHidesTheMarkersOfDenseSeriesOnly() {
        Shown s;
        s.plot.setMarkerSpacing(4);
        QVERIFY(QTest::qWaitForWindowExposed(&s.plot));
        const QRect f = s.plot.plotRect();
        const int gridGrey = countColour(s.plot.grab().toImage(), kGrey, f); // the grid's dots
        for (int i = 0; i <= 20; ++i)
            s.plot.appendPoint(s.rssi, i / 20.0, -40 - i);
        for (int i = 0; i < 1000; ++i)
            s.plot.appendPoint(s.noise, i / 1000.0, -100 + (i % 5));
        s.plot.setTimeRange(0, 1);
        const QImage all = s.plot.grab().toImage();
        QVERIFY(countColour(all, kLime, f) > 20 * 9);
        QVERIFY(countColour(all, kGrey, f) <= gridGrey);
        QVERIFY(countColour(all, Qt::black, f) > f.width() / 2);

        // Appending keeps the full render's choice.
        s.plot.appendPoint(s.noise, 0.9995, -98);
        const QImage appended = s.plot.grab().toImage();
        s.plot.setTimeRange(0, 1);
        QCOMPARE(appended, s.plot.grab().toImage());

        // Emptied and grown again by appends alone: sparse, it shows its markers; once dense, it
        // is drawn as a line, as a full render draws it.
        s.plot.clearSeries(s.noise);
        s.plot.setTimeRange(0, 1);
        const int base = countColour(s.plot.grab().toImage(), kGrey, f);
        for (int i = 0; i < 20; ++i)
            s.plot.appendPoint(s.noise, i / 20.0, -100 + (i % 5));
        QVERIFY(countColour(s.plot.grab().toImage(), kGrey, f) > base + 19 * 9);
        s.plot.clearSeries(s.noise);
        s.plot.grab();
        for (int i = 0; i < 1000; ++i)
            s.plot.appendPoint(s.noise, i / 1000.0, -100 + (i % 5));
        QVERIFY(countColour(s.plot.grab().toImage(), kGrey, f) <= base);

        // Zoomed in, the same series has room for its markers.
        s.plot.setTimeRange(0, 0.05);
        QVERIFY(countColour(s.plot.grab().toImage(), kGrey, f) > gridGrey + 40 * 9);
        s.plot.setMarkerSpacing(0);
        s.plot.setTimeRange(0, 1);
        QVERIFY(countColour(s.plot.grab().toImage(), kGrey, f) > gridGrey + 100 * 9);
    }
};

QTEST_MAIN(PlotTest)
#include "PlotTest.moc"
