#pragma once
#include "files/FileIo.h"
#include "platform/DateTime.h"

#include <string>
#include <vector>

class LoggerTable;

// The measurement file read by the companion viewer: Windows-1251 text with CR LF line ends,
// each record line signed by a running CRC-8 over exactly the bytes written.
namespace orx {

enum class WriteResult {
    Ok,
    CannotCreate, // folder or file could not be made, or the target is held open: nothing changed on disk
    WriteFailed,  // failed while writing or putting the file in place: the old file is intact
};

// A logger goes into the file when its box is ticked and its status gave at least one sensor.
bool loggerWritten(const LoggerTable& table, const std::vector<bool>& ticked, size_t index);

// Streams the whole file into the sink without building it in memory; false when the sink
// refused bytes (the writing stops there). Loggers flagged in partial (a download cut short) are
// named in the file's comment line, its fourth, which no signature covers and every reader skips:
// "//Загружены не полностью: " and the names, comma-separated.
bool write(const LoggerTable& table, const std::vector<bool>& ticked, TDateTime savedAt,
           fileio::IByteSink& sink, const std::vector<bool>& partial = {});
std::string build(const LoggerTable& table, const std::vector<bool>& ticked, TDateTime savedAt,
                  const std::vector<bool>& partial = {});

// The name line's spacing: a blank before the 5th character, then another before the 8th of the
// result, each going to the end where the text is too short.
std::string spacedName(const std::string& name);

} // namespace orx

// Writes the measurement file at path (UTF-8). The folder is created when missing (one level);
// the contents go to a temporary file in that folder, are flushed to disk and renamed over the
// target only when complete, so a failed save never damages an existing file.
orx::WriteResult WriteFile(const std::string& path, const LoggerTable& table, const std::vector<bool>& ticked,
                           TDateTime savedAt, const std::vector<bool>& partial = {});
// The same through a given file object, so that a write failure can be simulated.
orx::WriteResult WriteFile(const std::string& path, const LoggerTable& table, const std::vector<bool>& ticked,
                           TDateTime savedAt, fileio::AtomicFile& file,
                           const std::vector<bool>& partial = {});

// The error box text for a failed save (UTF-8), empty for Ok.
std::string orxFailureMessage(orx::WriteResult result, const std::string& path);

// The chosen name with only the last suffix of its file name replaced by ".orx", or ".orx"
// appended when the name has none; a dot in a folder name is no suffix.
std::string orxTargetName(const std::string& chosen);
