#include "engine/Crc8.h"

#include <array>

namespace crc8 {
namespace {

constexpr std::array<uint8_t, 256> makeTable() {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        uint8_t c = static_cast<uint8_t>(i);
        for (int b = 0; b < 8; ++b)
            c = (c & 1) ? static_cast<uint8_t>((c >> 1) ^ 0x8C) : static_cast<uint8_t>(c >> 1);
        t[static_cast<size_t>(i)] = c;
    }
    return t;
}

constexpr std::array<uint8_t, 256> kTable = makeTable();

} // namespace

uint8_t update(uint8_t crc, uint8_t byte) {
    return kTable[crc ^ byte];
}

uint8_t update(uint8_t crc, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i)
        crc = kTable[crc ^ p[i]];
    return crc;
}

} // namespace crc8
