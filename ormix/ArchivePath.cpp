#include "ormix/ArchivePath.h"

#include "files/Cp1251.h"
#include "files/IniFile.h"
#include "platform/FileLocations.h"

#include <QCoreApplication>

namespace ormix {

// The viewer is installed beside the main program, so the main program's rule for its own data
// folder says where the archive is.
QString defaultArchivePath() {
    const FileLocations l = FileLocations::forProgram(QCoreApplication::applicationDirPath().toStdString());
    return QString::fromStdString(l.dataDir) + QStringLiteral("/archive.sqlite");
}

QString defaultCentralAddress() {
    const FileLocations l = FileLocations::forProgram(QCoreApplication::applicationDirPath().toStdString());
    const IniFile settings(l.settingsFile);
    return QString::fromStdString(
        cp1251ToUtf8(settings.readString("Settings", utf8ToCp1251("Центральный архив"), "")));
}

} // namespace ormix
