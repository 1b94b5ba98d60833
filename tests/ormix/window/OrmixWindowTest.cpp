#include "tests/ormix/OrxTestSupport.h"

#include "ormix/TDepthTimeView.h"
#include "ormix/TOrxRecordModel.h"
#include "ormix/TfrmOrmix.h"
#include "widgets/TXYPlot.h"

#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using namespace orxtest;

class OrmixWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QStringList errors_;

    QString write(const QString& name, const std::string& bytes) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path;
    }

    std::string tampered() {
        std::string text = exampleFile();
        text.replace(text.find("-198"), 4, "-199");
        return text;
    }

    void prepare(TfrmOrmix& w) {
        errors_.clear();
        w.setMessageSink([this](const QString& m) { errors_ << m; });
        w.resize(1000, 700);
        w.show();
    }

    QStringList problemLines(const TfrmOrmix& w) {
        QStringList out;
        for (int r = 0; r < w.problemTable()->rowCount(); ++r) {
            if (const QTableWidgetItem* item = w.problemTable()->item(r, 0))
                out << item->text();
        }
        return out;
    }

private slots:
    void untouchedFileShowsItsDataAndNoWarning() {
        TfrmOrmix w;
        prepare(w);
        QVERIFY(w.openFile(write("example.orx", exampleFile())));
        QVERIFY(errors_.isEmpty());
        QCOMPARE(w.windowTitle(), QStringLiteral("Ormix — example.orx"));
        QVERIFY(!w.summaryLabel()->text().contains(QStringLiteral("Подпись нарушена")));
        QVERIFY(w.summaryLabel()->text().contains(QStringLiteral("записей: 2")));
        QCOMPARE(w.problemTable()->rowCount(), 0);
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("LabelName"))->text(), QStringLiteral("D4071534826"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("LabelComment"))->text(),
                 QStringLiteral("скважина 3, глубина 12 м"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("LabelString"))->text(),
                 QStringLiteral("тип T3, SN 1234"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("LabelCodes"))->text(), QStringLiteral("100, 200"));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("LabelSpan"))->text(),
                 QStringLiteral("с 07.12.26 10:00:00 по 07.12.26 14:00:00"));

        TOrxRecordModel* m = w.recordModel();
        QCOMPARE(m->rowCount(), 2);
        QCOMPARE(m->columnCount(), 5);
        QCOMPARE(m->data(m->index(0, TOrxRecordModel::ColLine), Qt::DisplayRole).toString(),
                 QStringLiteral("8"));
        QCOMPARE(m->data(m->index(1, TOrxRecordModel::ColTime), Qt::DisplayRole).toString(),
                 QStringLiteral("07.12.26 14:00:00"));
        QCOMPARE(m->data(m->index(0, TOrxRecordModel::ColVoltage), Qt::DisplayRole).toString(),
                 QStringLiteral("3.65 В"));
        QCOMPARE(m->data(m->index(1, 4), Qt::DisplayRole).toString(), QStringLiteral("401"));
        QVERIFY(!m->data(m->index(0, 0), Qt::BackgroundRole).isValid());
        QVERIFY(!m->data(m->index(1, 0), Qt::BackgroundRole).isValid());

        QCOMPARE(w.plot()->pointCount(0), 2);
        QCOMPARE(w.plot()->pointCount(1), 2);
        QCOMPARE(w.plot()->pointValue(1, 1), 401.0);
        w.setSensorChecked(1, false);
        QCOMPARE(w.plot()->pointCount(1), 0);
        QCOMPARE(w.plot()->pointCount(0), 2);
    }

    void brokenSignatureIsMarkedOnItsRowAndCounted() {
        TfrmOrmix w;
        prepare(w);
        QVERIFY(w.openFile(write("edited.orx", tampered())));
        QVERIFY(w.summaryLabel()->text().contains(QStringLiteral("Подпись нарушена: 1 строка")));
        QVERIFY(w.loggerSignatureLabel()->text().contains(QStringLiteral("Подпись нарушена: 1 строка")));
        TOrxRecordModel* m = w.recordModel();
        QVERIFY(!m->data(m->index(0, 2), Qt::BackgroundRole).isValid());
        QCOMPARE(m->data(m->index(1, 2), Qt::BackgroundRole).value<QColor>(),
                 TOrxRecordModel::badRowBackground());
        QCOMPARE(problemLines(w), QStringList{QStringLiteral("9")});
    }

    void unreadableLinesAreListedAndTheRestOpens() {
        std::vector<std::string> lines = splitLines(exampleFile());
        lines.insert(lines.begin() + 7, "\x01\x02 binary \xFF");
        lines.push_back("07.12.26 18:00:00 363V   -19x    402 (000)");
        TfrmOrmix w;
        prepare(w);
        QVERIFY(w.openFile(write("junk.orx", joinLines(lines))));
        QCOMPARE(w.recordModel()->rowCount(), 2);
        const QStringList listed = problemLines(w);
        QVERIFY(listed.contains(QStringLiteral("8")));
        QVERIFY(listed.contains(QStringLiteral("11")));
        QVERIFY(w.summaryLabel()->text().contains(QStringLiteral("Не прочитано: 2 строки")));
        QVERIFY(w.tabs()->tabText(3).startsWith(QStringLiteral("Замечания (")));
    }

    void missingFilesAndFoldersGiveAnErrorBox() {
        TfrmOrmix w;
        prepare(w);
        const QString missing = dir_.filePath(QStringLiteral("нет.orx"));
        QVERIFY(!w.openFile(missing));
        QCOMPARE(errors_, QStringList{QStringLiteral("Не удалось открыть файл ") + missing});
        QVERIFY(!w.openFile(dir_.path()));
        QCOMPARE(w.fileCount(), 0);
    }

    void reopeningAFileReadsItAgainInItsPlace() {
        TfrmOrmix w;
        prepare(w);
        const QString a = write("a.orx", exampleFile());
        const QString b = write("b.orx", exampleFile());
        QVERIFY(w.openFile(a));
        QVERIFY(w.openFile(b));
        QCOMPARE(w.fileCount(), 2);
        write("a.orx", tampered());
        QVERIFY(w.openFile(a));
        QCOMPARE(w.fileCount(), 2);
        QCOMPARE(w.shownFile(), 0);
        QCOMPARE(w.fileData(0)->badSignatureLines, 1u);
        QVERIFY(w.summaryLabel()->text().contains(QStringLiteral("Подпись нарушена")));
    }

    void droppedFilesOpen() {
        TfrmOrmix w;
        prepare(w);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(write("dropped.orx", exampleFile()))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &drop);
        QCOMPARE(w.fileCount(), 1);
        QCOMPARE(w.recordModel()->rowCount(), 2);
    }

    void exportsWriteTheShownDataAndPictures() {
        TfrmOrmix w;
        prepare(w);
        QVERIFY(w.openFile(write("exp.orx", exampleFile())));
        const QString csv = dir_.filePath(QStringLiteral("exp.csv"));
        QVERIFY(w.exportCsv(csv, false));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(
            f.readAll(),
            QByteArray(
                "\xEF\xBB\xBFЛоггер;Строка;Время;Напряжение (В);Подпись;Датчик 1 (код 100);Датчик 2 (код "
                "200)\r\n"
                "D4071534826;8;2026-12-07T10:00:00;3,65;верна;-200;400\r\n"
                "D4071534826;9;2026-12-07T14:00:00;3,64;верна;-198;401\r\n"));
        QVERIFY(!w.exportCsv(dir_.filePath(QStringLiteral("no/such/folder/x.csv")), true));
        QCOMPARE(errors_.size(), 1);

        const QString plotPng = dir_.filePath(QStringLiteral("plot.png"));
        QVERIFY(w.exportPng(plotPng));
        QCOMPARE(QImage(plotPng).size(), w.plot()->size());
        w.tabs()->setCurrentWidget(w.depthTime());
        const QString depthPng = dir_.filePath(QStringLiteral("depth.png"));
        QVERIFY(w.exportPng(depthPng));
        const QImage depth(depthPng);
        QCOMPARE(depth.size(), w.depthTime()->size());
        // The last column of the field shows the last record: sensor 2 at its maximum.
        const QRect field = w.depthTime()->fieldRect();
        QCOMPARE(depth.pixel(field.right() - 1, field.bottom() - 2), w.depthTime()->colourOf(401));
        if (qEnvironmentVariableIsSet("ORMIX_SCREENSHOT"))
            w.grab().save(qEnvironmentVariable("ORMIX_SCREENSHOT"));
    }

    void depthTimeColumnsFollowTimeNotFileOrder() {
        orx::OrxFile f = orx::parseOrx(exampleFile(), kYear);
        orx::Logger& l = f.loggers[0];
        TDepthTimeView v;
        v.setLogger(&l);
        QCOMPARE(v.valueMin(), -200);
        QCOMPARE(v.valueMax(), 401);
        // Four columns over 10:00…14:00: the first three end before 14:00 and show the 10:00 record.
        QImage img = v.renderField(4, 2);
        QCOMPARE(img.pixel(0, 0), v.colourOf(-200));
        QCOMPARE(img.pixel(2, 1), v.colourOf(400));
        QCOMPARE(img.pixel(3, 0), v.colourOf(-198));
        QCOMPARE(img.pixel(3, 1), v.colourOf(401));
        QVERIFY(v.colourOf(-200) != v.colourOf(401));

        std::swap(l.RecordTimes[0], l.RecordTimes[1]); // now the 14:00 record comes first in the file
        v.setLogger(&l);
        img = v.renderField(4, 2);
        QCOMPARE(img.pixel(0, 0), v.colourOf(-198));
        QCOMPARE(img.pixel(3, 0), v.colourOf(-200));
    }
};

QTEST_MAIN(OrmixWindowTest)
#include "OrmixWindowTest.moc"
