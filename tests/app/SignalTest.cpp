// The real program, run from a folder of its own, writes its settings when it is told to stop.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

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
};

QTEST_MAIN(SignalTest)
#include "SignalTest.moc"
