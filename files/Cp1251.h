#pragma once
#include <string>
#include <string_view>

// Windows-1251, the single-byte text of the group and measurement files. The core keeps those
// bytes as they are and converts only for display and for texts written from UTF-8 literals.
// The program, its tools and the viewer all convert through this one table.
namespace cp1251 {

// Code points of the bytes 0x80...0xBF; 0xC0...0xFF are U+0410...U+044F in order. 0x98, which
// the code page leaves undefined, is U+FFFD so that it shows as a replacement.
inline constexpr char16_t kHigh[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

// Inline, for callers that fill their own string type a character at a time.
inline char16_t codePoint(unsigned char b) {
    if (b < 0x80)
        return b;
    if (b >= 0xC0)
        return static_cast<char16_t>(0x0410 + (b - 0xC0));
    return kHigh[b - 0x80];
}

std::string toUtf8(std::string_view bytes);
// Characters without a Windows-1251 byte, and malformed UTF-8, become the replacement byte.
std::string fromUtf8(std::string_view utf8, char replacement = '?');
// Text that should already be UTF-8 but comes from a file (an editor re-saved it): every invalid
// sequence becomes U+FFFD.
std::string validUtf8(std::string_view bytes);

} // namespace cp1251

inline std::string cp1251ToUtf8(std::string_view bytes) {
    return cp1251::toUtf8(bytes);
}
inline std::string utf8ToCp1251(std::string_view utf8, char replacement = '?') {
    return cp1251::fromUtf8(utf8, replacement);
}
