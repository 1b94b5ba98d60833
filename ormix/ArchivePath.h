#pragma once
#include <QString>

namespace ormix {

// Where the main program keeps its record archive, for the open dialog to start at.
QString defaultArchivePath();

} // namespace ormix
