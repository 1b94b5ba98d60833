#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// A fresh folder per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        const auto base = std::filesystem::temp_directory_path();
        for (int i = 0;; ++i) {
            path_ = base / ("kv-files-" + std::to_string(::rand()) + "-" + std::to_string(i));
            if (std::filesystem::create_directory(path_))
                break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        // Read-only entries left by a test must not keep the folder alive.
        for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
            std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    // UTF-8, as every path the program handles.
    std::string file(const std::string& name) const {
        const std::u8string u = (path_ / u8(name)).u8string();
        return std::string(u.begin(), u.end());
    }
    std::filesystem::path at(const std::string& name) const { return path_ / u8(name); }
    static std::filesystem::path u8(const std::string& s) {
        return std::filesystem::path(std::u8string(s.begin(), s.end()));
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(TempDir::u8(path), std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readBytes(const std::string& path) {
    std::ifstream f(TempDir::u8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
