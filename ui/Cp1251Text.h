#pragma once
#include <QString>

#include <string_view>

// Logger names and comments stay Windows-1251 bytes in the core; this turns them into text for
// the window. The one byte the code page leaves undefined (0x98) becomes U+FFFD.
QString textFromCp1251(std::string_view bytes);
