#pragma once
#include <QString>
#include <QStringList>

namespace ormix {

// Where the main program keeps its record archive, for the open dialog to start at. A program
// that runs from its own folder (a copied folder, the demo) keeps it beside its Archive folder,
// where the files shown here were saved: the first of those that exists, else the installed
// program's by its rule.
QString defaultArchivePath(const QStringList& openFiles = {});
// The central database the main program pushes to ("Центральный архив" of its settings), for the
// address box to start with; empty when none is set.
QString defaultCentralAddress();

} // namespace ormix
