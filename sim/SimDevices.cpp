#include "sim/SimDevices.h"

#include <algorithm>
#include <cmath>

namespace {

// Noise older than this would long have overflowed any input queue; a clock that jumps ahead
// further does not make the modem replay it.
constexpr uint64_t kNoiseBacklogUs = 10'000'000;
// Likewise the input queue itself; the oldest bytes are lost first, as in an overrun.
constexpr size_t kRxLimit = 1 << 20;

uint64_t seedFor(uint64_t seed, uint64_t stream) {
    SimRandom mix(seed ^ (stream * 0xD1B54A32D192ED03ull));
    return mix.next();
}

} // namespace

uint8_t SimDevices::strengthByte(double levelDbm) {
    // Inverse of s / 2 - 74 with s a signed byte.
    const double s = std::clamp(std::nearbyint((levelDbm + 74.0) * 2.0), -128.0, 127.0);
    return static_cast<uint8_t>(static_cast<int8_t>(s));
}

SimDevices::SimDevices(const Scenario& sc, IClock& clock)
    : clock_(clock), id_(sc.modem.id), ports_(sc.modem.ports), channel_(sc.modem.channel),
      reportOnlyWithDtr_(sc.modem.reportOnlyWithDtr), noiseRate_(sc.modem.noiseRate),
      noiseLevel_(sc.modem.noiseLevelDbm), noiseJitter_(sc.modem.noiseJitterDb),
      noiseRng_(seedFor(sc.seed, 0)) {
    lastTick_ = clock_.tickCount();
    const TDateTime now = clock_.now();
    slots_.reserve(sc.loggers.size());
    for (size_t i = 0; i < sc.loggers.size(); ++i) {
        const ScenarioLogger& c = sc.loggers[i];
        Slot s{SimLogger(c, now), c.faults, SimRandom(seedFor(sc.seed, i + 1)),
               SimRandom(seedFor(sc.seed, i + 1) ^ 0x6C696E6B)};
        s.seq =
            c.firstSequence >= 0 ? static_cast<uint8_t>(c.firstSequence) : static_cast<uint8_t>(s.rng.next());
        s.levelDbm = c.levelDbm;
        s.jitterDb = c.levelJitterDb;
        s.replyDelayMs = c.replyDelayMs;
        s.packetGapMs = c.packetGapMs;
        slots_.push_back(std::move(s));
    }
}

uint64_t SimDevices::nowUs() {
    const uint32_t t = clock_.tickCount();
    nowUs_ += uint64_t(uint32_t(t - lastTick_)) * 1000;
    lastTick_ = t;
    return nowUs_;
}

bool SimDevices::reporting() const {
    return mode_ == Mode::Reporting && noiseRate_ > 0 && (dtr_ || !reportOnlyWithDtr_) && lineUsable_;
}

uint64_t SimDevices::noiseIntervalUs() {
    // Intervals vary between half and one and a half of the mean, so reports do not beat with ticks.
    const double mean = 1e6 / noiseRate_;
    return std::max<uint64_t>(1, static_cast<uint64_t>(mean * (0.5 + noiseRng_.unit())));
}

void SimDevices::reportingMaybeChanged(bool was) {
    const bool is = reporting();
    if (is && !was)
        nextNoiseUs_ = nowUs_ + noiseIntervalUs();
    else if (!is)
        nextNoiseUs_ = UINT64_MAX;
}

void SimDevices::schedule(uint64_t readyUs, std::vector<uint8_t> bytes, int channel) {
    pending_.push_back(Pending{readyUs, order_++, std::move(bytes), channel});
}

void SimDevices::pump() {
    const uint64_t now = nowUs();
    // Every state change calls pump first, so the modem's state held over the whole interval.
    if (nextNoiseUs_ != UINT64_MAX) {
        if (now > kNoiseBacklogUs && nextNoiseUs_ < now - kNoiseBacklogUs)
            nextNoiseUs_ = now - kNoiseBacklogUs;
        while (nextNoiseUs_ <= now) {
            const double level = noiseLevel_ + noiseJitter_ * (2 * noiseRng_.unit() - 1);
            schedule(nextNoiseUs_, {0x03, noiseSeq_++, strengthByte(level), 0x80}, -1);
            nextNoiseUs_ += noiseIntervalUs();
        }
    }
    if (!pending_.empty()) {
        std::stable_sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) {
            return a.readyUs != b.readyUs ? a.readyUs < b.readyUs : a.order < b.order;
        });
        size_t done = 0;
        for (; done < pending_.size() && pending_[done].readyUs <= now; ++done) {
            Pending& p = pending_[done];
            if (p.channel >= 0 && p.channel != channel_)
                continue; // the modem has moved on; the packet is lost on air
            const uint64_t start = std::max(p.readyUs, lineFreeUs_);
            lineFreeUs_ = start + lineTimeUs(p.bytes.size());
            line_.push_back(Chunk{start, std::move(p.bytes), p.channel < 0});
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done));
    }
    while (!line_.empty()) {
        Chunk& c = line_.front();
        if (now < c.startUs)
            break;
        const uint64_t arrived =
            std::min<uint64_t>(c.bytes.size(), (now - c.startUs) * kBitRate / (kBitsPerByte * 1000000ull));
        rx_.insert(rx_.end(), c.bytes.begin() + static_cast<std::ptrdiff_t>(c.moved),
                   c.bytes.begin() + static_cast<std::ptrdiff_t>(arrived));
        c.moved = arrived;
        if (c.moved < c.bytes.size())
            break;
        line_.pop_front();
    }
    if (rx_.size() > kRxLimit)
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(rx_.size() - kRxLimit));
}

void SimDevices::command(const uint8_t* data, size_t size) {
    pump();
    if (!lineUsable_)
        return;
    const bool was = reporting();
    const uint64_t endUs = nowUs_ + lineTimeUs(size);
    size_t i = 0;
    // A write normally holds one command; several back to back are taken in turn.
    while (i + 2 <= size && data[i] == '#') {
        const uint8_t letter = data[i + 1];
        const size_t left = size - i - 2;
        const uint8_t* p = data + i + 2;
        if (letter == '?') {
            std::vector<uint8_t> reply{'?'};
            reply.insert(reply.end(), id_.begin(), id_.end());
            schedule(endUs, std::move(reply), -1);
            mode_ = Mode::Idle;
            i += 2;
        } else if (letter == 'C' && left >= 1) {
            channel_ = p[0];
            i += 3;
        } else if (letter == 'T' && left >= 3) {
            if (p[0] == 0x02 && p[1] == 0x00 && p[2] == 0x12)
                mode_ = Mode::Task;
            else if (p[0] == 0x01 && p[1] == 0x00 && p[2] == 0x32)
                mode_ = Mode::Reporting;
            else
                mode_ = Mode::Idle;
            i += 5;
        } else if (letter == 'P' && left >= 1) {
            if (p[0] == 0xC0)
                powerDbm_ = 10;
            else if (p[0] == 0x60)
                powerDbm_ = 0;
            else if (p[0] == 0x6E)
                powerDbm_ = -10;
            i += 3;
        } else {
            break;
        }
    }
    reportingMaybeChanged(was);
}

void SimDevices::setDtr(bool on) {
    pump();
    const bool was = reporting();
    dtr_ = on;
    reportingMaybeChanged(was);
}

void SimDevices::setLineUsable(bool usable) {
    pump();
    const bool was = reporting();
    lineUsable_ = usable;
    reportingMaybeChanged(was);
}

void SimDevices::air(const uint8_t* data, size_t size) {
    pump();
    if (!lineUsable_ || size == 0)
        return;
    const uint64_t endUs = nowUs_ + lineTimeUs(size);
    AirEvent ev{nowUs_, std::vector<uint8_t>(data, data + size), {}};
    const TDateTime now = clock_.now();
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& s = slots_[i];
        const std::string& name = s.logger.name();
        if (size != name.size() + 7 || !std::equal(name.begin(), name.end(), data))
            continue;
        if (s.logger.channel() != channel_ || powerDbm_ < s.logger.needPowerDbm())
            continue;
        ++s.requests;
        const int replyChannel = s.logger.channel();
        auto reply = s.logger.handle(ev.request, now);
        if (!reply)
            continue;
        const ScenarioFaults& f = s.faults;
        const bool silent =
            f.silent || s.requests <= f.silentFirst ||
            std::find(f.silentRequests.begin(), f.silentRequests.end(), s.requests) != f.silentRequests.end();
        if (silent)
            continue;
        answer(s, i, std::move(*reply), replyChannel, endUs);
        ev.answeredBy.push_back(i);
    }
    airLog_.push_back(std::move(ev));
}

void SimDevices::answer(Slot& s, size_t, LoggerReply reply, int replyChannel, uint64_t requestEndUs) {
    const ScenarioFaults& f = s.faults;
    // Draws are made in a fixed order whatever the fractions, so changing one fault leaves the
    // others where they were.
    const bool slow = s.rng.chance(f.slowFraction) || std::find(f.slowRequests.begin(), f.slowRequests.end(),
                                                                s.requests) != f.slowRequests.end();
    const double uTruncate = s.rng.unit();
    const double uGap = s.rng.unit();
    const uint32_t truncateDraw = static_cast<uint32_t>(s.rng.next());
    const uint32_t gapDraw = static_cast<uint32_t>(s.rng.next());
    const double level = s.levelDbm + s.jitterDb * (2 * s.rng.unit() - 1);

    if (reply.isBlock && reply.recordLength > 0) {
        for (size_t r = 0; r + reply.recordLength <= reply.data.size(); r += reply.recordLength)
            if (s.rng.chance(f.badRecordCrc))
                reply.data[r + reply.recordLength - 1] ^= 0x5A;
    }

    std::vector<std::vector<uint8_t>> payloads;
    payloads.emplace_back(reply.text.begin(), reply.text.end());
    for (size_t i = 0; i < reply.data.size(); i += kMaxPayload)
        payloads.emplace_back(reply.data.begin() + static_cast<std::ptrdiff_t>(i),
                              reply.data.begin() +
                                  static_cast<std::ptrdiff_t>(std::min(i + kMaxPayload, reply.data.size())));

    const bool gap = uGap < f.sequenceGap;
    const size_t gapAt = gap ? gapDraw % payloads.size() : SIZE_MAX;
    const uint8_t strength = strengthByte(level);
    std::vector<std::vector<uint8_t>> packets;
    for (size_t k = 0; k < payloads.size(); ++k) {
        if (k == gapAt)
            ++s.seq;
        std::vector<uint8_t> pk;
        pk.push_back(static_cast<uint8_t>(payloads[k].size() + 3));
        pk.push_back(s.seq++);
        pk.insert(pk.end(), payloads[k].begin(), payloads[k].end());
        pk.push_back(strength);
        pk.push_back(0x80);
        if (s.rng.chance(f.statusBitClear))
            pk.back() = 0x40;
        const bool damage = s.rng.chance(f.damage);
        const uint32_t where = s.rng.below(static_cast<uint32_t>(pk.size()));
        const uint32_t bit = s.rng.below(8);
        if (damage)
            pk[where] ^= static_cast<uint8_t>(1u << bit);
        if (s.linkRng.chance(f.spoiledPacket)) {
            pk.back() = 0x00;
            for (size_t b = 2; b + 2 < pk.size(); ++b)
                pk[b] = static_cast<uint8_t>(s.linkRng.next());
        }
        if (s.linkRng.chance(f.lostPacket))
            continue;
        packets.push_back(std::move(pk));
    }
    if (uTruncate < f.truncate) {
        size_t total = 0;
        for (const auto& p : packets)
            total += p.size();
        size_t keep = total > 1 ? 1 + truncateDraw % (total - 1) : total;
        for (auto& p : packets) {
            const size_t n = std::min(keep, p.size());
            p.resize(n);
            keep -= n;
        }
        while (!packets.empty() && packets.back().empty())
            packets.pop_back();
    }
    const uint64_t readyUs =
        requestEndUs + uint64_t(s.replyDelayMs) * 1000 + (slow ? uint64_t(f.slowMs) * 1000 : 0);
    for (size_t k = 0; k < packets.size(); ++k)
        schedule(readyUs + k * uint64_t(s.packetGapMs) * 1000, std::move(packets[k]), replyChannel);
}

size_t SimDevices::available() {
    pump();
    return rx_.size();
}

size_t SimDevices::read(uint8_t* buffer, size_t count) {
    pump();
    const size_t n = std::min(count, rx_.size());
    std::copy_n(rx_.begin(), n, buffer);
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

void SimDevices::dropArrived() {
    pump();
    rx_.clear();
}

void SimDevices::dropArrivedAndOwnReports() {
    dropArrived();
    // A report cut short would leave its tail in front of the next reply.
    line_.erase(std::remove_if(line_.begin(), line_.end(), [](const Chunk& c) { return c.own; }),
                line_.end());
    pending_.erase(
        std::remove_if(pending_.begin(), pending_.end(), [](const Pending& p) { return p.channel < 0; }),
        pending_.end());
}

uint64_t SimDevices::nextArrivalUs() {
    pump();
    uint64_t next = nextNoiseUs_;
    if (!line_.empty()) {
        const Chunk& c = line_.front();
        next = std::min(next, c.startUs + lineTimeUs(c.moved + 1));
    }
    for (const Pending& p : pending_)
        next = std::min(next, std::max(p.readyUs, lineFreeUs_) + lineTimeUs(1));
    return next;
}
