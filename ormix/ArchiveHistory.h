#pragma once
#include "archive/RecordArchive.h"
#include "files/OrxWriter.h"
#include "orxparse/OrxData.h"

#include <string>

// A logger's history from the record archive, for the viewer: shown as a measurement file would be,
// and saved as one.
namespace ormix {

// One logger block per part of the history (a part per thermistor string the logger carried), each
// record numbered by the line it takes in the file saveHistory writes: the table and the CSV of a
// history are those of its saved file, signature verdicts included.
orx::OrxFile historyFile(const LoggerHistory& history);

// The history as a signed measurement file, its parts as the file's logger blocks in time order. A
// part without sensors cannot be written in the format and is left out, as the main program does.
orx::WriteResult saveHistory(const std::string& path, const LoggerHistory& history, TDateTime savedAt);

} // namespace ormix
