#include "app/ProgramWindows.h"

#include "app/SignalCloser.h"
#include "app/TfrmKestrovane.h"
#include "files/IniFile.h"
#include "platform/FileLocations.h"
#include "ui/TfrmAbout.h"
#include "ui/TfrmAnalyzer.h"

#ifdef _WIN32
#include "platform/AdapterSettingsWin32.h"
#include "platform/DocumentOpenerWin32.h"
#include "platform/SoundOutputWin32.h"
#include "platform/Win32SerialOs.h"
#else
#include "platform/AdapterSettingsLinux.h"
#include "platform/PosixSerialOs.h"
#include "ui/DocumentOpenerQt.h"
#include "ui/SoundOutputSdl.h"
#endif

#include <QApplication>
#include <QCoreApplication>

namespace {
QString& programDirOverride() {
    static QString dir;
    return dir;
}

// The platform's services, chosen at build time. They live as long as the program: the main
// window's port, its notices and its "open" use them to the end.
struct PlatformServices {
#ifdef _WIN32
    Win32SerialOs serialOs;
    Win32AdapterSettings adapter;
    Win32SoundOutput sound;
    Win32DocumentOpener opener;
#else
    PosixSerialOs serialOs;
    LinuxAdapterSettings adapter{&serialOs};
    SoundOutputSdl sound;
    DocumentOpenerQt opener;
#endif
};
} // namespace

QString programDirectory() {
    if (!programDirOverride().isEmpty())
        return programDirOverride();
    return QCoreApplication::applicationDirPath();
}

void setProgramDirectory(const QString& dir) {
    programDirOverride() = dir;
}

QString settingsFileOfThisProgram() {
    return QString::fromStdString(FileLocations::forProgram(programDirectory().toStdString()).settingsFile);
}

void bringForward(QWidget* window) {
    window->show();
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->raise();
    window->activateWindow();
    // A desktop that keeps focus where it is at least marks the window in its task bar.
    QApplication::alert(window);
}

TfrmKestrovane* createProgramWindows(ISerialOs* simulatedPort) {
    static PlatformServices services;
    auto* main =
        new TfrmKestrovane(SystemClock::instance(), simulatedPort ? *simulatedPort : services.serialOs);
    main->setAttribute(Qt::WA_DeleteOnClose, false);
#ifdef _WIN32
    services.opener.setOwner(reinterpret_cast<void*>(main->winId()));
#else
    services.serialOs.setDevicePattern(main->PortDevice.toStdString());
#endif
    // A simulated modem has no adapter whose settings could be changed.
    if (!simulatedPort)
        main->modem.setAdapterSettings(&services.adapter);
    main->setSoundOutput(&services.sound);
    main->openDocument = [](const QString& path) { services.opener.open(path.toStdString()); };
#ifndef _WIN32
    main->editDocument = [](const QString& path) { return services.opener.launch(path.toStdString()); };
#else
    main->editDocument = [](const QString& path) { return services.opener.open(path.toStdString()); };
#endif
    new SignalCloser(main, [main] { main->closeForSignal(); });

    main->setAboutBox(new TfrmAbout(main));

    // The analyzer reads its own section of the settings, whose place FormCreate has found by now.
    auto* analyzer = new TfrmAnalyzer(*main, main->PortDrv, main->modem, SystemClock::instance(),
                                      IniFile(main->settingsPath().toStdString()));
    main->setAnalyzer(analyzer);

    // The two tool windows may be showing when the main window closes; the program ends anyway.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(main, &TfrmKestrovane::closedForGood, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    main->show();
    return main;
}
