#include "files/ConfigReader.h"

#include "engine/LoggerTable.h"
#include "engine/UiSeams.h"
#include "files/Cp1251.h"
#include "files/FileIo.h"

#include <climits>
#include <cstdint>

namespace {

// Comment and other ignored lines have no count limit: past this size a file is refused as
// damaged rather than read for minutes.
constexpr uint64_t kMaxConfigBytes = 512ull * 1024 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

int digitValue(char c, int base) {
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d < base ? d : -1;
}

} // namespace

bool parseChannelValue(std::string_view s, int& value) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i < s.size() && (s[i] == 'x' || s[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == s.size())
        return false;
    const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        const int d = digitValue(s[i], base);
        if (d < 0)
            return false;
        v = v * base + d;
        if (v > limit)
            return false;
    }
    value = static_cast<int>(negative ? -v : v);
    return true;
}

void ConfigParser::fail(ConfigFailure why) {
    result_.valid = false;
    result_.failure = why;
    result_.failedLine = lineNo_;
}

void ConfigParser::line(std::string_view text) {
    ++lineNo_;
    if (!result_.valid)
        return;
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    // Notepad saves UTF-8 with a byte-order mark; it is never part of the first line's text.
    if (lineNo_ == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
        byteOrderMark_ = true;
    }
    if (text.size() > kMaxConfigLineBytes) {
        fail();
        return;
    }
    if (text.size() < 9 || text.front() == '/')
        return;
    if (text.substr(0, 7) == "Channel") {
        size_t p = 7;
        while (p < text.size() && isBlank(text[p]))
            ++p;
        int channel = 0;
        if (!parseChannelValue(text.substr(p), channel)) {
            fail();
            return;
        }
        result_.channel = channel;
        return;
    }
    if (text.size() >= 11 && text.front() == 'D') {
        if (result_.loggers.size() >= kMaxConfigLoggers) {
            fail();
            return;
        }
        size_t end = 0;
        while (end < text.size() && !isBlank(text[end]))
            ++end;
        if (end > kMaxLoggerNameBytes) {
            fail(ConfigFailure::NameTooLong);
            return;
        }
        size_t c = end;
        while (c < text.size() && isBlank(text[c]))
            ++c;
        result_.loggers.push_back({std::string(text.substr(0, end)), std::string(text.substr(c))});
    }
}

// Windows-1251 Cyrillic puts letters side by side that UTF-8 never allows there: a file whose
// every byte fits UTF-8, and some are not ASCII, was written as UTF-8.
void ConfigParser::scanUtf8(std::string_view chunk) {
    for (size_t i = 0; i < chunk.size() && utf8Valid_; ++i) {
        const auto c = static_cast<unsigned char>(chunk[i]);
        if (utf8Pending_ > 0) {
            if ((c & 0xC0) == 0x80) {
                --utf8Pending_;
                continue;
            }
            utf8Valid_ = false;
            break;
        }
        if (c < 0x80)
            continue;
        nonAscii_ = true;
        if (c >= 0xC2 && c <= 0xDF)
            utf8Pending_ = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            utf8Pending_ = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            utf8Pending_ = 3;
        else
            utf8Valid_ = false;
    }
}

void ConfigParser::feed(std::string_view chunk) {
    scanUtf8(chunk);
    while (!chunk.empty() && result_.valid) {
        const size_t nl = chunk.find('\n');
        if (nl == std::string_view::npos) {
            // A line without end so far: once it cannot fit any more (its CR, and on the first
            // line a byte-order mark, allowed for), it is judged at once instead of being held whole.
            const size_t room = kMaxConfigLineBytes + 1 + (lineNo_ == 0 ? 3 : 0);
            if (partial_.size() + chunk.size() > room) {
                partial_.clear();
                ++lineNo_;
                fail();
                return;
            }
            partial_.append(chunk);
            return;
        }
        if (partial_.empty()) {
            line(chunk.substr(0, nl));
        } else {
            partial_.append(chunk.substr(0, nl));
            line(partial_);
            partial_.clear();
        }
        chunk.remove_prefix(nl + 1);
    }
}

ConfigParseResult ConfigParser::finish() {
    if (!partial_.empty())
        line(partial_);
    partial_.clear();
    partial_.shrink_to_fit();
    ConfigParseResult out = std::move(result_);
    out.utf8 = byteOrderMark_ || (utf8Valid_ && utf8Pending_ == 0 && nonAscii_);
    result_ = ConfigParseResult();
    lineNo_ = 0;
    utf8Valid_ = true;
    nonAscii_ = byteOrderMark_ = false;
    utf8Pending_ = 0;
    return out;
}

ConfigParseResult parseConfig(std::string_view bytes) {
    ConfigParser parser;
    parser.feed(bytes);
    return parser.finish();
}

bool hasConfigExtension(std::string_view path) {
    if (path.size() < 4)
        return false;
    const std::string_view ext = path.substr(path.size() - 3);
    for (size_t i = 0; i < 3; ++i) {
        const char c = ext[i];
        const char l = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (l != "cfg"[i])
            return false;
    }
    return true;
}

void LoadConfiguration(const std::string& path, LoggerTable& table, IConfigHost& host,
                       ChannelLine channelLine) {
    if (!table.ResetTable(true))
        return;
    if (!hasConfigExtension(path)) {
        host.messages().error("Файл " + path + " не поддерживается");
        return;
    }
    fileio::InputFile in;
    if (in.open(path) != fileio::ReadStatus::Ok) {
        host.messages().error("Отказано в доступе к " + path);
        return;
    }
    ConfigParser parser;
    bool readError = false;
    uint64_t total = 0;
    std::string buf(256 * 1024, '\0');
    while (!parser.failed()) {
        const long long n = in.read(buf.data(), buf.size());
        if (n < 0) {
            readError = true;
            break;
        }
        if (n == 0)
            break;
        total += static_cast<uint64_t>(n);
        if (total > kMaxConfigBytes) {
            readError = true;
            break;
        }
        parser.feed(std::string_view(buf.data(), static_cast<size_t>(n)));
    }
    in.close();
    ConfigParseResult result = parser.finish();

    // The value read stays in the control even when a later line fails.
    if (result.channel)
        host.setModemChannel(*result.channel);

    const bool channelMissing = channelLine == ChannelLine::Required && !result.channel;
    if (!readError && result.valid && !result.loggers.empty() && !channelMissing) {
        host.setCaption("Kestrovane - " + fileio::fileNameOf(path));
        for (ConfigLogger& l : result.loggers) {
            // The core keeps Windows-1251, as the group is sent to the loggers and saved.
            if (result.utf8) {
                l.name = utf8ToCp1251(l.name);
                l.comment = utf8ToCp1251(l.comment);
            }
            table.appendLogger(std::move(l.name), std::move(l.comment));
        }
        table.AllocateTable();
        table.ConfigFileName = path;
        if (result.utf8)
            host.groupNotice(kUtf8GroupNotice);
        return;
    }
    host.setCaption("Kestrovane");
    table.ResetTable(false);
    if (!readError && result.failure == ConfigFailure::NameTooLong)
        host.messages().error("Файл " + path + " содержит имя логгера длиннее " +
                              std::to_string(kMaxLoggerNameBytes) + " символов (строка " +
                              std::to_string(result.failedLine) + ")");
    else if (!readError && result.valid && !result.loggers.empty())
        host.messages().error("Файл " + path + " не содержит строки Channel");
    else
        host.messages().error("Файл " + path + " не содержит записей или поврежден");
}
