#pragma once
#include <cstddef>
#include <cstdint>

// CRC-8/MAXIM (Dallas 1-Wire): reflected polynomial 0x8C, initial 0, no final XOR.
// Protects logger replies and signs the record lines of measurement files.
namespace crc8 {
uint8_t update(uint8_t crc, uint8_t byte);
uint8_t update(uint8_t crc, const void* data, size_t size);
inline uint8_t compute(const void* data, size_t size) {
    return update(0, data, size);
}
} // namespace crc8
