#include "ui/DocumentOpenerQt.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

DocumentOpenerQt::DocumentOpenerQt()
    : call_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

namespace {
// A folder is not a document; handing one over would open a file manager instead.
bool isDocument(const QFileInfo& info) {
    return !info.filePath().isEmpty() && info.exists() && !info.isDir();
}
} // namespace

bool DocumentOpenerQt::open(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    if (!isDocument(info))
        return false;
    // The desktop's own failure goes unnoticed, as with a viewer that is not installed.
    call_(QUrl::fromLocalFile(info.absoluteFilePath()));
    return true;
}

bool DocumentOpenerQt::launch(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    return isDocument(info) && call_(QUrl::fromLocalFile(info.absoluteFilePath()));
}
