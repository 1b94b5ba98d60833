#include "widgets/QtRussian.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool installQtRussian(QCoreApplication& app) {
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
