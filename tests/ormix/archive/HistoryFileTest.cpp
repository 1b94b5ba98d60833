#include "ormix/ArchiveHistory.h"
#include "orxparse/OrxLoader.h"
#include "tests/ormix/OrxTestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace orxtest;

namespace {

TDateTime at(int hour) {
    return dt::encode(2026, 3, 1) + hour / 24.0;
}

HistoryPart part(uint8_t type, int16_t serial, std::vector<int16_t> codes) {
    HistoryPart p;
    p.StringType = type;
    p.StringSerial = serial;
    p.SensorCodes = std::move(codes);
    p.SensorReadings.resize(p.SensorCodes.size());
    return p;
}

void add(HistoryPart& p, int hour, int16_t voltage, std::vector<int16_t> readings, bool conflict = false) {
    p.RecordTimes.push_back(at(hour));
    p.RecordVoltages.push_back(voltage);
    for (size_t k = 0; k < readings.size(); ++k)
        p.SensorReadings[k].push_back(readings[k]);
    p.DownloadTimes.push_back(at(hour + 100));
    p.conflict.push_back(conflict ? 1 : 0);
}

// A logger whose string was changed after two hours; hour 1 came a second time with other values.
LoggerHistory twoStrings() {
    LoggerHistory h;
    h.LoggerName = utf8ToCp1251("D407Ж534826");
    HistoryPart first = part(3, 1234, {100, 200});
    add(first, 0, 365, {-200, 400});
    add(first, 1, 364, {-198, 401});
    add(first, 1, 364, {-198, 402}, true);
    h.parts.push_back(first);
    HistoryPart second = part(5, -7, {100, 200, 300});
    add(second, 3, 361, {-32768, 0, 32767});
    add(second, 4, 360, {1, 2, 3});
    h.parts.push_back(second);
    return h;
}

} // namespace

class HistoryFileTest : public QObject {
    Q_OBJECT

private slots:
    void partsBecomeLoggerBlocksInTimeOrderWithEachConflictOnce() {
        const orx::OrxFile f = ormix::historyFile(twoStrings());
        QCOMPARE(f.loggers.size(), size_t{2});
        QCOMPARE(f.recordCount(), size_t{5});
        const orx::Logger& a = f.loggers[0];
        const orx::Logger& b = f.loggers[1];
        QCOMPARE(a.LoggerName, utf8ToCp1251("D407Ж534826"));
        QCOMPARE(b.LoggerName, a.LoggerName);
        QVERIFY(a.hasHeading() && !a.textIsUtf8);
        QCOMPARE(a.StringType, 3);
        QCOMPARE(b.StringSerial, -7);
        QCOMPARE(b.SensorCodes, (std::vector<int32_t>{100, 200, 300}));

        QCOMPARE(a.RecordTimes, (std::vector<TDateTime>{at(0), at(1), at(1)}));
        QCOMPARE(a.conflict, (std::vector<uint8_t>{0, 0, 1}));
        QCOMPARE(a.SensorReadings[1], (std::vector<int32_t>{400, 401, 402}));
        QCOMPARE(b.SensorReadings[0], (std::vector<int32_t>{-32768, 1}));
        QCOMPARE(b.conflict, (std::vector<uint8_t>{0, 0}));
        QCOMPARE(a.firstTime, at(0));
        QCOMPARE(a.lastTime, at(1));
        QCOMPARE(b.firstTime, at(3));

        // Numbered as the saved file lays them out: four opening lines, then three heading lines
        // before each block's records.
        QCOMPARE(a.recordLines, (std::vector<uint32_t>{8, 9, 10}));
        QCOMPARE(b.stringLine, uint64_t{13});
        QCOMPARE(b.recordLines, (std::vector<uint32_t>{14, 15}));
        QCOMPARE(a.signatureOk, (std::vector<uint8_t>{1, 1, 1}));
    }

    void aSavedHistoryOpensWithTheSameRecordsAndValidSignatures() {
        LoggerHistory h = twoStrings();
        // A string that reported no sensors: the format has no place for its records.
        HistoryPart bare = part(1, 9, {});
        add(bare, 2, 350, {});
        h.parts.insert(h.parts.begin() + 1, bare);
        const orx::OrxFile shown = ormix::historyFile(h);

        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("история.orx")).toStdString();
        QCOMPARE(ormix::saveHistory(path, h, dt::encode(2026, 3, 9, 12, 0, 0)), orx::WriteResult::Ok);
        orx::OrxFile read;
        QCOMPARE(orx::loadOrxFile(path, kYear, read), orx::LoadStatus::Ok);
        QCOMPARE(read.problemCount, uint64_t{0});
        QCOMPARE(read.badSignatureLines, uint64_t{0});

        QCOMPARE(shown.loggers[1].recordLines, (std::vector<uint32_t>{0}));
        QCOMPARE(read.loggers.size(), size_t{2});
        for (size_t i = 0; i < read.loggers.size(); ++i) {
            const orx::Logger& r = read.loggers[i];
            const orx::Logger& s = shown.loggers[i == 0 ? 0 : 2];
            QCOMPARE(r.LoggerName, s.LoggerName);
            QCOMPARE(r.LoggerComment, std::string());
            QCOMPARE(r.StringType, s.StringType);
            QCOMPARE(r.StringSerial, s.StringSerial);
            QCOMPARE(r.SensorCodes, s.SensorCodes);
            QCOMPARE(r.RecordTimes, s.RecordTimes);
            QCOMPARE(r.RecordVoltages, s.RecordVoltages);
            QCOMPARE(r.SensorReadings, s.SensorReadings);
            QCOMPARE(r.recordLines, s.recordLines);
            QCOMPARE(r.stringLine, s.stringLine);
        }
    }
};

QTEST_MAIN(HistoryFileTest)
#include "HistoryFileTest.moc"
