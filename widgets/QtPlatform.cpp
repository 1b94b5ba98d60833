#include "widgets/QtPlatform.h"

#include <QApplication>
#include <QByteArray>
#include <QFont>
#include <QFontDatabase>
#include <QtGlobal>

void choosePlatformDefaults() {
#ifdef _WIN32
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("windows:fontengine=directwrite"));
#endif
}

void chooseApplicationFont() {
#ifdef _WIN32
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        return;
    const QStringList families = QFontDatabase::families();
    for (const char* name : {"Segoe UI", "Tahoma"}) {
        if (families.contains(QLatin1String(name))) {
            QFont f = QApplication::font();
            f.setFamilies({QLatin1String(name)});
            QApplication::setFont(f);
            return;
        }
    }
#endif
}
