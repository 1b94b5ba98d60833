#include "files/IniFile.h"

#include "files/FileIo.h"

#include <climits>
#include <cstdint>

namespace {

// A settings file is a few hundred bytes; anything past this is not ours to load into memory.
constexpr uint64_t kMaxIniBytes = 64ull * 1024 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// The name of a section header line, or false when the line is no header.
bool headerName(std::string_view line, std::string_view& name) {
    const std::string_view t = trim(line);
    if (t.empty() || t.front() != '[')
        return false;
    const size_t close = t.find(']');
    name = trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return true;
}

// Key and value of a key line; comment lines (";") and lines without "=" are none.
bool keyLine(std::string_view line, std::string_view& key, size_t& valueStart) {
    const std::string_view t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[')
        return false;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = trim(line.substr(0, eq));
    if (key.empty())
        return false;
    valueStart = eq + 1;
    return true;
}

std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// A value or name must not carry a line end: it would split its line and inject another key.
std::string oneLine(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

IniDocument::IniDocument(std::string_view text) {
    size_t pos = 0;
    bool sawEol = false;
    while (pos < text.size()) {
        const size_t nl = text.find('\n', pos);
        Line line;
        if (nl == std::string_view::npos) {
            line.text.assign(text.substr(pos));
            pos = text.size();
        } else {
            size_t end = nl;
            if (end > pos && text[end - 1] == '\r') {
                --end;
                line.eol = "\r\n";
            } else {
                line.eol = "\n";
            }
            if (!sawEol) {
                newline_ = line.eol; // new lines follow the file's own convention
                sawEol = true;
            }
            line.text.assign(text.substr(pos, end - pos));
            pos = nl + 1;
        }
        lines_.push_back(std::move(line));
    }
}

size_t IniDocument::findSection(std::string_view section) const {
    std::string_view name;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (headerName(lines_[i].text, name) && sameName(name, section))
            return i;
    return std::string::npos;
}

size_t IniDocument::findKey(size_t header, std::string_view key) const {
    std::string_view name, k;
    size_t vs = 0;
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        if (headerName(lines_[i].text, name))
            break;
        if (keyLine(lines_[i].text, k, vs) && sameName(k, key))
            return i;
    }
    return std::string::npos;
}

// Where a new key goes: after the section's last non-blank line, so the blank line that
// separates it from the next section stays where it is.
size_t IniDocument::sectionEnd(size_t header) const {
    size_t last = header;
    std::string_view name;
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        if (headerName(lines_[i].text, name))
            break;
        if (!trim(lines_[i].text).empty())
            last = i;
    }
    return last + 1;
}

bool IniDocument::lookup(std::string_view section, std::string_view key, std::string& value) const {
    const size_t h = findSection(section);
    if (h == std::string::npos)
        return false;
    const size_t k = findKey(h, key);
    if (k == std::string::npos)
        return false;
    std::string_view name;
    size_t vs = 0;
    keyLine(lines_[k].text, name, vs);
    value.assign(unquote(trim(std::string_view(lines_[k].text).substr(vs))));
    return true;
}

void IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string sec = oneLine(section);
    const std::string k = oneLine(key);
    const std::string v = oneLine(value);
    size_t h = findSection(sec);
    if (h == std::string::npos) {
        if (!lines_.empty()) {
            if (lines_.back().eol.empty())
                lines_.back().eol = newline_;
            if (!trim(lines_.back().text).empty())
                lines_.push_back({std::string(), newline_});
        }
        lines_.push_back({"[" + sec + "]", newline_});
        lines_.push_back({k + "=" + v, newline_});
        return;
    }
    const size_t at = findKey(h, k);
    if (at != std::string::npos) {
        // Only the value changes: the key's spelling and the blanks before the value stay.
        std::string& text = lines_[at].text;
        size_t vs = text.find('=') + 1;
        while (vs < text.size() && isBlank(text[vs]))
            ++vs;
        text.erase(vs);
        text += v;
        return;
    }
    const size_t pos = sectionEnd(h);
    if (lines_[pos - 1].eol.empty())
        lines_[pos - 1].eol = newline_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(pos), Line{k + "=" + v, newline_});
}

std::string IniDocument::text() const {
    size_t n = 0;
    for (const Line& l : lines_)
        n += l.text.size() + l.eol.size();
    std::string out;
    out.reserve(n);
    for (const Line& l : lines_) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

bool IniFile::parseInteger(std::string_view text, int& out) {
    std::string_view s = trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return false;
    const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
    int64_t v = 0;
    for (char c : s) {
        const int d = base == 16 ? hexDigit(c) : ((c >= '0' && c <= '9') ? c - '0' : -1);
        if (d < 0)
            return false;
        v = v * base + d;
        if (v > limit)
            return false;
    }
    out = static_cast<int>(negative ? -v : v);
    return true;
}

namespace {
bool loadDocument(const std::string& path, std::string& text) {
    return fileio::readWholeFile(path, text, kMaxIniBytes) == fileio::ReadStatus::Ok;
}
} // namespace

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view def) const {
    std::string text;
    if (!loadDocument(path_, text))
        return std::string(def);
    std::string value;
    if (!IniDocument(text).lookup(section, key, value))
        return std::string(def);
    return value;
}

int IniFile::readInteger(std::string_view section, std::string_view key, int def) const {
    std::string text;
    if (!loadDocument(path_, text))
        return def;
    std::string value;
    int v = 0;
    if (!IniDocument(text).lookup(section, key, value) || !parseInteger(value, v))
        return def;
    return v;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    std::string text;
    const fileio::ReadStatus st = fileio::readWholeFile(path_, text, kMaxIniBytes);
    if (st != fileio::ReadStatus::Ok) {
        // Only a file that is not there may start empty; one we cannot read must not be replaced.
        if (st != fileio::ReadStatus::CannotOpen || fileio::exists(path_))
            return false;
        text.clear();
    }
    IniDocument doc(text);
    doc.set(section, key, value);
    const std::string out = doc.text();

    fileio::AtomicFile file;
    if (file.open(path_) != fileio::AtomicFile::OpenStatus::Ok)
        return false;
    if (!file.write(out.data(), out.size()))
        return false;
    return file.commit();
}

bool IniFile::writeInteger(std::string_view section, std::string_view key, int value) {
    return writeString(section, key, std::to_string(value));
}

bool IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    return writeString(section, key, value ? "1" : "0");
}
