// The analyzer's packet reader against arbitrary streams cut into arbitrary ticks.
#include "engine/NoiseReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NoiseReader reader;
    std::vector<NoisePoint> points;
    size_t i = 0;
    TDateTime now = 45000.0;
    while (i < size) {
        // Each tick: a control byte, then that many bytes times 17 (so ticks reach the buffer size);
        // a control byte of 0 is a quiet tick, and 0xFF a new show.
        const uint8_t control = data[i++];
        if (control == 0xFF) {
            reader.resetPosition();
            continue;
        }
        const size_t want = static_cast<size_t>(control) * 17;
        const size_t n = want < size - i ? want : size - i;
        const size_t before = points.size();
        const TDateTime tickTime = now;
        reader.process(data + i, n, tickTime, points);
        i += n;
        now += 0.05 / 86400.0;
        const size_t added = points.size() - before;
        // A point needs at least four bytes, except for a packet finished from an earlier tick.
        if (added > n / 4 + 1)
            abort();
        for (size_t k = before; k < points.size(); ++k)
            if (points[k].level < -138.0 || points[k].level > -10.5 || points[k].time != tickTime)
                abort();
        if (!reader.resynchronising() && reader.packetPosition() != 0 &&
            (reader.packetPosition() >= reader.packetLength() || reader.packetLength() < 4 ||
             reader.packetLength() > 63))
            abort();
        if (reader.intervalMs() != (reader.resynchronising() ? 20 : 50))
            abort();
        if (points.size() > 100000)
            points.clear();
    }
    return 0;
}
