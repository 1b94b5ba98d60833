#include "serial/LinkLog.h"

#include "platform/Clock.h"
#include "platform/DateTime.h"

#include <cstdio>
#include <filesystem>

namespace {

constexpr size_t kTimeWidth = 9;

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int hexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// "   12345 > " or, for a continuation, the same width of spaces before the mark.
std::string prefix(const std::string& time, char mark) {
    std::string p(kTimeWidth > time.size() ? kTimeWidth - time.size() : 0, ' ');
    return p + time + ' ' + mark + ' ';
}

} // namespace

bool LinkLog::open(const std::string& path) {
    close();
    const std::u8string p8(path.begin(), path.end());
    file_.open(std::filesystem::path(p8), std::ios::binary | std::ios::app);
    if (!file_)
        return false;
    path_ = path;
    open_ = true;
    startTick_ = clock_.tickCount();
    const DateTimeParts t = dt::decode(clock_.now());
    char head[96];
    std::snprintf(head, sizeof head,
                  "# Kestrovane: журнал связи с %04d-%02d-%02d %02d:%02d:%02d, время в мс\n", t.year, t.month,
                  t.day, t.hour, t.minute, t.second);
    write(head);
    return static_cast<bool>(file_);
}

void LinkLog::openInMemory() {
    close();
    inMemory_ = true;
    open_ = true;
    startTick_ = clock_.tickCount();
    memory_.clear();
}

void LinkLog::close() {
    if (file_.is_open())
        file_.close();
    open_ = false;
    inMemory_ = false;
}

uint32_t LinkLog::elapsedMs() const {
    return clock_.tickCount() - startTick_;
}

void LinkLog::write(const std::string& line) {
    if (inMemory_) {
        memory_ += line;
        return;
    }
    // Flushed line by line: the log is wanted most after a run that did not end well.
    file_ << line;
    file_.flush();
}

void LinkLog::put(char mark, const std::string& payload) {
    if (!open_)
        return;
    std::string text = payload;
    // One entry is one line, whatever the text holds.
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    write(prefix(std::to_string(elapsedMs()), mark) + text + "\n");
}

void LinkLog::bytes(char mark, const uint8_t* data, size_t size) {
    if (!open_ || size == 0)
        return;
    std::string out;
    const std::string time = std::to_string(elapsedMs());
    for (size_t at = 0; at < size; at += kBytesPerLine) {
        const size_t n = std::min(kBytesPerLine, size - at);
        std::string hex, chars;
        for (size_t i = 0; i < n; ++i) {
            char b[4];
            std::snprintf(b, sizeof b, "%02X ", data[at + i]);
            hex += b;
            const uint8_t c = data[at + i];
            chars += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
        }
        hex.resize(kBytesPerLine * 3, ' ');
        out += prefix(at == 0 ? time : std::string(), mark) + hex + " |" + chars + "|\n";
    }
    write(out);
}

std::vector<LinkLogEntry> parseLinkLog(std::string_view text) {
    std::vector<LinkLogEntry> out;
    bool continuable = false; // the last line was bytes that a line without time may continue
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        size_t p = 0;
        while (p < line.size() && line[p] == ' ')
            ++p;
        uint64_t ms = 0;
        const size_t digits = p;
        while (p < line.size() && line[p] >= '0' && line[p] <= '9' && p - digits < 10)
            ms = ms * 10 + static_cast<uint64_t>(line[p++] - '0');
        const bool timed = p > digits;
        // "<ms> <mark> ..." or, continuing bytes, spaces and then the mark.
        if (timed && (p + 1 >= line.size() || line[p] != ' ' || ms > UINT32_MAX)) {
            continuable = false;
            continue;
        }
        if (timed)
            ++p;
        if (p >= line.size()) {
            continuable = false;
            continue;
        }
        const char mark = line[p];
        const bool isBytes = mark == LinkLog::kOut || mark == LinkLog::kIn;
        if (!isBytes && mark != LinkLog::kPort && mark != LinkLog::kEvent) {
            continuable = false;
            continue;
        }
        if (!timed && !(isBytes && continuable && out.back().mark == mark)) {
            continuable = false;
            continue;
        }
        std::string_view rest = p + 1 < line.size() ? line.substr(p + 1) : std::string_view();
        if (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        if (!isBytes) {
            out.push_back({static_cast<uint32_t>(ms), mark, {}, std::string(rest)});
            continuable = false;
            continue;
        }
        std::vector<uint8_t> bytes;
        size_t q = 0;
        while (q + 1 < rest.size() && isHex(rest[q]) && isHex(rest[q + 1]) &&
               (q + 2 == rest.size() || rest[q + 2] == ' ')) {
            bytes.push_back(static_cast<uint8_t>(hexValue(rest[q]) * 16 + hexValue(rest[q + 1])));
            q += 3;
        }
        if (timed)
            out.push_back({static_cast<uint32_t>(ms), mark, std::move(bytes), {}});
        else
            out.back().bytes.insert(out.back().bytes.end(), bytes.begin(), bytes.end());
        continuable = true;
    }
    return out;
}
