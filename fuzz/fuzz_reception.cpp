// The reception tick and the step machine fed any byte stream in any split over ticks, mixed
// with a real logger's replies: no crash, no unbounded reply, no record that is not the
// logger's own but bytes that passed every check, and a task that stops cleanly.
#include "tests/engine/EngineTestSupport.h"

#include <cmath>
#include <cstdlib>
#include <set>

using namespace enginetest;

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (n == 0)
            return 0;
        --n;
        return *p++;
    }
    Bytes chunk(size_t len) {
        len = std::min(len, n);
        Bytes b(p, p + len);
        p += len;
        n -= len;
        return b;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    const uint8_t setup = in.byte();
    Harness h;
    h.addLoggers({"D0042"});
    h.host.blockPosition = setup & 3;
    h.host.attempts[1] = false;
    TestLogger l{"D0042"};
    l.status.codes.assign(static_cast<size_t>(1 + (setup >> 2) % 8), 7);
    l.records = makeRecords(h.clock.now(), 40, 3, static_cast<int>(l.status.codes.size()));
    std::set<int64_t> own;
    for (const Bytes& r : l.records) {
        TDateTime t = 0;
        if (LoggerDateTime(r.data(), r.data() + 3, 2026, t))
            own.insert(dt::toSeconds(t));
    }
    // Each request's reply is kept, replaced or followed by fuzz bytes, as the input says.
    l.spoil = [&](const std::string&, Bytes& framed) {
        const uint8_t how = in.byte();
        Bytes extra = in.chunk(in.byte());
        switch (how % 4) {
        case 0:
            return true;
        case 1:
            framed = extra;
            return true;
        case 2:
            framed.insert(framed.end(), extra.begin(), extra.end());
            return true;
        default:
            if (!framed.empty())
                framed[in.byte() % framed.size()] ^= static_cast<uint8_t>(1u << (how % 8));
            return true;
        }
    };
    h.attach(l);
    if (!h.start(static_cast<TTaskKind>((setup >> 5) % 6)))
        std::abort();

    // Loose bytes between replies, in any split over the ticks.
    while (in.n > 0 && h.engine.running()) {
        const uint8_t ticks = in.byte();
        h.os.feed(in.chunk(in.byte() % 64), ticks % 8 * 10);
        for (int i = 0; i < 1 + ticks % 8; ++i) {
            h.step();
            if (h.engine.replySize() > maxStatusLength(5) + 4096 + TaskEngine::kMaxPacketPayload)
                std::abort();
        }
    }
    h.run(2 * 60 * 1000);
    if (h.engine.running()) {
        h.host.switchTasksOff(); // the user's switch
        if (h.engine.running() || h.driver.receiving() || h.driver.limitArmed())
            std::abort();
    }
    if (!h.table.invariantsHold())
        std::abort();
    // Records other than the logger's own can only be bytes that passed every check by chance.
    for (TDateTime t : h.table.loggers[0].RecordTimes) {
        if (own.count(dt::toSeconds(t)))
            continue;
        const int year = dt::decode(t).year;
        if (!std::isfinite(t) || year < 2000 || year > 2099)
            std::abort();
    }
    return 0;
}
