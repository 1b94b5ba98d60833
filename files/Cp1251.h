#pragma once
#include <string>
#include <string_view>

// Windows-1251, the single-byte text of the group and measurement files. The core keeps those
// bytes as they are and converts only for display and for texts written from UTF-8 literals.
namespace cp1251 {

// 0x98, which the code page leaves undefined, becomes U+FFFD so that it shows as a replacement.
std::string toUtf8(std::string_view bytes);
// Characters without a Windows-1251 byte, and malformed UTF-8, become the replacement byte.
std::string fromUtf8(std::string_view utf8, char replacement = '?');

} // namespace cp1251

inline std::string cp1251ToUtf8(std::string_view bytes) {
    return cp1251::toUtf8(bytes);
}
inline std::string utf8ToCp1251(std::string_view utf8, char replacement = '?') {
    return cp1251::fromUtf8(utf8, replacement);
}
