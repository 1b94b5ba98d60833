#include "report/VisitReport.h"

#include "engine/StatusDecoder.h"

#include <cmath>
#include <cstdio>

namespace visitreport {

namespace {

// Numbers for a Russian reader: a decimal comma.
std::string decimal(double v, int digits) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", digits, v);
    std::string s = text;
    for (char& c : s)
        if (c == '.')
            c = ',';
    return s == "-0" ? "0" : s;
}

std::string dateTimeText(TDateTime t) {
    const DateTimeParts p = dt::decode(t);
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", p.day, p.month, p.year, p.hour, p.minute);
    return text;
}

std::string signedSeconds(long long s) {
    return (s > 0 ? "+" : "") + std::to_string(s);
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(";\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string csvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i)
        line += (i ? ";" : "") + csvField(fields[i]);
    return line + "\r\n";
}

} // namespace

std::string errorText(int code) {
    return LoggerErrorText(code);
}

const std::vector<std::string>& columns() {
    static const std::vector<std::string> names = {
        "Логгер",  "Комментарий",    "Ошибка",        "Батарея, В", "Сигнал / шум, dBm",
        "Часы, с", "Загружено",      "Не получено",   "Стёрто",     "Период, ч",
        "Канал",   "Файл измерений", "Предупреждения"};
    return names;
}

std::vector<std::string> rowTexts(const VisitLogger& l) {
    const std::string none = "—";
    std::string signal = l.level ? decimal(*l.level, 1) : none;
    if (l.noise)
        signal += " / " + decimal(*l.noise, 1);
    std::string clock = l.deviation ? signedSeconds(*l.deviation) : none;
    if (l.clockSet)
        clock += ", установлены";
    std::string file = l.file.empty() ? "не сохранён" : baseName(l.file);
    if (!l.file.empty())
        file += l.signatureOk ? ", подпись верна" : ", подпись НЕ верна";
    std::string warnings;
    for (const std::string& w : l.warnings)
        warnings += (warnings.empty() ? "" : "; ") + w;
    return {l.name,
            l.comment,
            l.statusRead ? errorText(l.error) : "статус не получен",
            l.statusRead && l.battery > 0 ? decimal(l.battery, 2) : none,
            signal,
            clock,
            std::to_string(l.downloaded),
            std::to_string(l.givenUp),
            l.erased ? (l.measureCount >= 0 ? std::to_string(l.measureCount) : "да") : "нет",
            l.period > 0 ? std::to_string(l.period) : none,
            l.channel >= 0 ? std::to_string(l.channel) : none,
            file,
            warnings};
}

std::vector<std::string> headingLines(const VisitReport& r) {
    return {"Группа: " + (r.group.empty() ? std::string("—") : r.group), "Дата: " + dateTimeText(r.date),
            "Модем: " + (r.modem.empty() ? std::string("не найден") : r.modem)};
}

std::string toCsv(const VisitReport& r) {
    std::string out = "\xEF\xBB\xBF";
    for (const std::string& line : headingLines(r))
        out += csvLine({line});
    out += csvLine(columns());
    for (const VisitLogger& l : r.loggers)
        out += csvLine(rowTexts(l));
    return out;
}

std::string csvPathFor(const std::string& pdfPath) {
    const size_t slash = pdfPath.find_last_of("/\\");
    const size_t dot = pdfPath.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return pdfPath + ".csv";
    return pdfPath.substr(0, dot) + ".csv";
}

} // namespace visitreport
