#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class IMessages;
class LoggerTable;

struct ConfigLogger {
    std::string name;    // Windows-1251 bytes as in the file
    std::string comment; // possibly empty
};

// A group file is written by hand: past these it is refused as damaged rather than let fill the
// memory with rows or lines.
constexpr size_t kMaxConfigLoggers = 10000;
constexpr size_t kMaxConfigLineBytes = 64 * 1024; // the line end not counted
// A reply's first packet carries at most 59 payload bytes: the name and a five-letter keyword.
// A longer name could never be recognised in a reply.
constexpr size_t kMaxLoggerNameBytes = 54;

enum class ConfigFailure {
    None,
    Damaged,     // an invalid channel value, too many loggers, a too long line
    NameTooLong, // a logger name beyond kMaxLoggerNameBytes
};

struct ConfigParseResult {
    bool valid = true; // false after any failure below
    ConfigFailure failure = ConfigFailure::None;
    // The last channel value read before any failure: the control takes only that one, since each
    // value it takes may go on the air.
    std::optional<int> channel;
    std::vector<ConfigLogger> loggers;
    size_t failedLine = 0; // 1-based line of the failure, 0 when valid
    // The file was written as UTF-8 (a byte-order mark, or Cyrillic that only UTF-8 can be): its
    // names and comments are still UTF-8 here.
    bool utf8 = false;
};

// The channel value grammar: leading spaces, an optional sign, then decimal digits or
// hexadecimal digits after "$", "x" or "0x", and nothing else (a trailing blank included).
// Values outside the int range are invalid too.
bool parseChannelValue(std::string_view text, int& value);

// Classifies the lines of a group file as they arrive, in chunks of any size, so a large file
// never needs to be held whole. Lines end in LF or CR LF; the last one may have no end.
class ConfigParser {
public:
    void feed(std::string_view chunk);
    // Handles a last line without a line end and hands the result over.
    ConfigParseResult finish();
    bool failed() const { return !result_.valid; }

private:
    void line(std::string_view text);
    void fail(ConfigFailure why = ConfigFailure::Damaged);
    void scanUtf8(std::string_view chunk);

    std::string partial_;
    // Whether every byte so far can be UTF-8, and whether any was not plain ASCII.
    bool utf8Valid_ = true;
    bool nonAscii_ = false;
    bool byteOrderMark_ = false;
    int utf8Pending_ = 0; // continuation bytes still due
    ConfigParseResult result_;
    size_t lineNo_ = 0;
};

ConfigParseResult parseConfig(std::string_view bytes);

// What reading a group needs of the main window.
class IConfigHost {
public:
    virtual ~IConfigHost() = default;
    // The modem channel control; it brings the value into its own range.
    virtual void setModemChannel(int channel) = 0;
    virtual void setCaption(const std::string& utf8) = 0;
    virtual IMessages& messages() = 0;
    // Something worth knowing about a group that was read all the same.
    virtual void groupNotice(const std::string& /*utf8*/) {}
};

// Told when a group file written as UTF-8 was read.
inline constexpr const char* kUtf8GroupNotice =
    "Файл группы в UTF-8 прочитан верно; в Windows-1251 комментарии запишутся только при сохранении "
    "данных";

// The window keeps its channel when a group names none; a reader with no channel of its own to
// fall back on refuses such a group.
enum class ChannelLine { Optional, Required };

// Replaces the group in the table with the one of the file at path (UTF-8): asks before losing
// downloaded data, checks the extension, reads, sets the channel, the caption and the rows, and
// reports every failure in an error box with the full path.
void LoadConfiguration(const std::string& path, LoggerTable& table, IConfigHost& host,
                       ChannelLine channelLine = ChannelLine::Optional);

// The test the extension check makes: the last three characters, lower-cased, are "cfg".
bool hasConfigExtension(std::string_view path);
