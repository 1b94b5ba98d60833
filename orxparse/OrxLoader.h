#pragma once
#include "orxparse/OrxData.h"

#include <cstdint>
#include <string>

namespace orx {

enum class LoadStatus {
    Ok,
    NotRegular, // a folder, a device or a pipe: never read, so it cannot hang the viewer
    CannotOpen,
    TooLarge,
    ReadError, // out holds what was read before the error
};

// Files beyond this are refused: the data read from a file take about as much memory as the file.
constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;

// Reads a measurement file in pieces through the parser. Path in UTF-8.
LoadStatus loadOrxFile(const std::string& path, int currentYear, OrxFile& out);

} // namespace orx
