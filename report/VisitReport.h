#pragma once
#include "platform/DateTime.h"

#include <optional>
#include <string>
#include <vector>

// What one service visit to a group did, logger by logger: the facts the report is made of.
// Texts are UTF-8.
struct VisitLogger {
    std::string name;
    std::string comment;
    bool statusRead = false;
    int error = 0;
    double battery = 0;                 // V
    std::optional<double> level;        // dBm, the logger's last reply
    std::optional<double> noise;        // dBm, the analyzer's noise floor
    std::optional<long long> deviation; // s, the logger's clock less the computer's, at its status
    bool clockSet = false;              // a new time was confirmed
    int period = 0;                     // hours; 0 unknown
    int channel = -1;
    int measureCount = -1; // records the logger said it held; -1 unknown
    int downloaded = 0;
    int givenUp = 0;
    bool erased = false;
    std::string file;         // the measurement file its records were saved in
    bool signatureOk = false; // that file read back with every signature of this logger right
    std::vector<std::string> warnings;
};

struct VisitReport {
    std::string group; // the group file
    TDateTime date = 0;
    std::string modem; // what the search found; empty when none
    std::vector<VisitLogger> loggers;
};

namespace visitreport {

// The columns of the report, and each logger's row as text: the PDF and the CSV show the same.
const std::vector<std::string>& columns();
std::vector<std::string> rowTexts(const VisitLogger& l);
// The lines above the table: group, date, modem.
std::vector<std::string> headingLines(const VisitReport& r);

// The CSV beside a report: the heading lines, then a header row and one row per logger; UTF-8
// with a byte-order mark, ";" between fields and RFC 4180 quoting, for a Russian spreadsheet.
std::string toCsv(const VisitReport& r);
// "visit.pdf" -> "visit.csv"; a name without an extension gets ".csv" added.
std::string csvPathFor(const std::string& pdfPath);

// The error code in words, as the row's lamp tells it.
std::string errorText(int code);

} // namespace visitreport
