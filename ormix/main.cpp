#include "ormix/TfrmOrmix.h"
#include "widgets/QtRussian.h"

#include <QApplication>
#include <QStringList>

// ormix [file.orx ...]: the desktop's "open" on a saved measurement file starts it with that file.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ormix"));
    QGuiApplication::setDesktopFileName(QStringLiteral("ormix"));
    installQtRussian(app);
    TfrmOrmix window;
    window.show();
    const QStringList args = QApplication::arguments().mid(1);
    for (const QString& a : args) {
        if (!a.startsWith(QLatin1Char('-')))
            window.openFile(a);
    }
    return QApplication::exec();
}
