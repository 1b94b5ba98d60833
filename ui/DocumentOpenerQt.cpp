#include "ui/DocumentOpenerQt.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

DocumentOpenerQt::DocumentOpenerQt()
    : call_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

bool DocumentOpenerQt::open(const std::string& path) {
    const QString p = QString::fromStdString(path);
    const QFileInfo info(p);
    // A folder is not a document; handing one over would open a file manager instead.
    if (p.isEmpty() || !info.exists() || info.isDir())
        return false;
    // The desktop's own failure goes unnoticed, as with a viewer that is not installed.
    call_(QUrl::fromLocalFile(info.absoluteFilePath()));
    return true;
}
