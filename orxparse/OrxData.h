#pragma once
#include "files/Cp1251.h"
#include "platform/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the viewer reads out of a measurement file. Names and comments stay the file's bytes
// (Windows-1251) until they are shown; every record keeps its line number and signature verdict so
// that a changed line can be pointed at.
namespace orx {

enum class ProblemKind : uint8_t {
    Unreadable,         // the line is none of the kinds a measurement file holds
    BadSignature,       // the bracketed number differs from the recomputed one, or is missing
    RecordBeforeLogger, // a record line with no logger heading above it
    BadField,           // a field that is not a number, an impossible date, a misplaced space
    MissingHeading,     // the file's first line, an empty line, a name line or a string line is missing
    WrongCount,         // a record's readings do not match its logger's sensors
};

struct Problem {
    uint64_t line = 0; // 1-based
    ProblemKind kind = ProblemKind::Unreadable;
    std::string message; // UTF-8, Russian, shown as is
};

struct Logger {
    std::string LoggerName;    // as the main program holds it: the name line's spaces undone
    std::string LoggerComment; // may be empty
    int32_t StringType = 0;
    int32_t StringSerial = 0;
    std::vector<int32_t> SensorCodes;
    std::vector<TDateTime> RecordTimes;
    std::vector<int32_t> RecordVoltages;
    // [sensor][record]; one list per sensor, like the main program's table. Values are kept wider
    // than the loggers' 16 bits so that a hand-edited number is shown rather than dropped.
    std::vector<std::vector<int32_t>> SensorReadings;
    std::vector<uint32_t> recordLines; // line number of each record
    std::vector<uint8_t> signatureOk;  // 1 when the record line's signature matches
    // A history from the archive: 1 where the values differ from a record of the same time received
    // earlier. Empty for a file, which cannot tell.
    std::vector<uint8_t> conflict;
    uint64_t emptyLine = 0; // line numbers of the heading; 0 where it is missing
    uint64_t nameLine = 0;
    uint64_t stringLine = 0;
    bool textIsUtf8 = false; // the name line was re-saved as UTF-8 (its © is two bytes)
    size_t badSignatures = 0;
    TDateTime firstTime = 0.0; // earliest and latest record times (valid when records exist)
    TDateTime lastTime = 0.0;

    size_t recordCount() const { return RecordTimes.size(); }
    size_t sensorCount() const { return SensorReadings.size(); }
    bool hasHeading() const { return nameLine != 0 && stringLine != 0; }
};

// A logger's name or comment as UTF-8 text, whichever encoding its name line was found in.
inline std::string loggerText(std::string_view bytes, bool isUtf8) {
    return isUtf8 ? cp1251::validUtf8(bytes) : cp1251ToUtf8(bytes);
}

struct OrxFile {
    bool hasCreated = false; // the first line's "Created by" date parsed
    TDateTime created = 0.0;
    std::vector<Logger> loggers;
    std::vector<Problem> problems; // the first kMaxStoredProblems of them
    uint64_t problemCount = 0;     // all of them, stored or not
    uint64_t lineCount = 0;
    uint64_t badSignatureLines = 0;
    uint64_t droppedLines = 0; // lines whose contents could not be taken into the data

    static constexpr size_t kMaxStoredProblems = 10000;
    size_t recordCount() const;
};

} // namespace orx
