// The analyzer's packet reader on its own: framing, resynchronisation and level conversion.
#include "engine/NoiseReader.h"

#include <QtTest>

#include <vector>

class AnalyzerReaderTest : public QObject {
    Q_OBJECT

    NoiseReader reader;
    std::vector<NoisePoint> points;

    void feed(std::vector<uint8_t> bytes, TDateTime now = 1.0) {
        reader.process(bytes.data(), bytes.size(), now, points);
    }
    void quietTick() { reader.process(nullptr, 0, 2.0, points); }

private slots:
    void init() {
        reader = NoiseReader();
        points.clear();
    }

    void levelConversionKeepsTheHalf() {
        const std::pair<uint8_t, double> cases[] = {{0x00, -74},   {0x01, -73.5}, {0x7F, -10.5}, {0x80, -138},
                                                    {0xFF, -74.5}, {0x20, -58},   {0x9C, -124}};
        for (auto [b, dbm] : cases)
            QCOMPARE(NoiseReader::levelFromByte(b), dbm);
    }

    void noiseAndPacketReports() {
        feed({0x03, 0x11, 0x20, 0x80}, 5.0);
        QCOMPARE(points.size(), size_t(1));
        QVERIFY(points[0].noise);
        QCOMPARE(points[0].level, -58.0);
        QCOMPARE(points[0].time, 5.0);
        feed({0x05, 0xAA, 0xBB, 0xCC, 0x9C, 0x81});
        QCOMPARE(points.size(), size_t(2));
        QVERIFY(!points[1].noise);
        QCOMPARE(points[1].level, -124.0);
        // Longest valid packet: length byte 62, 63 bytes.
        std::vector<uint8_t> big(63, 0x00);
        big[0] = 62;
        big[61] = 0x01;
        big[62] = 0xFF;
        feed(big);
        QCOMPARE(points.size(), size_t(3));
        QCOMPARE(points[2].level, -73.5);
        QVERIFY(!reader.resynchronising());
        QCOMPARE(reader.packetPosition(), uint8_t(0));
    }

    void badLengthBytesResynchroniseUntilAQuietTick() {
        for (uint8_t bad : {uint8_t(0x00), uint8_t(0x02), uint8_t(63), uint8_t(0xFF)}) {
            init();
            feed({bad, 0x03, 0x11, 0x20, 0x80});
            QVERIFY2(reader.resynchronising(), qPrintable(QString::number(bad)));
            QCOMPARE(reader.intervalMs(), 20);
            QVERIFY(points.empty());
            // Bytes during resynchronisation are dropped, even a good packet.
            feed({0x03, 0x11, 0x20, 0x80});
            QVERIFY(points.empty());
            QVERIFY(reader.resynchronising());
            quietTick();
            QVERIFY(!reader.resynchronising());
            QCOMPARE(reader.intervalMs(), 50);
            // The next byte is a length byte again.
            feed({0x03, 0x11, 0x20, 0x80});
            QCOMPARE(points.size(), size_t(1));
        }
    }

    void finalByteWithoutTopBitResynchronisesAfterItsPoint() {
        feed({0x03, 0x11, 0x20, 0x7F, 0x03, 0x11, 0x30, 0x80});
        QCOMPARE(points.size(), size_t(1)); // the damaged packet's level was already taken
        QCOMPARE(points[0].level, -58.0);
        QVERIFY(reader.resynchronising());
    }

    void packetSplitOverTicksGivesOnePoint() {
        feed({0x05, 0x01, 0x02});
        QVERIFY(points.empty());
        QCOMPARE(reader.packetPosition(), uint8_t(3));
        QCOMPARE(reader.packetLength(), uint8_t(6));
        quietTick(); // a quiet tick in the middle of a packet changes nothing
        feed({0x03, 0x9C, 0x81, 0x03});
        QCOMPARE(points.size(), size_t(1));
        QCOMPARE(points[0].level, -124.0);
        feed({0x00, 0x00, 0x80});
        QCOMPARE(points.size(), size_t(2));
        QVERIFY(points[1].noise);
        QCOMPARE(points[1].level, -74.0);
    }

    void showRestartsAtALengthByteButKeepsResynchronising() {
        feed({0x05, 0x01});
        reader.resetPosition();
        feed({0x03, 0x00, 0x20, 0x80});
        QCOMPARE(points.size(), size_t(1));
        feed({0xFF});
        reader.resetPosition();
        QVERIFY(reader.resynchronising());
    }

    void aTickNeverTakesMoreThanOneBuffer() {
        // 1000 noise reports (4000 bytes) then a flood: only the first 4096 bytes count.
        std::vector<uint8_t> flood;
        for (int i = 0; i < 1100; ++i)
            flood.insert(flood.end(), {0x03, 0x00, 0x20, 0x80});
        reader.process(flood.data(), flood.size(), 1.0, points);
        QCOMPARE(points.size(), size_t(NoiseReader::kBufferSize / 4));
    }
};

QTEST_MAIN(AnalyzerReaderTest)
#include "AnalyzerReaderTest.moc"
