#pragma once
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

class IClock;

// A support log of the modem link as text a person can read: every byte in both directions with
// its time in milliseconds, the port's line changes, and what the program made of it between
// them. A line is "<ms> <mark> <payload>"; the marks are '>' to the modem, '<' from the modem,
// '=' the port itself, '*' the program's own words. Bytes go 16 to a line, in hex with their
// printable characters beside them; the lines after the first of a write or read carry no time.
class LinkLog {
public:
    static constexpr char kOut = '>';
    static constexpr char kIn = '<';
    static constexpr char kPort = '=';
    static constexpr char kEvent = '*';
    static constexpr size_t kBytesPerLine = 16;

    explicit LinkLog(IClock& clock) : clock_(clock) {}
    LinkLog(const LinkLog&) = delete;
    LinkLog& operator=(const LinkLog&) = delete;

    // Appends to the file (UTF-8 path) after a heading with the date and time; false when it
    // cannot be written.
    bool open(const std::string& path);
    // The log goes to text() instead of a file (tests).
    void openInMemory();
    void close();
    bool isOpen() const { return open_; }
    const std::string& path() const { return path_; }
    const std::string& text() const { return memory_; }

    void bytes(char mark, const uint8_t* data, size_t size);
    void port(const std::string& text) { put(kPort, text); }
    void event(const std::string& text) { put(kEvent, text); }

private:
    void put(char mark, const std::string& payload);
    void write(const std::string& line);
    uint32_t elapsedMs() const;

    IClock& clock_;
    bool open_ = false;
    bool inMemory_ = false;
    std::ofstream file_;
    std::string path_;
    std::string memory_;
    uint32_t startTick_ = 0;
};

// One write, read, port line or note of a link log.
struct LinkLogEntry {
    uint32_t ms = 0;
    char mark = LinkLog::kEvent;
    std::vector<uint8_t> bytes; // '>' and '<'
    std::string text;           // '=' and '*'
};

// The entries of a link log in their order. Lines that are not of the format are skipped, so a
// log edited by hand, cut short or mixed with other text still gives what it holds.
std::vector<LinkLogEntry> parseLinkLog(std::string_view text);
