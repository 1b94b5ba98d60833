#pragma once
#include "orxparse/OrxData.h"

#include <cstddef>
#include <string>
#include <vector>

namespace orx {

// The records of the given loggers as CSV: UTF-8, a header row, RFC 4180 quoting and CR LF line
// ends, times in ISO 8601 (local time, as the file holds it), readings raw. A sensor column is headed
// with its code when every exported logger that has that sensor gives it the same code.
std::string toCsv(const OrxFile& file, const std::vector<size_t>& loggers);

// ISO 8601 date and time to the second: 2026-12-07T10:00:00.
std::string isoDateTime(TDateTime value);

} // namespace orx
