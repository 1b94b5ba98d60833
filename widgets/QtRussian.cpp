#include "widgets/QtRussian.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installQtRussian(QCoreApplication& app) {
    // Sizes, dates and month names that Qt writes itself (file dialogs, calendars) follow the
    // default locale. The program's own numbers keep to the system's settings, which this leaves alone.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    auto* translator = new QTranslator(&app);
    for (const QString& dir : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QCoreApplication::applicationDirPath() + "/translations"}) {
        if (translator->load(QStringLiteral("qtbase_ru"), dir) &&
            QCoreApplication::installTranslator(translator))
            return true;
    }
    delete translator;
    return false;
}
