// The viewer's reader of measurement files: any bytes, fed in uneven pieces, must give a result whose
// lists agree, and the CSV of it must come out.
#include "orxparse/OrxCsv.h"
#include "orxparse/OrxParser.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto* text = reinterpret_cast<const char*>(data);
    orx::OrxParser parser(2025);
    // Piece sizes come from the first byte, so line ends fall across pieces in many ways.
    const size_t piece = size > 0 ? 1 + data[0] % 61 : 1;
    for (size_t at = 0; at < size; at += piece)
        parser.feed(text + at, std::min(piece, size - at));
    const orx::OrxFile f = parser.finish();

    if (f.problems.size() > orx::OrxFile::kMaxStoredProblems || f.problems.size() > f.problemCount)
        std::abort();
    std::vector<size_t> all;
    for (size_t i = 0; i < f.loggers.size(); ++i) {
        const orx::Logger& l = f.loggers[i];
        const size_t n = l.recordCount();
        if (l.RecordVoltages.size() != n || l.recordLines.size() != n || l.signatureOk.size() != n)
            std::abort();
        for (const auto& s : l.SensorReadings) {
            if (s.size() != n)
                std::abort();
        }
        if (l.sensorCount() > orx::OrxParser::kMaxSensors)
            std::abort();
        all.push_back(i);
    }
    const std::string csv = orx::toCsv(f, all);
    if (csv.empty())
        std::abort();
    return 0;
}
