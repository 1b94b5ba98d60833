#include "files/FileIo.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <climits>
#include <cstdlib>
#include <unistd.h>
#endif

namespace fileio {
namespace {

namespace fs = std::filesystem;

fs::path fsPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

#ifdef _WIN32
std::wstring wide(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}
using StatBuf = struct _stat64;
int statPath(const std::string& path, StatBuf& st) {
    return _wstat64(wide(path).c_str(), &st);
}
int openRead(const std::string& path) {
    return _wopen(wide(path).c_str(), _O_RDONLY | _O_BINARY);
}
int openExclusive(const std::string& path, int) {
    return _wopen(wide(path).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}
bool isRegularMode(unsigned mode) {
    return (mode & _S_IFMT) == _S_IFREG;
}
bool readOnlyMode(unsigned mode) {
    return (mode & _S_IWRITE) == 0;
}
long long rawRead(int fd, char* buf, size_t size) {
    const unsigned n = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
    return _read(fd, buf, n);
}
long long rawWrite(int fd, const char* buf, size_t size) {
    const unsigned n = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
    return _write(fd, buf, n);
}
bool syncFile(int fd) {
    return _commit(fd) == 0;
}
int closeFd(int fd) {
    return _close(fd);
}
// Another program holds the file open (a viewer, a spreadsheet) without letting it be replaced,
// or the folder takes no file of that name.
bool targetRefusedError(DWORD error) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND: // Wine's answer to a name too long
        return true;
    default:
        return false;
    }
}
bool replaceFile(const std::string& from, const std::string& to, bool& refused) {
    const bool ok = MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    refused = !ok && targetRefusedError(GetLastError());
    return ok;
}
void syncFolder(const std::string&) {}
void removeFile(const std::string& path) {
    _wremove(wide(path).c_str());
}
// Whether the existing file may be replaced now: opened with the access a replace needs, it
// refuses while another program holds it, before anything is written.
bool writableProbe(const std::string& path) {
    const HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE | DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}
#else
using StatBuf = struct stat;
int statPath(const std::string& path, StatBuf& st) {
    return ::stat(path.c_str(), &st);
}
int openRead(const std::string& path) {
    // Non-blocking so that a pipe never hangs the window; NOCTTY so a terminal is never adopted.
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}
int openExclusive(const std::string& path, int mode) {
    return ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
}
bool isRegularMode(unsigned mode) {
    return S_ISREG(mode);
}
// The owner runs as root in CI, where permission checks always pass: a file with no write bit at
// all is read-only whoever asks, as the read-only attribute is on Windows.
bool readOnlyMode(unsigned mode) {
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}
long long rawRead(int fd, char* buf, size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, buf, size);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}
long long rawWrite(int fd, const char* buf, size_t size) {
    for (;;) {
        const ssize_t n = ::write(fd, buf, size);
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}
bool syncFile(int fd) {
    return ::fsync(fd) == 0;
}
int closeFd(int fd) {
    return ::close(fd);
}
// A rename over a file others have open succeeds here; only a name the folder does not take is
// refused.
bool replaceFile(const std::string& from, const std::string& to, bool& refused) {
    const bool ok = ::rename(from.c_str(), to.c_str()) == 0;
    refused = !ok && (errno == ENAMETOOLONG || errno == EINVAL || errno == EILSEQ);
    return ok;
}
// Makes the rename itself durable; a failure here cannot be undone and is not reported.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
void removeFile(const std::string& path) {
    ::unlink(path.c_str());
}
// Whether this user may write the existing file (a locked or foreign file refuses).
bool writableProbe(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}
#endif

constexpr std::string_view kTempPrefix = ".kv-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr size_t kTempLetters = 6;
constexpr std::string_view kTempAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// Six letters from the process, the time and a counter; a clash is caught by the exclusive create.
std::string temporaryName() {
    static std::atomic<unsigned> counter{0};
    const auto ticks =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
#ifdef _WIN32
    const unsigned long long pid = GetCurrentProcessId();
#else
    const auto pid = static_cast<unsigned long long>(::getpid());
#endif
    unsigned long long x = ticks ^ (pid << 40) ^ (0x9E3779B97F4A7C15ull * (counter.fetch_add(1) + 1));
    std::string name(kTempPrefix);
    for (size_t i = 0; i < kTempLetters; ++i) {
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ull;
        name += kTempAlphabet[static_cast<size_t>(x >> 58) % kTempAlphabet.size()];
    }
    name += kTempSuffix;
    return name;
}

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

} // namespace

InputFile::~InputFile() {
    close();
}

ReadStatus InputFile::open(const std::string& path) {
    close();
    StatBuf st{};
    // Looked at before opening: opening a device such as a serial port has effects of its own.
    if (statPath(path, st) == 0 && !isRegularMode(static_cast<unsigned>(st.st_mode)))
        return ReadStatus::NotRegular;
    fd_ = openRead(path);
    if (fd_ < 0)
        return ReadStatus::CannotOpen;
#ifndef _WIN32
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        close();
        return ReadStatus::NotRegular;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
#else
    if (_fstat64(fd_, &st) != 0 || !isRegularMode(static_cast<unsigned>(st.st_mode))) {
        close();
        return ReadStatus::NotRegular;
    }
#endif
    size_ = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    return ReadStatus::Ok;
}

long long InputFile::read(char* buf, size_t size) {
    if (fd_ < 0)
        return -1;
    return rawRead(fd_, buf, size);
}

void InputFile::close() {
    if (fd_ >= 0)
        closeFd(fd_);
    fd_ = -1;
    size_ = 0;
}

ReadStatus readWholeFile(const std::string& path, std::string& out, uint64_t maxBytes) {
    out.clear();
    InputFile in;
    const ReadStatus st = in.open(path);
    if (st != ReadStatus::Ok)
        return st;
    if (in.size() > maxBytes)
        return ReadStatus::TooLarge;
    out.reserve(static_cast<size_t>(in.size()));
    char buf[65536];
    for (;;) {
        const long long n = in.read(buf, sizeof buf);
        if (n < 0) {
            out.clear();
            return ReadStatus::ReadError;
        }
        if (n == 0)
            break;
        // The file may grow while it is read: the cap holds for what is actually read.
        if (out.size() + static_cast<uint64_t>(n) > maxBytes) {
            out.clear();
            return ReadStatus::TooLarge;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    return ReadStatus::Ok;
}

bool isDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fsPath(path), ec);
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fsPath(path), ec);
}

std::string folderOf(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (isSeparator(path[i - 1]))
            return i == 1 ? path.substr(0, 1) : path.substr(0, i - 1);
    return {};
}

std::string fileNameOf(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (isSeparator(path[i - 1]))
            return path.substr(i);
    return path;
}

bool isTemporaryName(std::string_view name) {
    if (name.size() != kTempPrefix.size() + kTempLetters + kTempSuffix.size() ||
        name.substr(0, kTempPrefix.size()) != kTempPrefix ||
        name.substr(name.size() - kTempSuffix.size()) != kTempSuffix)
        return false;
    const std::string_view letters = name.substr(kTempPrefix.size(), kTempLetters);
    return letters.find_first_not_of(kTempAlphabet) == std::string_view::npos;
}

void removeStaleTemporaries(const std::string& folder, int minAgeSeconds) {
    std::error_code ec;
    const auto before = fs::file_time_type::clock::now() - std::chrono::seconds(minAgeSeconds);
    for (fs::directory_iterator it(fsPath(folder.empty() ? "." : folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::u8string name = it->path().filename().u8string();
        if (!isTemporaryName(std::string_view(reinterpret_cast<const char*>(name.data()), name.size())))
            continue;
        std::error_code fileError;
        // A link of that name points elsewhere: what it points at is not ours.
        if (!it->is_regular_file(fileError) || it->is_symlink(fileError))
            continue;
        const auto written = it->last_write_time(fileError);
        if (!fileError && written < before)
            fs::remove(it->path(), fileError);
    }
}

AtomicFile::~AtomicFile() {
    abort();
}

AtomicFile::OpenStatus AtomicFile::open(const std::string& target) {
    abort();
    failed_ = false;
    refused_ = false;
    target_ = target;
#ifndef _WIN32
    // Replace what a symbolic link points at, not the link itself.
    struct stat lst {};
    if (::lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(target.c_str(), resolved) != nullptr)
            target_ = resolved;
    }
#endif
    const std::string folder = folderOf(target_);
    if (!folder.empty() && !isDirectory(folder))
        return OpenStatus::FolderMissing;

    int mode = 0666;
    StatBuf st{};
    if (statPath(target_, st) == 0) {
        const unsigned m = static_cast<unsigned>(st.st_mode);
        if (!isRegularMode(m))
            return OpenStatus::NotRegular;
        if (readOnlyMode(m) || !writableProbe(target_))
            return OpenStatus::ReadOnly;
        mode = static_cast<int>(m & 07777);
    }

    removeStaleTemporaries(folder);
    const std::string base = folder.empty() ? std::string() : folder + (folder == "/" ? "" : "/");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = base + temporaryName();
        fd_ = openExclusive(candidate, mode);
        if (fd_ >= 0) {
            temp_ = candidate;
#ifndef _WIN32
            // An existing file keeps its permissions exactly; a new one gets the usual umask.
            if (mode != 0666)
                ::fchmod(fd_, static_cast<mode_t>(mode));
#endif
            return OpenStatus::Ok;
        }
        if (errno != EEXIST)
            break;
    }
    return OpenStatus::CannotCreate;
}

bool AtomicFile::writeRaw(const char* data, size_t size) {
    while (size > 0) {
        const long long n = rawWrite(fd_, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFile::write(const char* data, size_t size) {
    if (fd_ < 0 || failed_)
        return false;
    if (size > 0 && !writeRaw(data, size))
        failed_ = true;
    return !failed_;
}

bool AtomicFile::commit() {
    if (fd_ < 0 || failed_) {
        abort();
        return false;
    }
    const bool synced = syncFile(fd_);
    const bool closed = closeFd(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed || !replaceFile(temp_, target_, refused_)) {
        abort();
        return false;
    }
    temp_.clear();
    syncFolder(folderOf(target_));
    return true;
}

void AtomicFile::abort() {
    if (fd_ >= 0)
        closeFd(fd_);
    fd_ = -1;
    if (!temp_.empty())
        removeFile(temp_);
    temp_.clear();
}

} // namespace fileio
