#include "ormix/ArchivePath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ormix {

// The archive lies beside the settings: in the programs' folder (the viewer is installed beside the
// main program) when it can be written, otherwise in the user's data folder.
QString defaultArchivePath() {
    const QString name = QStringLiteral("archive.sqlite");
    const QString programDir = QCoreApplication::applicationDirPath();
    if (QFileInfo(programDir).isWritable())
        return programDir + QLatin1Char('/') + name;
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    // The base directory specification ignores a relative value.
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/kestrovane/") + name;
}

} // namespace ormix
