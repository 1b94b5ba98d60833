#include "sim/SimLogger.h"

#include "engine/Crc8.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;

void put16(std::vector<uint8_t>& out, int value) {
    const auto v = static_cast<uint16_t>(value);
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v & 0xFF));
}

void stampOf(int64_t seconds, uint8_t (&out)[6]) {
    const DateTimeParts p = dt::decode(dt::fromSeconds(seconds));
    const int v[6] = {p.day, p.month, ((p.year % 100) + 100) % 100, p.hour, p.minute, p.second};
    for (int i = 0; i < 6; ++i)
        out[i] = static_cast<uint8_t>(v[i]);
}

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

bool tailIs(const std::vector<uint8_t>& req, size_t from, const char* text) {
    const size_t n = std::strlen(text);
    return req.size() == from + n && std::memcmp(req.data() + from, text, n) == 0;
}

} // namespace

SimLogger::SimLogger(const ScenarioLogger& c, TDateTime computerNow)
    : name_(c.name), channel_(c.channel), needPowerDbm_(c.needPowerDbm), stringType_(c.stringType),
      serial_(c.serial), sensorCodes_(c.sensorCodes), error_(c.error), battery_(c.battery),
      clockOffsetSec_(c.clockOffsetSec), advance_(c.advance), period_(c.period),
      memory_(static_cast<size_t>(c.memory)), measuring_(c.measuring), formula_(c.generate) {
    for (const ScenarioRecord& r : c.records) {
        SimRecord s;
        std::memcpy(s.stamp, r.stamp, 6);
        s.voltage = r.voltage;
        s.readings = r.readings;
        records_.push_back(std::move(s));
    }
    const int64_t now = clockSeconds(computerNow);
    lastBoundary_ = boundary(now);
    for (int i = formula_.count - 1; i >= 0; --i)
        records_.push_back(makeRecord(lastBoundary_ - int64_t(i) * periodSeconds()));
}

int64_t SimLogger::clockSeconds(TDateTime computerNow) const {
    return dt::toSeconds(computerNow) + clockOffsetSec_;
}

int64_t SimLogger::boundary(int64_t s) const {
    return floorDiv(s, periodSeconds()) * periodSeconds();
}

SimRecord SimLogger::makeRecord(int64_t s) const {
    SimRecord r;
    stampOf(s, r.stamp);
    r.voltage = static_cast<int16_t>(formula_.voltage);
    const double dayPhase = 2 * kPi * static_cast<double>(((s % 86400) + 86400) % 86400) / 86400.0;
    for (size_t k = 0; k < sensorCodes_.size(); ++k) {
        const double v =
            formula_.base + formula_.sensorStep * static_cast<double>(k) +
            std::nearbyint(formula_.amplitude * std::sin(dayPhase + 0.5 * static_cast<double>(k)));
        r.readings.push_back(static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)));
    }
    return r;
}

void SimLogger::addRecord(SimRecord r) {
    // A full memory drops its oldest record, as a ring buffer would.
    while (records_.size() >= memory_)
        records_.pop_front();
    records_.push_back(std::move(r));
}

void SimLogger::catchUp(TDateTime computerNow) {
    const int64_t b = boundary(clockSeconds(computerNow));
    if (b > lastBoundary_ && measuring_) {
        const int64_t p = periodSeconds();
        const int64_t steps = (b - lastBoundary_) / p;
        // Only the last `memory` of a long absence could still be held.
        const int64_t first = std::max<int64_t>(1, steps - static_cast<int64_t>(memory_) + 1);
        for (int64_t k = first; k <= steps; ++k)
            addRecord(makeRecord(lastBoundary_ + k * p));
    }
    lastBoundary_ = b;
}

std::vector<uint8_t> SimLogger::statusBytesFor(const std::string& name, int stringType, int serial,
                                               const std::vector<int16_t>& codes, int error, int battery,
                                               const uint8_t clock[6], int advance, int period, int count) {
    std::vector<uint8_t> out(name.begin(), name.end());
    out.push_back(static_cast<uint8_t>(stringType));
    put16(out, serial);
    out.push_back(static_cast<uint8_t>(codes.size()));
    for (int16_t c : codes)
        put16(out, c);
    out.push_back(0); // reserved
    out.push_back(crc8::compute(out.data(), out.size()));
    out.push_back(static_cast<uint8_t>(error));
    put16(out, battery);
    out.insert(out.end(), clock, clock + 6);
    put16(out, advance);
    out.push_back(static_cast<uint8_t>(period));
    put16(out, std::min(count, 65535));
    return out;
}

std::vector<uint8_t> SimLogger::recordBytesFor(const SimRecord& r) {
    std::vector<uint8_t> out(r.stamp, r.stamp + 6);
    put16(out, r.voltage);
    for (int16_t v : r.readings)
        put16(out, v);
    out.push_back(0); // reserved
    out.push_back(crc8::compute(out.data(), out.size()));
    return out;
}

std::vector<uint8_t> SimLogger::statusBytes(TDateTime computerNow) const {
    uint8_t clock[6];
    stampOf(clockSeconds(computerNow), clock);
    return statusBytesFor(name_, stringType_, serial_, sensorCodes_, error_, battery_, clock, advance_,
                          period_, static_cast<int>(records_.size()));
}

std::vector<uint8_t> SimLogger::recordBytes(const SimRecord& r) const {
    return recordBytesFor(r);
}

std::optional<LoggerReply> SimLogger::handle(const std::vector<uint8_t>& req, TDateTime computerNow) {
    const size_t L = name_.size();
    if (req.size() != L + 7 || std::memcmp(req.data(), name_.data(), L) != 0)
        return std::nullopt;
    catchUp(computerNow);
    const uint8_t op = req[L];
    LoggerReply reply;
    auto text = [&](const char* keyword) { reply.text = name_ + keyword; };

    if (tailIs(req, L, "HEADER-")) {
        text("START");
        reply.data = statusBytes(computerNow);
    } else if (op == 'D' && req[L + 5] == '-' && req[L + 6] == '-') {
        if (records_.empty()) {
            text("EMPTY");
        } else {
            text("START");
            const size_t off = size_t(req[L + 1]) << 8 | req[L + 2];
            // Its transmit buffer holds 64 KiB; a larger request gets what fits, from the offset.
            const size_t cnt = std::min(size_t(req[L + 3]) << 8 | req[L + 4], size_t(65536) / recordLength());
            reply.isBlock = true;
            reply.recordLength = recordLength();
            // Oldest first: offset off + cnt - 1 down to off. Beyond the oldest stored record the
            // memory reads as erased, all 0xFF.
            for (size_t i = cnt; i-- > 0;) {
                const size_t o = off + i;
                if (o < records_.size()) {
                    const auto bytes = recordBytes(records_[records_.size() - 1 - o]);
                    reply.data.insert(reply.data.end(), bytes.begin(), bytes.end());
                } else {
                    reply.data.insert(reply.data.end(), recordLength(), 0xFF);
                }
            }
        }
    } else if (op == 'T') {
        const DateTimeParts nowParts = dt::decode(computerNow);
        DateTimeParts p;
        p.day = req[L + 1];
        p.month = req[L + 2];
        p.year = req[L + 3] <= 99 ? dt::centuryYear(req[L + 3], nowParts.year) : -1;
        p.hour = req[L + 4];
        p.minute = req[L + 5];
        p.second = req[L + 6];
        TDateTime set = 0;
        if (!dt::tryEncode(p, set))
            return std::nullopt; // a clock it cannot hold is not acknowledged
        clockOffsetSec_ = dt::toSeconds(set) - dt::toSeconds(computerNow);
        advance_ = 0;
        lastBoundary_ = boundary(clockSeconds(computerNow));
        text("READY");
    } else if (tailIs(req, L, "ERASE--")) {
        records_.clear();
        text("ERASE");
    } else if (op == 'P' && tailIs(req, L + 2, "-----")) {
        period_ = req[L + 1];
        lastBoundary_ = boundary(clockSeconds(computerNow));
        text("READY");
    } else if (tailIs(req, L, "MEASE--")) {
        addRecord(makeRecord(clockSeconds(computerNow)));
        text("READY");
    } else if (op == 'C' && tailIs(req, L + 2, "-----")) {
        channel_ = req[L + 1];
        text("READY");
    } else {
        return std::nullopt;
    }
    return reply;
}
