#pragma once
#include <cstddef>
#include <cstdint>

namespace orx {

// The same CRC-8/MAXIM as engine/Crc8.h, eight bytes a step (slicing by 8): the signature check runs
// over every byte of a file of up to a gigabyte, and the byte-wise loop is bound by its table look-up
// chain.
uint8_t crc8Fast(uint8_t crc, const void* data, size_t size);

} // namespace orx
