#include "files/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

// Any text must come back unchanged, a written value must read back, and writing the same
// value twice must change nothing the second time.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    IniDocument doc(text);
    if (doc.text() != text)
        std::abort();
    std::string value;
    doc.lookup("Main", "Top", value);
    int n = 0;
    IniFile::parseInteger(value, n);

    doc.set("Settings", "Port", "33");
    const std::string after = doc.text();
    if (!IniDocument(after).lookup("settings", "PORT", value) || value != "33")
        std::abort();
    // Setting it again changes nothing.
    IniDocument again(after);
    again.set("SETTINGS", "port", "33");
    if (again.text() != after)
        std::abort();
    return 0;
}
