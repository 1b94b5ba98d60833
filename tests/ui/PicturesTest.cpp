#include "ui/Pictures.h"

#include <QtTest>

namespace {
// Count of pixels that are not fully transparent.
int inked(const QImage& img) {
    int n = 0;
    const QImage a = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(a.pixel(x, y)) != 0)
                ++n;
    return n;
}
// Pixels of the battery's charge area that carry the charge colour (not the outline, not the blank).
int chargePixels(int k) {
    const QImage a = batteryImage(k).convertToFormat(QImage::Format_ARGB32);
    const QRgb c = batteryChargeColour(k).rgb();
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF))
                ++n;
    return n;
}
} // namespace

class PicturesTest : public QObject {
    Q_OBJECT
private slots:
    void sizesAreThoseTheRowsAndButtonsAreLaidOutFor() {
        for (int k = 0; k < kBatteryPictureCount; ++k)
            QCOMPARE(batteryPicture(k).size(), QSize(24, 11));
        QCOMPARE(antennaScale().size(), QSize(76, 12));
        for (int m = 0; m < kSoundPictureCount; ++m)
            QCOMPARE(soundPicture(m).size(), QSize(32, 32));
        QCOMPARE(arrowRight().size(), QSize(12, 16));
        QCOMPARE(arrowDown().size(), QSize(16, 12));
        for (ButtonKind b : {ButtonKind::OpenCfg, ButtonKind::SaveOrx, ButtonKind::RunOrmix, ButtonKind::Help,
                             ButtonKind::RunAnalyzer})
            QCOMPARE(buttonPicture(b).size(), QSize(32, 32));
        QCOMPARE(aboutPicture().size(), QSize(300, 300));
    }

    void everyPictureIsDrawnAndTheyDiffer() {
        QVERIFY(inked(antennaImage()) > 0);
        QVERIFY(inked(arrowRight().toImage()) > 0);
        QVERIFY(soundPicture(0).toImage() != soundPicture(1).toImage());
        QVERIFY(soundPicture(1).toImage() != soundPicture(2).toImage());
        QVERIFY(buttonPicture(ButtonKind::OpenCfg).toImage() != buttonPicture(ButtonKind::SaveOrx).toImage());
        QVERIFY(buttonPicture(ButtonKind::Help).toImage() !=
                buttonPicture(ButtonKind::RunAnalyzer).toImage());
        // The about picture is opaque all over: it is the whole client area of the box.
        QCOMPARE(inked(aboutPicture().toImage()), 300 * 300);
    }

    void soundModesOutsideTheListHaveNoPicture() {
        QVERIFY(soundPicture(-1).isNull());
        QVERIFY(soundPicture(3).isNull());
        QVERIFY(soundPicture(7).isNull());
    }

    void antennaScaleStartsWhereTheSignalBarStarts() {
        const QImage a = antennaImage().convertToFormat(QImage::Format_ARGB32);
        // Lower edge: nothing between the mast and x = 15, the scale from 15 to the right edge.
        for (int x = 11; x < 15; ++x)
            QCOMPARE(qAlpha(a.pixel(x, 11)), 0);
        for (int x = 15; x < 76; ++x)
            QVERIFY(qAlpha(a.pixel(x, 11)) != 0);
        // The rows the bar covers (2..6) stay clear right of the mast, so the bar reads cleanly.
        for (int y = 2; y <= 6; ++y)
            for (int x = 15; x < 76; ++x)
                QCOMPARE(qAlpha(a.pixel(x, y)), 0);
    }

    void batteryFillsFromRedThroughYellowToGreen() {
        QCOMPARE(chargePixels(0), 0);
        QCOMPARE(batteryImage(0), batteryImage(-3));
        QCOMPARE(batteryImage(0), batteryImage(20));
        int previous = 0;
        for (int k = 1; k < kBatteryPictureCount; ++k) {
            const int n = chargePixels(k);
            QVERIFY2(n > previous, qPrintable(QString("picture %1 not fuller than %2").arg(k).arg(k - 1)));
            previous = n;
        }
        QCOMPARE(batteryChargeColour(1).hue(), 0);
        QCOMPARE(batteryChargeColour(10).hue(), 60);
        QCOMPARE(batteryChargeColour(19).hue(), 120);
        for (int k = 2; k < kBatteryPictureCount; ++k)
            QVERIFY(batteryChargeColour(k).hue() > batteryChargeColour(k - 1).hue());
    }
};

QTEST_MAIN(PicturesTest)
#include "PicturesTest.moc"
