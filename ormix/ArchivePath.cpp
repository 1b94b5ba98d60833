#include "ormix/ArchivePath.h"

#include "platform/FileLocations.h"

#include <QCoreApplication>

namespace ormix {

// The viewer is installed beside the main program, so the main program's rule for its own data
// folder says where the archive is.
QString defaultArchivePath() {
    const FileLocations l = FileLocations::forProgram(QCoreApplication::applicationDirPath().toStdString());
    return QString::fromStdString(l.dataDir) + QStringLiteral("/archive.sqlite");
}

} // namespace ormix
