#include "ormix/TfrmOrmix.h"
#include "widgets/QtPlatform.h"
#include "widgets/QtRussian.h"

#include <QApplication>
#include <QStringList>

// ormix [--central URL] [file.orx ...]: the desktop's "open" on a saved measurement file starts it
// with that file; --central lists the loggers of the team's central database.
int main(int argc, char** argv) {
    choosePlatformDefaults();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ormix"));
    QGuiApplication::setDesktopFileName(QStringLiteral("ormix"));
    installQtRussian(app);
    TfrmOrmix window;
    window.show();
    const QStringList args = QApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--central") && i + 1 < args.size()) {
#ifdef KV_HAVE_CENTRAL
            window.openCentralArchive(args[i + 1]);
#endif
            ++i;
        } else if (!args[i].startsWith(QLatin1Char('-'))) {
            window.openFile(args[i]);
        }
    }
    return QApplication::exec();
}
