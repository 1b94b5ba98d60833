#include "app/ProgramWindows.h"
#include "widgets/QtRussian.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    installQtRussian(app);
    // Ties the windows to the desktop entry, so that a Wayland desktop shows its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrovane"));
    createProgramWindows();
    return app.exec();
}
