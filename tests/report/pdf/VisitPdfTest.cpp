// The visit report as a person gets it: the PDF's text, read back with pdftotext, and its CSV.
#include "report/VisitPdf.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class VisitPdfTest : public QObject {
    Q_OBJECT
private slots:
    void everyLoggersRowIsInThePdfAcrossItsPagesAndInTheCsv();
};

void VisitPdfTest::everyLoggersRowIsInThePdfAcrossItsPagesAndInTheCsv() {
    QTemporaryDir dir;
    VisitReport r;
    r.group = "/home/инженер/Cfg/Северный участок.cfg";
    r.date = 46363.5;
    r.modem = "USB/RK M742 FT232R";
    constexpr int kLoggers = 40; // more than one page holds
    for (int i = 0; i < kLoggers; ++i) {
        VisitLogger l;
        l.name = "D40715" + std::to_string(34800 + i);
        l.comment = "скважина " + std::to_string(i) + ", глубина 12 м; «устье»";
        l.statusRead = i != 3;
        l.battery = 3.0 + i / 100.0;
        l.level = -70.5 - i;
        if (i % 2)
            l.noise = -108.0;
        l.deviation = i * 10 - 30;
        l.clockSet = i % 3 == 0;
        l.downloaded = 100 + i;
        l.givenUp = i % 7;
        l.period = 3;
        l.channel = 20;
        l.file = "/home/инженер/Archive/Северный.orx";
        l.signatureOk = true;
        if (i == 39)
            l.warnings = {"батарея на исходе: 3,39 В (меньше 3,1 В)", "слабая связь: 3 дБ над шумом"};
        r.loggers.push_back(l);
    }
    const QString pdf = dir.filePath("выезд.pdf");
    std::string error;
    QVERIFY2(visitreport::writeReport(r, pdf.toStdString(), error), error.c_str());

    QProcess p;
    p.start("pdftotext", {"-layout", pdf, "-"});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(text.contains("Северный участок.cfg") && text.contains("USB/RK M742 FT232R"), qPrintable(text));
    QVERIFY(text.contains("Стр. 2"));
    for (int i = 0; i < kLoggers; ++i) {
        const QString name = QString::fromStdString(r.loggers[i].name);
        QVERIFY2(text.contains(name), qPrintable(name));
        // The row's cells stand on the name's line.
        const QString line = text.mid(text.indexOf(name)).section('\n', 0, 0);
        QVERIFY2(line.contains(QString("скважина %1,").arg(i)), qPrintable(line));
        QVERIFY2(line.contains(QString::number(100 + i)), qPrintable(line));
    }
    QVERIFY(text.contains("статус не"));
    QVERIFY(text.contains("подпись верна"));
    QVERIFY(text.contains("слабая"));

    QFile csv(dir.filePath("выезд.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF")); // a spreadsheet takes it for UTF-8 then
    const QStringList lines = QString::fromUtf8(bytes).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3 + 1 + kLoggers);
    QCOMPARE(lines[4].section(';', 0, 0), QString("D4071534800"));
    // The comment's ";" is quoted, so the row keeps its 13 fields.
    QCOMPARE(lines[4].section('"', 1, 1), QString("скважина 0, глубина 12 м; «устье»"));
}

QTEST_MAIN(VisitPdfTest)
#include "VisitPdfTest.moc"
