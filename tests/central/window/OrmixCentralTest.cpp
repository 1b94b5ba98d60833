// Ormix on the central database: the loggers' list, a history, its CSV and its measurement file
// are those of the local archive it was pushed from.
#include "archive/RecordArchive.h"
#include "central/CentralPush.h"
#include "files/Cp1251.h"
#include "ormix/TfrmArchiveLoggers.h"
#include "ormix/TfrmOrmix.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/central/CentralTestSupport.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class OrmixCentralTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QStringList errors_;

    // Picks the given row of the next loggers' list as the user would, and notes the list's cells.
    void chooseRow(int row, QStringList& listed) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [timer, row, &listed] {
            if (auto* d = qobject_cast<TfrmArchiveLoggers*>(QApplication::activeModalWidget())) {
                timer->deleteLater();
                timer->stop();
                const QTableWidget* t = d->table();
                for (int r = 0; r < t->rowCount(); ++r)
                    for (int c = 0; c < t->columnCount(); ++c)
                        listed << t->item(r, c)->text();
                d->table()->selectRow(row);
                d->accept();
            }
        });
        timer->start(10);
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void theCentralArchiveShowsWhatTheLocalOneShows() {
        if (!pgtest::Server::missing().empty() && !std::getenv("KV_REQUIRE_POSTGRES"))
            QSKIP(pgtest::Server::missing().c_str());
        pgtest::Cluster& cluster = pgtest::Cluster::get();
        QVERIFY2(cluster.ready(), cluster.why().c_str());
        const std::string db = cluster.freshDatabase();
        QVERIFY2(cluster.why().empty(), cluster.why().c_str());

        // A conflict, a restrung logger and a Cyrillic name, pushed as a laptop pushes them.
        const QString path = dir_.filePath("archive.sqlite");
        RecordArchive a;
        QVERIFY(a.open(path.toStdString()));
        store(a, testBlock("D0042", 2, 0, 3));
        store(a, testBlock("D0042", 2, 1, 1, 5));
        TestBlock changed = testBlock("D0042", 2, 3, 2);
        changed.identity.StringSerial = 999;
        store(a, changed);
        store(a, testBlock(utf8ToCp1251("DЖ43"), 1, 0, 1));
        CentralArchive pusher;
        QVERIFY2(pusher.open(cluster.pusherUrl(db), CentralArchive::Mode::Push), pusher.errorText().c_str());
        QVERIFY(pushArchive(a, pusher, PushOptions{}).ok);

        TfrmOrmix w;
        w.setMessageSink([this](const QString& m) { errors_ << m; });
        for (int row : {0, 1}) {
            QStringList localList, centralList;
            chooseRow(row, localList);
            QVERIFY(w.openArchive(path));
            chooseRow(row, centralList);
            QVERIFY(w.openCentralArchive(QString::fromStdString(cluster.pusherUrl(db))));
            QVERIFY2(errors_.isEmpty(), qPrintable(errors_.join('|')));
            QCOMPARE(centralList, localList);
            const int local = w.fileCount() - 2, central = w.fileCount() - 1;
            QVERIFY(w.isHistory(central));
            const QString csv = dir_.filePath("%1-%2.csv");
            QVERIFY(w.showLogger(local, 0) && w.exportCsv(csv.arg(row).arg("local"), true));
            QVERIFY(w.showLogger(central, 0) && w.exportCsv(csv.arg(row).arg("central"), true));
            QCOMPARE(read(csv.arg(row).arg("central")), read(csv.arg(row).arg("local")));
        }
        QVERIFY(w.findChild<QAction*>("ActionSaveHistoryOrx")->isEnabled());
        const QString orx = dir_.filePath("central.orx");
        QVERIFY(w.saveHistoryOrx(orx));
        QVERIFY(w.openFile(orx));
        QCOMPARE(w.fileData(w.fileCount() - 1)->recordCount(), w.fileData(w.fileCount() - 2)->recordCount());
        QCOMPARE(w.fileData(w.fileCount() - 1)->badSignatureLines, uint64_t{0});
    }
};

QTEST_MAIN(OrmixCentralTest)
#include "OrmixCentralTest.moc"
