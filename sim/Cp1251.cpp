#include "sim/Cp1251.h"

#include <cstdint>

namespace simtext {
namespace {

// Code points of 0x80..0xBF; 0x98 is unassigned (0).
const char32_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,      0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t codePoint(uint8_t b) {
    if (b < 0x80)
        return b;
    if (b >= 0xC0)
        return 0x0410 + (b - 0xC0);
    return kHigh[b - 0x80];
}

bool encodeOne(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return true;
    }
    if (cp >= 0x0410 && cp <= 0x044F) {
        out.push_back(static_cast<char>(0xC0 + (cp - 0x0410)));
        return true;
    }
    for (int i = 0; i < 64; ++i) {
        if (kHigh[i] != 0 && kHigh[i] == cp) {
            out.push_back(static_cast<char>(0x80 + i));
            return true;
        }
    }
    return false;
}

} // namespace

bool fromUtf8(std::string_view s, std::string& out) {
    out.clear();
    size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<uint8_t>(s[i]);
        char32_t cp = 0;
        size_t len = 0;
        if (b0 < 0x80) {
            cp = b0;
            len = 1;
        } else if ((b0 & 0xE0) == 0xC0) {
            cp = b0 & 0x1F;
            len = 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            cp = b0 & 0x0F;
            len = 3;
        } else if ((b0 & 0xF8) == 0xF0) {
            cp = b0 & 0x07;
            len = 4;
        } else {
            return false;
        }
        if (i + len > s.size())
            return false;
        for (size_t k = 1; k < len; ++k) {
            const auto b = static_cast<uint8_t>(s[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms would let two spellings of one name compare unequal.
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000))
            return false;
        if (!encodeOne(cp, out))
            return false;
        i += len;
    }
    return true;
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        char32_t cp = codePoint(static_cast<uint8_t>(c));
        if (cp == 0 && c != 0)
            cp = 0xFFFD;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace simtext
