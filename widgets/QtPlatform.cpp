#include "widgets/QtPlatform.h"

#include <QByteArray>
#include <QtGlobal>

void choosePlatformDefaults() {
#ifdef _WIN32
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArray("windows:fontengine=directwrite"));
#endif
}
