#include "orxparse/FastCrc8.h"

#include "engine/Crc8.h"

#include <array>

namespace orx {
namespace {

using Tables = std::array<std::array<uint8_t, 256>, 8>;

// tables[k][x]: the value after byte x followed by k zero bytes, starting from 0.
Tables makeTables() {
    Tables t{};
    for (int x = 0; x < 256; ++x)
        t[0][static_cast<size_t>(x)] = crc8::update(0, static_cast<uint8_t>(x));
    for (size_t k = 1; k < 8; ++k) {
        for (size_t x = 0; x < 256; ++x)
            t[k][x] = t[0][t[k - 1][x]];
    }
    return t;
}

const Tables& tables() {
    static const Tables t = makeTables();
    return t;
}

} // namespace

uint8_t crc8Fast(uint8_t crc, const void* data, size_t size) {
    const Tables& t = tables();
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

} // namespace orx
