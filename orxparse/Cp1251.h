#pragma once
#include <string>
#include <string_view>

namespace orx {

// Names and comments in a measurement file are Windows-1251 bytes; the viewer's window and its CSV
// output want UTF-8. The one byte the code page leaves undefined (0x98) becomes U+FFFD.
std::string cp1251ToUtf8(std::string_view bytes);
// Text that should already be UTF-8 but comes from a file: every invalid sequence becomes U+FFFD.
std::string validUtf8(std::string_view bytes);
// A logger's name or comment as text, whichever encoding its name line was found in.
inline std::string loggerText(std::string_view bytes, bool isUtf8) {
    return isUtf8 ? validUtf8(bytes) : cp1251ToUtf8(bytes);
}

} // namespace orx
