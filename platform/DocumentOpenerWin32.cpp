#include "platform/DocumentOpenerWin32.h"

#ifdef KV_HAVE_DOCUMENT_OPENER_WIN32
#include <windows.h>

#include <shellapi.h>

namespace {

// shell32 is loaded on first use, so that everything linking the platform layer does not need it.
void systemShell(void* owner, const std::wstring& verb, const std::wstring& file) {
    using Fn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    static Fn fn = [] {
        HMODULE shell32 = LoadLibraryA("shell32.dll");
        return shell32
                   ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(shell32, "ShellExecuteW")))
                   : nullptr;
    }();
    if (fn)
        fn(static_cast<HWND>(owner), verb.c_str(), file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

Win32DocumentOpener::Win32DocumentOpener()
    : shell_(
          [this](const std::wstring& verb, const std::wstring& file) { systemShell(owner_, verb, file); }) {}

std::wstring Win32DocumentOpener::widen(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                        n);
    return out;
}

bool Win32DocumentOpener::open(const std::string& path) {
    const std::wstring file = widen(path);
    // Malformed UTF-8 names no file; a folder is no document.
    const DWORD attributes = file.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    shell_(L"open", file);
    return true;
}
#endif
