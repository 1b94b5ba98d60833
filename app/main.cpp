#include "app/DemoMode.h"
#include "app/ProgramWindows.h"
#include "app/QtMessages.h"
#include "app/SingleInstance.h"
#include "app/TfrmKestrovane.h"
#include "widgets/QtPlatform.h"
#include "widgets/QtRussian.h"

#include <QApplication>
#include <QFile>

namespace {
QByteArray resource(const char* name) {
    QFile f(QString::fromLatin1(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

int main(int argc, char** argv) {
    choosePlatformDefaults();
    QApplication app(argc, argv);
    installQtRussian(app);
    // Ties the windows to the desktop entry, so that a Wayland desktop shows its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrovane"));
    // "--demo": the simulated modem and loggers inside the program, in a folder of their own.
    std::unique_ptr<DemoMode> demo;
    if (QCoreApplication::arguments().contains(QStringLiteral("--demo"))) {
        QString error;
        demo = DemoMode::prepare(programDirectory(), resource(":/demo/demo.json"),
                                 resource(":/demo/demo.cfg"), error);
        if (!demo) {
            QtMessages(nullptr).errorText(QStringLiteral("Демонстрация не запускается: ") + error);
            return 1;
        }
        setProgramDirectory(demo->folder());
    }
    SingleInstance instance(settingsFileOfThisProgram());
    if (!instance.claim()) {
        QtMessages(nullptr).infoText(
            QStringLiteral("Программа Kestrovane уже запущена: её окно выведено на передний план."));
        return 0;
    }
    TfrmKestrovane* window = createProgramWindows(demo ? &demo->serialOs() : nullptr);
    QObject::connect(&instance, &SingleInstance::anotherStarted, window, [window] { bringForward(window); });
    return app.exec();
}
