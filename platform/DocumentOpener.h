#pragma once
#include <string>

// Hands a document to the program the desktop associates with its type (the "open" request).
class IDocumentOpener {
public:
    virtual ~IDocumentOpener() = default;
    // path is UTF-8. False when no file exists at path; the desktop's own failure to open an
    // existing file goes unnoticed.
    virtual bool open(const std::string& path) = 0;
};
