#include "engine/Crc8.h"

#include <array>

namespace crc8 {
namespace {

using Tables = std::array<std::array<uint8_t, 256>, 8>;

// tables[0] is the byte-wise table; tables[k][x] is the value after byte x followed by k zero
// bytes, starting from 0. Eight bytes a step: the viewer checks the signature of every byte of
// files up to a gigabyte, and the byte-wise loop is bound by its chain of table look-ups.
constexpr Tables makeTables() {
    Tables t{};
    for (size_t x = 0; x < 256; ++x) {
        auto c = static_cast<uint8_t>(x);
        for (int b = 0; b < 8; ++b)
            c = (c & 1) ? static_cast<uint8_t>((c >> 1) ^ 0x8C) : static_cast<uint8_t>(c >> 1);
        t[0][x] = c;
    }
    for (size_t k = 1; k < 8; ++k)
        for (size_t x = 0; x < 256; ++x)
            t[k][x] = t[0][t[k - 1][x]];
    return t;
}

constexpr Tables kTables = makeTables();

} // namespace

uint8_t update(uint8_t crc, uint8_t byte) {
    return kTables[0][crc ^ byte];
}

uint8_t update(uint8_t crc, const void* data, size_t size) {
    const auto& t = kTables;
    const auto* p = static_cast<const uint8_t*>(data);
    while (size >= 8) {
        crc = t[7][p[0] ^ crc] ^ t[6][p[1]] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^
              t[0][p[7]];
        p += 8;
        size -= 8;
    }
    while (size-- > 0)
        crc = t[0][crc ^ *p++];
    return crc;
}

} // namespace crc8
