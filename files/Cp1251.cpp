#include "files/Cp1251.h"

namespace cp1251 {
namespace {

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

int byteFor(char32_t c) {
    if (c < 0x80)
        return static_cast<int>(c);
    if (c >= 0x0410 && c <= 0x044F)
        return static_cast<int>(0xC0 + (c - 0x0410));
    if (c == 0xFFFD)
        return -1; // 0x98 is undefined: a replacement character has no byte of its own
    for (int i = 0; i < 64; ++i)
        if (kHigh[i] == c)
            return 0x80 + i;
    return -1;
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 for a malformed one.
size_t decodeOne(std::string_view s, size_t i, char32_t& c) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t len;
    char32_t min;
    if (b0 < 0x80) {
        c = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, min = 0x80, c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, min = 0x800, c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, min = 0x10000, c = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return len;
}

// Hands each well-formed character of UTF-8 text to take(), with its bytes, and each byte that
// starts no well-formed character to bad().
template <class Take, class Bad> void eachChar(std::string_view s, Take take, Bad bad) {
    size_t i = 0;
    while (i < s.size()) {
        char32_t c = 0;
        const size_t len = decodeOne(s, i, c);
        if (len == 0) {
            bad();
            ++i;
            continue;
        }
        take(c, s.substr(i, len));
        i += len;
    }
}

} // namespace

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char b : bytes)
        appendUtf8(out, codePoint(static_cast<unsigned char>(b)));
    return out;
}

std::string fromUtf8(std::string_view utf8, char replacement) {
    std::string out;
    out.reserve(utf8.size());
    eachChar(
        utf8,
        [&](char32_t c, std::string_view) {
            const int b = byteFor(c);
            out.push_back(b < 0 ? replacement : static_cast<char>(b));
        },
        [&] { out.push_back(replacement); });
    return out;
}

std::string validUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    eachChar(
        bytes, [&](char32_t, std::string_view sequence) { out.append(sequence); },
        [&] { out.append("\xEF\xBF\xBD"); });
    return out;
}

} // namespace cp1251
