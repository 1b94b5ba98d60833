#include "app/ProgramWindows.h"
#include "app/QtMessages.h"
#include "app/SingleInstance.h"
#include "app/TfrmKestrovane.h"
#include "widgets/QtRussian.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    installQtRussian(app);
    // Ties the windows to the desktop entry, so that a Wayland desktop shows its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrovane"));
    SingleInstance instance(settingsFileOfThisProgram());
    if (!instance.claim()) {
        QtMessages(nullptr).infoText(
            QStringLiteral("Программа Kestrovane уже запущена: её окно выведено на передний план."));
        return 0;
    }
    TfrmKestrovane* window = createProgramWindows();
    QObject::connect(&instance, &SingleInstance::anotherStarted, window, [window] { bringForward(window); });
    return app.exec();
}
