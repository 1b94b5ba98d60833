#include "ormix/ArchivePath.h"

#include "files/Cp1251.h"
#include "files/IniFile.h"
#include "platform/FileLocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ormix {

QString defaultArchivePath(const QStringList& openFiles) {
    static const QString kName = QStringLiteral("archive.sqlite");
    for (const QString& file : openFiles) {
        // ".../demo/Archive/x.orx" beside ".../demo/archive.sqlite", or an archive's own history.
        const QDir folder = QFileInfo(file).absoluteDir();
        for (const QString& candidate :
             {QDir(folder.absolutePath() + QStringLiteral("/..")).filePath(kName), folder.filePath(kName)}) {
            if (QFileInfo(candidate).isFile())
                return QDir::cleanPath(candidate);
        }
    }
    const FileLocations l = FileLocations::forProgram(QCoreApplication::applicationDirPath().toStdString());
    return QString::fromStdString(l.dataDir) + QLatin1Char('/') + kName;
}

QString defaultCentralAddress() {
    const FileLocations l = FileLocations::forProgram(QCoreApplication::applicationDirPath().toStdString());
    const IniFile settings(l.settingsFile);
    return QString::fromStdString(
        cp1251ToUtf8(settings.readString("Settings", utf8ToCp1251("Центральный архив"), "")));
}

} // namespace ormix
