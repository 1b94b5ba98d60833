#include "platform/FileLocations.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#ifdef _WIN32
#include <shlobj.h>
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

fs::path toPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string toUtf8(const fs::path& p) {
    const std::u8string u = p.lexically_normal().u8string();
    std::string s(u.begin(), u.end());
    // "a/b/" and "a/b" are the same folder; callers append names with a separator of their own.
    while (s.size() > 1 && (s.back() == '/' || s.back() == '\\'))
        s.pop_back();
    return s;
}

// The freedesktop base directories count only when absolute; otherwise the default under home.
fs::path baseDir(const FileLocations::Environment& env, const char* name, const fs::path& home,
                 const char* fallback) {
    const fs::path p = toPath(env(name));
    return p.is_absolute() ? p : home / fallback;
}

// XDG_DOCUMENTS_DIR of user-dirs.dirs: "$HOME/…" or an absolute path, in double quotes. A folder
// renamed to the system's language ("Документы") is found this way; without the file, ~/Documents.
fs::path documentsDir(const fs::path& configHome, const fs::path& home) {
    std::ifstream in(configHome / "user-dirs.dirs");
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.compare(0, key.size(), key) != 0)
            continue;
        std::string value = line.substr(key.size());
        if (value.size() < 2 || value.front() != '"' || value.back() != '"')
            continue;
        value = value.substr(1, value.size() - 2);
        fs::path dir;
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
            dir = home / toPath(value.size() > 6 ? value.substr(6) : std::string());
        else if (!value.empty() && value.front() == '/')
            dir = toPath(value);
        // A documents folder set to home itself means "none" to the desktop; keep ours out of home.
        if (!dir.empty() && dir.lexically_normal() != home.lexically_normal())
            return dir;
    }
    return home / "Documents";
}

bool folderWritable(const std::string& dir) {
#ifdef _WIN32
    // A folder's read-only flag means nothing on Windows; what counts is whether a file can be made
    // there (not under Program Files for a user who is no administrator).
    const fs::path probe = toPath(dir) / "kestrovane-write-check.tmp";
    const HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_EXISTS;
    CloseHandle(h);
    return true;
#else
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
#endif
}

} // namespace

namespace {

FileLocations windowsPlaces(FileLocations l, const fs::path& program, const FileLocations::Environment& env) {
    fs::path profile = toPath(env("USERPROFILE"));
    auto folder = [&](const char* name, const char* fallback) {
        const fs::path p = toPath(env(name));
        return p.is_absolute() ? p : profile / fallback;
    };
    const fs::path documents = folder("{Documents}", "Documents") / "Kestrovane";
    l.settingsFile = toUtf8(folder("APPDATA", "AppData/Roaming") / "Kestrovane" / "ProgSet.ini");
    l.archiveDir = toUtf8(documents / "Archive");
    l.cfgDir = toUtf8(documents / "Cfg");
    l.dataDir = toUtf8(folder("LOCALAPPDATA", "AppData/Local") / "Kestrovane");
    l.examplesDir = toUtf8(program / "Cfg");
    return l;
}

} // namespace

FileLocations FileLocations::decide(const std::string& programDir, bool programDirWritable,
                                    const Environment& env, Convention convention) {
    const fs::path program = toPath(programDir);
    const fs::path share = (program / ".." / "share" / "kestrovane").lexically_normal();
    std::error_code ec;
    // A Windows installation keeps its data beside the programs; its uninstaller marks it.
    const bool windows = convention == Convention::Windows;
    const bool installed = windows
                               ? fs::is_regular_file(program / "Uninstall.exe", ec)
                               : fs::is_directory(share / "sound", ec) || fs::is_directory(share / "Cfg", ec);

    FileLocations l;
    l.portable = programDirWritable && !installed;
    const fs::path data = installed && !windows ? share : program;
    l.soundDir = toUtf8(data / "sound");
    if (l.portable) {
        l.settingsFile = toUtf8(program / "ini" / "ProgSet.ini");
        l.archiveDir = toUtf8(program / "Archive");
        l.cfgDir = toUtf8(program / "Cfg");
        l.dataDir = toUtf8(program);
        return l;
    }
    if (windows)
        return windowsPlaces(l, program, env);
    const fs::path home = toPath(env("HOME"));
    const fs::path configHome = baseDir(env, "XDG_CONFIG_HOME", home, ".config");
    const fs::path documents = documentsDir(configHome, home) / "Kestrovane";
    l.settingsFile = toUtf8(configHome / "kestrovane" / "ProgSet.ini");
    l.archiveDir = toUtf8(documents / "Archive");
    l.cfgDir = toUtf8(documents / "Cfg");
    l.dataDir = toUtf8(baseDir(env, "XDG_DATA_HOME", home, ".local/share") / "kestrovane");
    l.examplesDir = toUtf8(data / "Cfg");
    return l;
}

FileLocations FileLocations::forProgram(const std::string& programDir) {
    return decide(programDir, folderWritable(programDir), [](const char* name) {
#ifdef _WIN32
        // The ANSI environment would lose a Cyrillic user name; the wide one and UTF-8 keep it.
        std::wstring value;
        if (std::string_view(name) == "{Documents}") {
            PWSTR path = nullptr;
            if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path)))
                value = path;
            CoTaskMemFree(path);
        } else {
            const std::wstring wide(name, name + std::char_traits<char>::length(name));
            if (const wchar_t* v = _wgetenv(wide.c_str()))
                value = v;
        }
        const std::u8string u = fs::path(value).u8string();
        return std::string(u.begin(), u.end());
#else
        const char* v = std::getenv(name);
        // A process started without HOME (some service managers) still has a home folder.
        if (!v && std::string_view(name) == "HOME") {
            const passwd* pw = ::getpwuid(::getuid());
            v = pw ? pw->pw_dir : nullptr;
        }
        return std::string(v ? v : "");
#endif
    });
}

bool FileLocations::prepareUserFolders() const {
    if (portable)
        return true;
    std::error_code ec;
    fs::create_directories(toPath(archiveDir), ec);
    bool ok = fs::is_directory(toPath(archiveDir), ec);
    const fs::path cfg = toPath(cfgDir);
    if (fs::exists(cfg, ec))
        return ok && fs::is_directory(cfg, ec);
    if (!fs::create_directories(cfg, ec))
        return false;
    // An example that cannot be copied is no reason to fail: the folder itself is there.
    fs::directory_iterator it(toPath(examplesDir), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code copyError;
        if (!it->is_regular_file(copyError) || it->path().extension() != ".cfg")
            continue;
        // The user's copy is the user's to edit (a channel change opens it), whatever the original's rights.
        const fs::path target = cfg / it->path().filename();
        if (fs::copy_file(it->path(), target, copyError))
            fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add,
                            copyError);
    }
    return ok;
}

bool FileLocations::prepareSettingsFolder() const {
    if (portable)
        return true;
    std::error_code ec;
    const fs::path folder = toPath(settingsFile).parent_path();
    fs::create_directories(folder, ec);
    return fs::is_directory(folder, ec);
}
