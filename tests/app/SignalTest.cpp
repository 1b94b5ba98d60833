// The real program, run from a folder of its own, writes its settings when it is told to stop;
// told to stop after a download, it keeps the records that were not saved.
#include "AppTestSupport.h"
#include "app/TfrmKestrovane.h"
#include "tests/e2e/SimProcess.h"
#include "widgets/TOnOffSwitch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <cstdio>

namespace {
// Two loggers with records in the default period, answering quickly.
const char* const kScenario = R"({"seed": 7, "modem": {"port": 6, "channel": 20}, "loggers": [
    {"name": "D4071534826", "channel": 20, "sensors": [100, 200], "measuring": false, "replyDelayMs": 40,
     "generate": {"count": 8}},
    {"name": "D4071534827", "channel": 20, "sensors": [101], "measuring": false, "replyDelayMs": 40,
     "generate": {"count": 5}}]})";

// The program as main() starts it, with a user who opens the group, switches the modem on and
// downloads, then reports the records held on standard output and leaves the window open.
int runScriptedUser(const QString& programDir, const QString& group) {
    QtMessages::setHookForTests([](QMessageBox& box) {
        std::fprintf(stderr, "box: %s\n", box.text().toUtf8().constData());
        return int(QMessageBox::Yes);
    });
    setProgramDirForTests(programDir);
    createProgramWindows();
    auto* w = qobject_cast<TfrmKestrovane*>(programWindow("frmKestrovane"));
    QTimer::singleShot(0, w, [w, group] {
        LoadConfiguration(group.toStdString(), w->table, *w);
        // The identification is read 15 ms after the request: on a busy machine a search may
        // miss the simulator, as it would miss a slow adapter.
        for (int tries = 0; tries < 3 && !w->SwitchConnect->isOn(); ++tries)
            w->SwitchConnect->setOn(true);
        w->SwitchDownload->setOn(true);
        auto* poll = new QTimer(w);
        QObject::connect(poll, &QTimer::timeout, w, [w, poll] {
            if (w->taskRunning())
                return;
            poll->stop();
            std::printf("records %d\n", w->table.LoadedRecordCount);
            std::fflush(stdout);
        });
        poll->start(100);
    });
    return QApplication::exec();
}
} // namespace

class SignalTest : public QObject {
    Q_OBJECT

    void runAndSignal(int sig) {
        QTemporaryDir dir;
        const QString exe = dir.path() + "/kestrovane";
        QVERIFY(QFile::copy(KV_PROGRAM, exe));
        QVERIFY(QDir().mkpath(dir.path() + "/ini"));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(exe, {});
        QVERIFY(p.waitForStarted(5000));
        // Give the window time to come up and install its handlers.
        QTest::qWait(1500);
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(p.processId()), sig);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QFile ini(dir.path() + "/ini/ProgSet.ini");
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        for (const char* k : {"[Main]", "Top=", "Width=800", "[Analyzer]", "[Settings]", "Port=6",
                              "Channel=20", "SoundMode=1", "[Strategy]", "DataBlockSize=1", "Attempt3=0"})
            QVERIFY2(text.contains(k), k);
        QVERIFY(text.indexOf("[Main]") < text.indexOf("[Analyzer]"));
        QVERIFY(text.indexOf("[Settings]") < text.indexOf("[Strategy]"));
    }

private slots:
    void sigterm() { runAndSignal(SIGTERM); }
    void sigint() { runAndSignal(SIGINT); }
    void sighup() { runAndSignal(SIGHUP); }

    // A logout after a download, with the settings folder gone meanwhile: nothing waits for a
    // click, the process ends within 5 s and the downloaded records are in Archive.
    void sigtermAfterADownloadKeepsTheRecords() {
        e2e::SimProcess sim(kScenario, 6);
        QVERIFY2(sim.waitForLink(), sim.errors().c_str());
        QTemporaryDir dir;
        writeFile(dir.path() + "/ini/ProgSet.ini",
                  "[Settings]\r\nPort=6\r\nPortDevice=" + QByteArray::fromStdString(sim.pattern()) + "\r\n");
        writeFile(dir.path() + "/Cfg/group7.cfg", "Channel 20\r\nD4071534826\r\nD4071534827\r\n");

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(),
                {"--scripted-user", dir.path(), dir.path() + "/Cfg/group7.cfg"});
        QVERIFY(p.waitForStarted(5000));
        QByteArray out;
        QElapsedTimer waiting;
        waiting.start();
        while (!out.contains('\n') && waiting.elapsed() < 60000 && p.state() == QProcess::Running)
            if (p.waitForReadyRead(1000))
                out += p.readAllStandardOutput();
        const QRegularExpressionMatch m =
            QRegularExpression("^records (\\d+)").match(QString::fromLatin1(out));
        QVERIFY2(m.hasMatch(), p.readAllStandardError().constData());
        const int records = m.captured(1).toInt();
        QCOMPARE(records, 13);

        QVERIFY(QDir(dir.path() + "/ini").removeRecursively());
        QElapsedTimer stopping;
        stopping.start();
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(5000));
        QVERIFY(stopping.elapsed() < 5000);
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QString errors = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(errors.contains("Unable to write to " + dir.path() + "/ini/ProgSet.ini"),
                 qPrintable(errors));
        QVERIFY2(!errors.contains("box: "), qPrintable(errors));

        const QStringList saved = QDir(dir.path() + "/Archive").entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(saved.size(), 1);
        QVERIFY2(QRegularExpression("^group7 \\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d несохранено\\.orx$")
                     .match(saved.first())
                     .hasMatch(),
                 qPrintable(saved.first()));
        const QByteArray file = readFile(dir.path() + "/Archive/" + saved.first());
        QCOMPARE(file.count(")\r\n"), qsizetype(records)); // one signed line per record
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--scripted-user")
        return runScriptedUser(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    SignalTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "SignalTest.moc"
