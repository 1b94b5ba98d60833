#pragma once
#include <string>
#include <string_view>

// Logger names travel as Windows-1251 bytes; scenarios are UTF-8 JSON.
namespace simtext {
// False when the text is not valid UTF-8 or holds a character Windows-1251 lacks.
bool fromUtf8(std::string_view utf8, std::string& out);
std::string toUtf8(std::string_view bytes);
} // namespace simtext
