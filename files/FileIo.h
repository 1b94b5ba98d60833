#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Small file primitives shared by the settings file, the group reader and the measurement writer.
// Paths are UTF-8 everywhere.
namespace fileio {

enum class ReadStatus {
    Ok,
    NotRegular, // a directory, a device, a pipe: never opened for reading
    CannotOpen,
    TooLarge,
    ReadError,
};

// Opens a regular file for reading without blocking on pipes or devices.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    ReadStatus open(const std::string& path);
    // Bytes read into buf (0 at the end); -1 on an I/O error.
    long long read(char* buf, size_t size);
    uint64_t size() const { return size_; }
    void close();

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

// Reads a whole regular file; a file longer than maxBytes is refused rather than half read.
ReadStatus readWholeFile(const std::string& path, std::string& out, uint64_t maxBytes);

bool isDirectory(const std::string& path);
bool exists(const std::string& path);
// The folder part of a path ("" for a bare name) and the name after the last separator.
std::string folderOf(const std::string& path);
std::string fileNameOf(const std::string& path);

// Byte sink the writers stream into; false means the bytes did not reach their destination.
class IByteSink {
public:
    virtual ~IByteSink() = default;
    virtual bool write(const char* data, size_t size) = 0;
};

class StringSink : public IByteSink {
public:
    explicit StringSink(std::string& out) : out_(out) {}
    bool write(const char* data, size_t size) override {
        out_.append(data, size);
        return true;
    }

private:
    std::string& out_;
};

// The temporary files of AtomicFile: ".kv-" + six letters or digits + ".tmp", short whatever the
// target's name, so that a name the folder takes always has a temporary one too.
bool isTemporaryName(std::string_view name);
// Removes the temporary files that a killed save left in folder ("" is the current folder): ours
// by name, regular files, untouched for minAgeSeconds (a save in progress keeps writing to its own).
void removeStaleTemporaries(const std::string& folder, int minAgeSeconds = 60);

// Replaces a file only once its new contents are complete and on disk: the bytes go to a
// temporary file in the target's folder, which is renamed over the target at commit. Until then,
// and after any failure, the old file stays exactly as it was. Opening also clears the stale
// temporary files of earlier saves there.
class AtomicFile : public IByteSink {
public:
    enum class OpenStatus {
        Ok,
        FolderMissing,
        NotRegular, // the target is a directory or a device
        ReadOnly,   // read-only, or (on Windows) held open by another program
        CannotCreate,
    };

    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile() override; // an uncommitted temporary file is removed

    OpenStatus open(const std::string& target);
    bool write(const char* data, size_t size) override;
    // Flushes to disk and renames over the target; false leaves the target untouched.
    bool commit();
    // After a failed commit: the target could not be put in place under its name (another program
    // held it open, or the folder takes no such name); nothing changed on disk.
    bool targetRefused() const { return refused_; }
    void abort();
    const std::string& tempPath() const { return temp_; }

protected:
    // The raw write of one piece; tests override it to simulate a full disk.
    virtual bool writeRaw(const char* data, size_t size);

private:
    int fd_ = -1;
    std::string target_;
    std::string temp_;
    bool failed_ = false;
    bool refused_ = false;
};

} // namespace fileio
