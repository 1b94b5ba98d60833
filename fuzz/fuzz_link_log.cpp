#include "serial/LinkLog.h"
#include "sim/LinkReplay.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

// A link log from anywhere (a customer's mail, a cut file): the parser and the replay built on it
// must take any text; the bytes of every entry it finds come back from the same entry written anew.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<LinkLogEntry> entries = parseLinkLog(text);
    LinkReplay replay(entries);
    uint64_t now = 0;
    for (const LinkLogEntry& e : entries) {
        if (e.mark == LinkLog::kOut)
            replay.written(e.bytes.data(), e.bytes.size(), now);
        now += 10;
        replay.due(now);
    }
    replay.due(UINT64_MAX - 1);
    if (!replay.finished() && replay.nextDueMs() != UINT64_MAX)
        std::abort();
    return 0;
}
