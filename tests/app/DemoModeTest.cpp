// "kestrovane --demo": the simulated modem inside the program, in a folder of the demonstration's own.
#include "AppTestSupport.h"

#include "app/DemoMode.h"
#include "app/TfrmKestrovane.h"
#include "widgets/TOnOffSwitch.h"

#include <QLabel>
#include <QtTest>

class DemoModeTest : public QObject {
    Q_OBJECT

    static QByteArray source(const char* name) {
        QFile f(QStringLiteral(KV_SOURCE_DIR "/resources/demo/") + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void cleanup() { destroyProgramWindows(); }

    // The demonstration opens its group and finds its modem, and leaves the real program's folder
    // as it was: none of its settings, groups or saved files.
    void runsInItsOwnFolderAgainstTheSimulatedModem() {
        QTemporaryDir program;
        QString error;
        auto demo = DemoMode::prepare(program.path(), source("demo.json"), source("demo.cfg"), error);
        QVERIFY2(demo, qPrintable(error));
        QCOMPARE(demo->folder(), program.path() + "/demo");
        setProgramDirForTests(demo->folder());
        createProgramWindows(&demo->serialOs());
        auto* w = qobject_cast<TfrmKestrovane*>(programWindow("frmKestrovane"));
        QVERIFY(w);
        QCOMPARE(w->table.LoggerCount, 8);
        w->SwitchConnect->setOn(true);
        QTRY_VERIFY_WITH_TIMEOUT(w->StatusPanel0->text().contains("SIM"), 10000);
        QCOMPARE(QDir(program.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"demo"});

        // A second start rewrites the group (a channel change of the last one moved it) and keeps the
        // settings.
        destroyProgramWindows();
        writeFile(demo->folder() + "/Cfg/demo.cfg", "Channel\t33\r\n");
        auto again = DemoMode::prepare(program.path(), source("demo.json"), source("demo.cfg"), error);
        QVERIFY(again);
        QCOMPARE(readFile(again->folder() + "/Cfg/demo.cfg"), source("demo.cfg"));

        QVERIFY(!DemoMode::prepare(program.path(), "{", source("demo.cfg"), error));
        QVERIFY(error.contains("demo.json"));
    }
};

QTEST_MAIN(DemoModeTest)
#include "DemoModeTest.moc"
