#pragma once
#include "orxparse/OrxData.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orx {

// Reads a measurement file as it streams in, so that a large file never sits in memory twice.
// Accepts CR LF and LF line ends; any byte sequence is valid input and gives a result.
class OrxParser {
public:
    // Two-digit years are placed in the century of currentYear, as the writer's format does.
    explicit OrxParser(int currentYear);

    void feed(const char* data, size_t size);
    // Takes the last line (even without its line end) and hands out the result; the parser is
    // spent afterwards.
    OrxFile finish();

    // Readings per record beyond this make the line unreadable rather than a huge table.
    static constexpr size_t kMaxSensors = 4096;

private:
    enum class Zone { Header, AfterEmpty, AfterName, Records };

    void line(std::string_view text);
    void headerLine(std::string_view text);
    void emptyLine();
    void nameLine(std::string_view text);
    void stringLine(std::string_view text);
    void recordLine(std::string_view text);
    Logger& startLogger(bool withEmptyLine);
    void problem(ProblemKind kind, std::string message);
    void dropLine(ProblemKind kind, std::string message);
    void runLine(std::string_view text); // a heading line: its bytes, then CR LF

    int currentYear_;
    OrxFile file_;
    std::string carry_;
    uint64_t lineNo_ = 0;
    Zone zone_ = Zone::Header;
    uint8_t crc_ = 0;
    uint64_t emptyAt_ = 0;      // the empty line that opened the block being read
    uint64_t chainFrom_ = 0;    // first line the running signature value covers (0: none yet)
    bool sensorsFixed_ = false; // the current logger's sensor count is known
    std::vector<int32_t> scratch_;
    bool done_ = false;
};

OrxFile parseOrx(std::string_view bytes, int currentYear);

// The name line carries the name with a space before its 5th character and, in the result, another
// before its 8th (at the end where it is shorter). Undoes that; false when the spaces are not where
// the writer puts them (out then holds the text unchanged).
bool unspaceName(std::string_view spaced, std::string& out);
// The writer's spacing, for tests and for the record table's heading.
std::string spaceName(std::string_view name);

} // namespace orx
