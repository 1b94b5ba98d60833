#pragma once
#include <string>
#include <string_view>
#include <vector>

// The settings file with the semantics of the Windows private-profile calls: section and key
// names match without regard to case, the first of duplicate sections or keys wins, and a write
// changes one value in place, keeping every other line (foreign keys, comments, blank lines,
// unknown sections) untouched and in order. Each write goes to disk as it comes, through a
// temporary file and a rename, so a crash in the middle never truncates the settings.
// A missing or unreadable file reads as defaults; it is created at the first write when its
// folder exists.
class IniFile {
public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // The value with blanks around it trimmed (and one pair of enclosing quotes removed);
    // an absent key gives the default, a key with an empty value gives "".
    std::string readString(std::string_view section, std::string_view key, std::string_view def) const;
    // Decimal with an optional sign, or "0x" followed by hexadecimal digits. Anything else, an
    // absent key or a number outside the int range gives the default.
    int readInteger(std::string_view section, std::string_view key, int def) const;
    // Read as an integer; any value other than 0 is true.
    bool readBool(std::string_view section, std::string_view key, bool def) const;

    // False when the file cannot be written (folder missing, read-only, not a regular file).
    bool writeString(std::string_view section, std::string_view key, std::string_view value);
    bool writeInteger(std::string_view section, std::string_view key, int value);
    bool writeBool(std::string_view section, std::string_view key, bool value); // written as 1 or 0

    // The integer grammar of the settings file, for other readers of the same values.
    static bool parseInteger(std::string_view text, int& out);

private:
    std::string path_;
};

// The parsed form of an INI text: the lines exactly as they came, with where their values sit.
// Exposed for the fuzz target and the tests; IniFile is the interface the program uses.
class IniDocument {
public:
    explicit IniDocument(std::string_view text);

    // False when the section or the key is absent.
    bool lookup(std::string_view section, std::string_view key, std::string& value) const;
    void set(std::string_view section, std::string_view key, std::string_view value);
    std::string text() const;

private:
    struct Line {
        std::string text; // without its line end
        std::string eol;  // "\r\n", "\n" or "" (a last line without one)
    };
    // Index of the first section header with that name, or npos.
    size_t findSection(std::string_view section) const;
    // Index of the first key line in the section starting after header h, or npos.
    size_t findKey(size_t header, std::string_view key) const;
    size_t sectionEnd(size_t header) const;

    std::vector<Line> lines_;
    std::string newline_ = "\r\n";
};
