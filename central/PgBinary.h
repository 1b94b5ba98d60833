#pragma once
#include "platform/DateTime.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// PostgreSQL's binary wire forms of the few types the central archive uses: network byte order,
// timestamps as microseconds since 2000-01-01, arrays with their header. Text forms would cost a
// formatting and a parse per value on each side of a million-record push.
namespace pgbin {

// 2000-01-01 in TDateTime days.
constexpr int64_t kEpochDays = 36526;
constexpr int64_t kSecondsPerDay = 86400;
constexpr uint32_t kInt2Oid = 21;

// Whole seconds since 1899-12-30 (the local archive's record times) and the server's microseconds.
inline int64_t secondsToMicros(int64_t seconds) {
    return (seconds - kEpochDays * kSecondsPerDay) * 1000000;
}
inline int64_t microsToSeconds(int64_t micros) {
    // Record times are whole seconds; floor keeps any finer one in its own second.
    const int64_t s = micros >= 0 ? micros / 1000000 : -((-micros + 999999) / 1000000);
    return s + kEpochDays * kSecondsPerDay;
}
inline int64_t dateTimeToMicros(TDateTime value) {
    return std::llround((value - static_cast<double>(kEpochDays)) * kSecondsPerDay * 1e6);
}
inline TDateTime microsToDateTime(int64_t micros) {
    return static_cast<double>(kEpochDays) + static_cast<double>(micros) / (kSecondsPerDay * 1e6);
}

// A COPY ... (FORMAT binary) stream: the header, rows of fields, the trailer.
class CopyWriter {
public:
    CopyWriter() { buf_.append("PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0", 19); }

    void row(int16_t fields) { put16(static_cast<uint16_t>(fields)); }
    void int2(int16_t v) {
        put32(2);
        put16(static_cast<uint16_t>(v));
    }
    void int4(int32_t v) {
        put32(4);
        put32(static_cast<uint32_t>(v));
    }
    void int8(int64_t v) {
        put32(8);
        put64(static_cast<uint64_t>(v));
    }
    void timestamp(int64_t micros) { int8(micros); }
    void bytea(const std::string& bytes) {
        put32(static_cast<uint32_t>(bytes.size()));
        buf_.append(bytes);
    }
    // A one-dimensional smallint[]; an empty one has no dimension at all, as the server writes it.
    void int2Array(const int16_t* values, size_t count) {
        put32(static_cast<uint32_t>(count ? 20 + 6 * count : 12));
        put32(count ? 1 : 0);
        put32(0);
        put32(kInt2Oid);
        if (!count)
            return;
        put32(static_cast<uint32_t>(count));
        put32(1);
        for (size_t i = 0; i < count; ++i) {
            put32(2);
            put16(static_cast<uint16_t>(values[i]));
        }
    }
    // The stream so far with its trailer; the writer is spent afterwards.
    std::string& finish() {
        put16(0xFFFF);
        return buf_;
    }
    size_t size() const { return buf_.size(); }

private:
    void put16(uint16_t v) {
        const char b[2] = {static_cast<char>(v >> 8), static_cast<char>(v)};
        buf_.append(b, 2);
    }
    void put32(uint32_t v) {
        put16(static_cast<uint16_t>(v >> 16));
        put16(static_cast<uint16_t>(v));
    }
    void put64(uint64_t v) {
        put32(static_cast<uint32_t>(v >> 32));
        put32(static_cast<uint32_t>(v));
    }
    std::string buf_;
};

// Fields of a binary result, length-checked: a short or malformed value reads as absent.
inline uint64_t readBE(const char* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

inline bool int2(const char* p, int len, int16_t& out) {
    if (len != 2)
        return false;
    out = static_cast<int16_t>(readBE(p, 2));
    return true;
}
inline bool int4(const char* p, int len, int32_t& out) {
    if (len != 4)
        return false;
    out = static_cast<int32_t>(readBE(p, 4));
    return true;
}
inline bool int8(const char* p, int len, int64_t& out) {
    if (len != 8)
        return false;
    out = static_cast<int64_t>(readBE(p, 8));
    return true;
}

// A smallint[] of one dimension (or none, empty) without nulls, appended to out.
inline bool int2Array(const char* p, int len, std::vector<int16_t>& out) {
    if (len < 12)
        return false;
    const auto dims = static_cast<int32_t>(readBE(p, 4));
    if (dims == 0)
        return len == 12;
    if (dims != 1 || len < 20 || readBE(p + 4, 4) != 0 || readBE(p + 8, 4) != kInt2Oid)
        return false;
    const auto count = static_cast<int64_t>(readBE(p + 12, 4));
    if (count < 0 || len != 20 + 6 * count)
        return false;
    for (int64_t i = 0; i < count; ++i) {
        const char* e = p + 20 + 6 * i;
        if (readBE(e, 4) != 2)
            return false;
        out.push_back(static_cast<int16_t>(readBE(e + 4, 2)));
    }
    return true;
}

} // namespace pgbin
