#include "app/ProgramWindows.h"

#include "app/SignalCloser.h"
#include "app/TfrmKestrovane.h"
#include "files/IniFile.h"
#include "platform/PosixSerialOs.h"
#include "ui/TfrmAnalyzer.h"

#include <QApplication>
#include <QCoreApplication>

namespace {
QString& programDirOverride() {
    static QString dir;
    return dir;
}
} // namespace

QString programDirectory() {
    if (!programDirOverride().isEmpty())
        return programDirOverride();
    return QCoreApplication::applicationDirPath();
}

void setProgramDirForTests(const QString& dir) {
    programDirOverride() = dir;
}

void createProgramWindows() {
    // The serial backend lives as long as the program; the main window's port uses it to the end.
    static PosixSerialOs serialOs;
    auto* main = new TfrmKestrovane(SystemClock::instance(), serialOs);
    main->setAttribute(Qt::WA_DeleteOnClose, false);
    serialOs.setDevicePattern(main->PortDevice.toStdString());
    new SignalCloser(main);

    // The analyzer reads its own section of the settings through ProgramDir, set by now.
    auto* analyzer = new TfrmAnalyzer(*main, main->PortDrv, main->modem, SystemClock::instance(),
                                      IniFile(main->settingsPath().toStdString()));
    main->setAnalyzer(analyzer);

    // The two tool windows may be showing when the main window closes; the program ends anyway.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(main, &TfrmKestrovane::closedForGood, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    main->show();
}
