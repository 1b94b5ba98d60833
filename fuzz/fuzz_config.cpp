#include "files/ConfigReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The parser must agree with itself however the bytes arrive, and never read out of bounds.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ConfigParseResult whole = parseConfig(bytes);
    ConfigParser chunked;
    const size_t step = size > 0 ? data[0] % 17 + 1 : 1;
    for (size_t i = 0; i < size; i += step)
        chunked.feed(bytes.substr(i, step));
    const ConfigParseResult r = chunked.finish();
    if (r.valid != whole.valid || r.failure != whole.failure || r.channel != whole.channel ||
        r.loggers.size() != whole.loggers.size())
        std::abort();
    for (size_t i = 0; i < r.loggers.size(); ++i) {
        const ConfigLogger& l = r.loggers[i];
        if (l.name != whole.loggers[i].name || l.comment != whole.loggers[i].comment)
            std::abort();
        if (l.name.empty() || l.name[0] != 'D' || l.name.size() > kMaxLoggerNameBytes ||
            l.name.find_first_of(" \t\n") != std::string::npos)
            std::abort();
    }
    return 0;
}
