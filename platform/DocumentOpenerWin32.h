#pragma once
#ifdef _WIN32
#define KV_HAVE_DOCUMENT_OPENER_WIN32 1
#include "platform/DocumentOpener.h"

#include <functional>
#include <string>

// Opens a document with its associated program through the shell's "open" verb. Paths are UTF-8
// in the program; they reach the shell as UTF-16, so Cyrillic folder names survive.
class Win32DocumentOpener final : public IDocumentOpener {
public:
    // The shell call, replaceable in tests: (verb, file) in UTF-16.
    using ShellCall = std::function<void(const std::wstring& verb, const std::wstring& file)>;

    Win32DocumentOpener();
    explicit Win32DocumentOpener(ShellCall shell) : shell_(std::move(shell)) {}
    // The default shell call refers to this object's owner window.
    Win32DocumentOpener(const Win32DocumentOpener&) = delete;
    Win32DocumentOpener& operator=(const Win32DocumentOpener&) = delete;
    void setOwner(void* hwnd) { owner_ = hwnd; }

    // False when no file exists at path (the caller shows its message); otherwise the shell is
    // asked and its own failure goes unnoticed, as with a missing viewer.
    bool open(const std::string& path) override;

    static std::wstring widen(const std::string& utf8);

private:
    ShellCall shell_;
    void* owner_ = nullptr;
};
#endif
