#pragma once
#include "platform/DocumentOpener.h"

#include <functional>
#include <string>

class QUrl;

// Opens a file with the desktop's associated program (QDesktopServices, i.e. xdg-open on Linux).
class DocumentOpenerQt final : public IDocumentOpener {
public:
    using OpenCall = std::function<bool(const QUrl&)>;
    DocumentOpenerQt();
    // The desktop call, replaceable in tests.
    explicit DocumentOpenerQt(OpenCall call) : call_(std::move(call)) {}
    bool open(const std::string& path) override;
    // The same, but also false when the desktop could start no program for the file (a file the
    // user must edit by hand: the failure must be told).
    bool launch(const std::string& path);

private:
    OpenCall call_;
};
