#include "ormix/TOrxRecordModel.h"
#include "ormix/TfrmArchiveLoggers.h"
#include "ormix/TfrmHealth.h"
#include "ormix/TfrmOrmix.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/ormix/OrxTestSupport.h"
#include "widgets/TXYPlot.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace orxtest;

class ArchiveWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QStringList errors_;

    void prepare(TfrmOrmix& w) {
        errors_.clear();
        w.setMessageSink([this](const QString& m) { errors_ << m; });
        w.resize(1000, 700);
        w.show();
    }

    // Acts on the next modal dialog of type T as soon as it shows, as the user would.
    template <class T> void whenShown(std::function<void(T*)> act) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [timer, act] {
            if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) {
                timer->deleteLater();
                timer->stop();
                act(d);
            }
        });
        timer->start(10);
    }

    // D0042: three hours on one string, hour 1 again with other values, then two hours on a new
    // string, its comment changed meanwhile. A second logger with a Cyrillic name and no comment.
    QString makeArchive() {
        const QString path = dir_.filePath(QStringLiteral("archive.sqlite"));
        RecordArchive a;
        if (!a.open(path.toStdString()))
            return {};
        TestBlock first = testBlock("D0042", 2, 0, 3);
        first.identity.LoggerComment = utf8ToCp1251("старое место");
        store(a, first);
        store(a, testBlock("D0042", 2, 1, 1, 5));
        TestBlock changed = testBlock("D0042", 2, 3, 2);
        changed.identity.StringSerial = 999;
        changed.identity.LoggerComment = utf8ToCp1251("скважина 2");
        store(a, changed);
        store(a, testBlock(utf8ToCp1251("DЖ43"), 1, 0, 1));
        return path;
    }

private slots:
    void theMenuEntryListsTheArchiveAndLoadsTheChosenHistory() {
        const QString path = makeArchive();
        QVERIFY(!path.isEmpty());
        TfrmOrmix w;
        prepare(w);
        QStringList listed;
        whenShown<QFileDialog>([path](QFileDialog* d) {
            d->selectFile(path);
            static_cast<QDialog*>(d)->accept();
        });
        whenShown<TfrmArchiveLoggers>([&listed](TfrmArchiveLoggers* d) {
            const QTableWidget* t = d->table();
            for (int r = 0; r < t->rowCount(); ++r)
                for (int c = 0; c < t->columnCount(); ++c)
                    listed << t->item(r, c)->text();
            d->accept(); // the first logger is chosen from the start
        });
        w.findChild<QAction*>(QStringLiteral("ActionOpenArchive"))->trigger();
        QVERIFY(errors_.isEmpty());
        QCOMPARE(listed, (QStringList{"D0042", "скважина 2", "6", "01.01.26 00:00:00", "01.01.26 04:00:00",
                                      "1", "DЖ43", "", "1", "01.01.26 00:00:00", "01.01.26 00:00:00", "0"}));

        QCOMPARE(w.fileCount(), 1);
        QVERIFY(w.isHistory(0));
        QCOMPARE(w.findChild<QTreeWidget*>(QStringLiteral("TreeFiles"))->topLevelItem(0)->childCount(), 2);
        TOrxRecordModel* m = w.recordModel();
        QCOMPARE(m->rowCount(), 4);
        QCOMPARE(m->data(m->index(2, TOrxRecordModel::ColTime), Qt::DisplayRole).toString(),
                 QStringLiteral("01.01.26 01:00:00"));
        QCOMPARE(m->data(m->index(2, 0), Qt::BackgroundRole).value<QColor>(),
                 TOrxRecordModel::conflictRowBackground());
        QVERIFY(!m->data(m->index(1, 0), Qt::BackgroundRole).isValid());
        QCOMPARE(w.plot()->pointCount(0), 4);
        QVERIFY(w.showLogger(0, 1));
        QCOMPARE(m->rowCount(), 2);
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("LabelString"))->text(),
                 QStringLiteral("тип T3, SN 999"));
        if (qEnvironmentVariableIsSet("ORMIX_SCREENSHOT"))
            w.grab().save(qEnvironmentVariable("ORMIX_SCREENSHOT"));

        // Saved, the history opens as an ordinary measurement file.
        QVERIFY(w.findChild<QAction*>(QStringLiteral("ActionSaveHistoryOrx"))->isEnabled());
        const QString orx = dir_.filePath(QStringLiteral("D0042.orx"));
        QVERIFY(w.saveHistoryOrx(orx));
        QVERIFY(w.openFile(orx));
        QCOMPARE(w.fileCount(), 2);
        QVERIFY(!w.isHistory(1));
        QCOMPARE(w.fileData(1)->recordCount(), size_t{6});
        QCOMPARE(w.fileData(1)->badSignatureLines, uint64_t{0});
        QVERIFY(!w.findChild<QAction*>(QStringLiteral("ActionSaveHistoryOrx"))->isEnabled());
    }

    // Five visits a quarter apart: the battery falls, the clock is set at each visit and drifts
    // faster and faster, and the last reply is barely over the analyzer's noise.
    void theHealthOfALoggerShowsItsVisitsAgainstTime() {
        const QString path = makeArchive();
        {
            RecordArchive a;
            QVERIFY(a.open(path.toStdString()));
            for (int v = 0; v < 5; ++v) {
                StatusRead r;
                r.LoggerName = "D0042";
                r.visit = testHour(0) + 91 * v;
                r.time = r.visit + 0.01;
                r.battery = 3.62 - 0.14 * v;
                r.level = -80.0 - 6 * v;
                if (v == 4)
                    r.noise = -110.0;
                r.deviation = v == 0 ? 4 : 91 * 3 * v;
                r.measureCount = 100 * v;
                QVERIFY(a.storeStatus(r));
                StatusRead set = r;
                set.clockSet = true;
                set.time = r.time + 0.001;
                set.deviation = 0;
                QVERIFY(a.storeStatus(set));
            }
        }
        RecordArchive reader;
        QVERIFY(reader.open(path.toStdString(), RecordArchive::Mode::ReadOnly));
        std::vector<ArchivedLogger> loggers;
        QVERIFY(reader.loggers(loggers));
        TfrmArchiveLoggers chooser(QStringLiteral("Архив"), path, loggers);
        QVERIFY(!chooser.healthButton());
        chooser.setArchive(&reader);
        chooser.show();
        QVERIFY(chooser.healthButton()->isVisible());
        // Read while it shows, checked once it is closed: a failed check must not leave it open.
        std::vector<int> counts;
        double lastDrift = 0;
        QString warnings;
        whenShown<TfrmHealth>([&](TfrmHealth* h) {
            counts = {h->battery()->pointCount(0), h->level()->pointCount(0), h->level()->pointCount(1),
                      h->drift()->pointCount(0)};
            lastDrift =
                h->drift()->pointCount(0) > 0 ? h->drift()->pointValue(0, h->drift()->pointCount(0) - 1) : 0;
            warnings = h->warnings()->text();
            if (qEnvironmentVariableIsSet("ORMIX_HEALTH_SCREENSHOT"))
                h->grab().save(qEnvironmentVariable("ORMIX_HEALTH_SCREENSHOT"));
            h->reject();
        });
        chooser.healthButton()->click();
        // Five of battery and level, the noise where it was measured, and the drift from the
        // second visit on, each from the setting at the visit before.
        QCOMPARE(counts, (std::vector<int>{5, 5, 1, 4}));
        QCOMPARE(lastDrift, 91 * 3 * 4 / (91 - 0.001));
        QVERIFY2(warnings.contains("батарея на исходе") && warnings.contains("часы уходят") &&
                     warnings.contains("слабая связь"),
                 qPrintable(warnings));
    }

    void anArchiveThatCannotBeReadGivesItsErrorAndOpensNothing() {
        const QString path = dir_.filePath(QStringLiteral("garbage.sqlite"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, '\x5A'));
        f.close();
        TfrmOrmix w;
        prepare(w);
        QVERIFY(!w.openArchive(path));
        QCOMPARE(errors_.size(), 1);
        QVERIFY(errors_[0].contains(path));
        QVERIFY(!w.openArchive(dir_.filePath(QStringLiteral("нет.sqlite"))));
        QCOMPARE(errors_.size(), 2);
        QCOMPARE(w.fileCount(), 0);
    }
};

QTEST_MAIN(ArchiveWindowTest)
#include "ArchiveWindowTest.moc"
