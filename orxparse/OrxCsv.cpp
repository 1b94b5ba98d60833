#include "orxparse/OrxCsv.h"

#include <algorithm>
#include <cstdio>

namespace orx {
namespace {

void appendField(std::string& out, std::string_view field, char separator) {
    const char special[] = {separator, '"', '\r', '\n', '\0'};
    if (field.find_first_of(special) == std::string_view::npos) {
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

std::string voltsText(int32_t hundredths, bool decimalComma) {
    const int64_t v = hundredths;
    const int64_t a = v < 0 ? -v : v;
    std::string text = (v < 0 ? "-" : "") + std::to_string(a / 100);
    const int64_t cents = a % 100;
    if (cents != 0) {
        text += decimalComma ? ',' : '.';
        text += static_cast<char>('0' + cents / 10);
        if (cents % 10 != 0)
            text += static_cast<char>('0' + cents % 10);
    }
    return text;
}

std::string isoDateTime(TDateTime value) {
    const DateTimeParts p = dt::decode(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                  p.second);
    return buf;
}

std::string toCsv(const OrxFile& file, const std::vector<size_t>& loggers, CsvStyle style) {
    const char sep = style.separator;
    std::vector<const Logger*> chosen;
    for (size_t i : loggers) {
        if (i < file.loggers.size())
            chosen.push_back(&file.loggers[i]);
    }
    size_t sensors = 0;
    for (const Logger* l : chosen)
        sensors = std::max(sensors, l->sensorCount());

    std::string out;
    for (const char* title : {"Логгер", "Строка", "Время", "Напряжение (В)", "Подпись"}) {
        if (!out.empty())
            out += sep;
        appendField(out, title, sep);
    }
    for (size_t k = 0; k < sensors; ++k) {
        // The codes the loggers give this sensor, each once; "?" for one without its string line.
        std::vector<std::string> codes;
        for (const Logger* l : chosen) {
            if (k >= l->sensorCount())
                continue;
            const std::string code = k < l->SensorCodes.size() ? std::to_string(l->SensorCodes[k]) : "?";
            if (std::find(codes.begin(), codes.end(), code) == codes.end())
                codes.push_back(code);
        }
        std::string title = "Датчик " + std::to_string(k + 1) + (codes.size() == 1 ? " (код " : " (коды ");
        for (size_t c = 0; c < codes.size(); ++c)
            title += (c > 0 ? "/" : "") + codes[c];
        out += sep;
        appendField(out, title + ")", sep);
    }
    out += "\r\n";

    for (const Logger* l : chosen) {
        std::string name;
        appendField(name, loggerText(l->LoggerName, l->textIsUtf8), sep);
        for (size_t n = 0; n < l->recordCount(); ++n) {
            out += name;
            out += sep;
            out += std::to_string(l->recordLines[n]);
            out += sep;
            out += isoDateTime(l->RecordTimes[n]);
            out += sep;
            out += voltsText(l->RecordVoltages[n], style.decimalComma);
            out += sep;
            out += l->signatureOk[n] ? "верна" : "нарушена";
            for (size_t k = 0; k < sensors; ++k) {
                out += sep;
                if (k < l->sensorCount())
                    out += std::to_string(l->SensorReadings[k][n]);
            }
            out += "\r\n";
        }
    }
    return out;
}

} // namespace orx
