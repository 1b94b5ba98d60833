#pragma once
#include "orxparse/OrxData.h"

#include <cstddef>
#include <string>
#include <vector>

namespace orx {

// How a spreadsheet reads the file: a Russian one splits at ";" and reads "3,65" as a number.
struct CsvStyle {
    char separator = ',';
    bool decimalComma = false;
};

// The records of the given loggers as CSV: UTF-8, a header row, RFC 4180 quoting and CR LF line
// ends, times in ISO 8601 (local time, as the file holds it), the voltage in volts, readings raw.
// Every sensor column is headed with its code, or with the codes the exported loggers give it.
std::string toCsv(const OrxFile& file, const std::vector<size_t>& loggers, CsvStyle style = {});

// ISO 8601 date and time to the second: 2026-12-07T10:00:00.
std::string isoDateTime(TDateTime value);

// The file's hundredths of a volt in volts, in the shortest form: 365 -> "3.65", 360 -> "3.6".
std::string voltsText(int32_t hundredths, bool decimalComma = false);

} // namespace orx
