#pragma once
#include <QString>

namespace ormix {

// Where the main program keeps its record archive, for the open dialog to start at.
QString defaultArchivePath();
// The central database the main program pushes to ("Центральный архив" of its settings), for the
// address box to start with; empty when none is set.
QString defaultCentralAddress();

} // namespace ormix
