#include "orxparse/OrxCsv.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace orx {
namespace {

void appendField(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(field);
        return;
    }
    out.push_back('"');
    for (char c : field) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

} // namespace

std::string isoDateTime(TDateTime value) {
    const DateTimeParts p = dt::decode(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
    return buf;
}

std::string toCsv(const OrxFile& file, const std::vector<size_t>& loggers) {
    std::vector<const Logger*> chosen;
    for (size_t i : loggers) {
        if (i < file.loggers.size())
            chosen.push_back(&file.loggers[i]);
    }
    size_t sensors = 0;
    for (const Logger* l : chosen)
        sensors = std::max(sensors, l->sensorCount());

    std::string out;
    out += "Логгер,Строка,Время,Напряжение,Подпись";
    for (size_t k = 0; k < sensors; ++k) {
        std::optional<int32_t> code;
        bool same = true;
        for (const Logger* l : chosen) {
            if (k >= l->SensorCodes.size()) {
                if (k < l->sensorCount())
                    same = false; // a logger without its string line: the code is unknown
                continue;
            }
            if (code && *code != l->SensorCodes[k])
                same = false;
            code = l->SensorCodes[k];
        }
        out += ",Датчик " + std::to_string(k + 1);
        if (same && code)
            out += " (код " + std::to_string(*code) + ")";
    }
    out += "\r\n";

    for (const Logger* l : chosen) {
        std::string name;
        appendField(name, loggerText(l->LoggerName, l->textIsUtf8));
        for (size_t n = 0; n < l->recordCount(); ++n) {
            out += name;
            out += ',';
            out += std::to_string(l->recordLines[n]);
            out += ',';
            out += isoDateTime(l->RecordTimes[n]);
            out += ',';
            out += std::to_string(l->RecordVoltages[n]);
            out += l->signatureOk[n] ? ",верна" : ",нарушена";
            for (size_t k = 0; k < sensors; ++k) {
                out += ',';
                if (k < l->sensorCount())
                    out += std::to_string(l->SensorReadings[k][n]);
            }
            out += "\r\n";
        }
    }
    return out;
}

} // namespace orx
