#pragma once
#include <string>
#include <string_view>

// Logger names travel as Windows-1251 bytes; scenarios are UTF-8 JSON.
// Not files/Cp1251, on purpose: a stand-in for devices outside the program checks it with its own code.
namespace simtext {
// False when the text is not valid UTF-8 or holds a character Windows-1251 lacks.
bool fromUtf8(std::string_view utf8, std::string& out);
std::string toUtf8(std::string_view bytes);
} // namespace simtext
