#pragma once
#include "engine/Crc8.h"
#include "files/Cp1251.h"
#include "orxparse/OrxParser.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orxtest {

constexpr int kYear = 2025; // the "current" year the tests parse with: 26 reads as 2026

// The example measurement file of the format's description, byte for byte.
inline std::string exampleFile(std::string_view eol = "\r\n") {
    const char* lines[] = {
        "//[orx] Created by Kestrovane 07.12.26 11:05:42",
        "//Предупреждение: Внесение изменений в данные приведет к нарушению электронной подписи",
        "//Комментарии:",
        "//",
        "",
        "D407 15 34826 © скважина 3, глубина 12 м",
        "T3   SN 01234             100    200",
        "07.12.26 10:00:00 365V   -200    400 (239)",
        "07.12.26 14:00:00 364V   -198    401 (090)",
    };
    std::string out;
    for (const char* l : lines) {
        out += utf8ToCp1251(l);
        out += eol;
    }
    return out;
}

// Lines of a text, without their line ends, and back.
inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos)
            nl = text.size();
        std::string l = text.substr(start, nl - start);
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        out.push_back(l);
        start = nl + 1;
    }
    return out;
}

inline std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += l + "\r\n";
    return out;
}

inline std::string padLeft(std::string s, size_t w, char c = ' ') {
    if (s.size() < w)
        s.insert(0, w - s.size(), c);
    return s;
}

// A logger the way the main program hands it to its file: values that build a signed file for tests
// that need shapes the example lacks (long voltages, negative serials, empty comments, many loggers).
struct TestLogger {
    std::string name;    // Windows-1251
    std::string comment; // Windows-1251
    int type = 3;
    int serial = 1;
    std::vector<int> codes;
    std::vector<TDateTime> times;
    std::vector<int> voltages;
    std::vector<std::vector<int>> readings; // [record][sensor]
};

inline std::string buildFile(const std::vector<TestLogger>& loggers) {
    std::string out = "//[orx] Created by Kestrovane 01.02.26 03:04:05\r\n//\r\n//\r\n//\r\n";
    for (const TestLogger& l : loggers) {
        uint8_t crc = 0;
        auto heading = [&](const std::string& line) {
            out += line + "\r\n";
            crc = crc8::update(crc, line.data(), line.size());
            crc = crc8::update(crc, "\r\n", 2);
        };
        heading("");
        heading(orx::spaceName(l.name) + " \xA9 " + l.comment);
        std::string s = "T" + std::to_string(l.type) + "   SN " + padLeft(std::to_string(l.serial), 5, '0') +
                        std::string(9, ' ');
        for (int c : l.codes)
            s += padLeft(std::to_string(c), 7);
        heading(s);
        for (size_t n = 0; n < l.times.size(); ++n) {
            std::string r = dt::formatDateTime(l.times[n]) + padLeft(std::to_string(l.voltages[n]) + "V", 5);
            for (int v : l.readings[n])
                r += padLeft(std::to_string(v), 7);
            crc = crc8::update(crc, r.data(), r.size());
            out += r + " (" + padLeft(std::to_string(crc), 3, '0') + ")\r\n";
            crc = 0;
        }
    }
    return out;
}

} // namespace orxtest
