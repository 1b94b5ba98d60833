#pragma once
// Reads a saved measurement file back the way the companion viewer checks it: lines with CR LF,
// each record line's bracketed signature recomputed with a CRC-8/MAXIM of our own, bit by bit.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

// Reflected polynomial 0x8C, initial 0, no final XOR; shifted bit by bit, no table.
inline uint8_t maximCrcBitwise(uint8_t crc, const std::string& bytes) {
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<uint8_t>((crc >> 1) ^ 0x8C) : static_cast<uint8_t>(crc >> 1);
    }
    return crc;
}

struct OrxRecord {
    std::string dateTime; // "dd.mm.yy hh:nn:ss"
    int voltage = 0;
    std::vector<int> readings;
};

struct OrxLogger {
    std::string nameLine;
    int type = -1;
    int serial = -1;
    std::vector<int> codes;
    std::vector<OrxRecord> records;
};

struct OrxFile {
    std::vector<std::string> top; // the four lines before the first logger
    std::vector<OrxLogger> loggers;
    std::vector<std::string> faults; // anything that does not read back: empty when all is well
};

inline OrxFile readOrx(const std::string& bytes) {
    OrxFile f;
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) {
            f.faults.push_back("last line without CR LF");
            lines.push_back(bytes.substr(at));
            break;
        }
        lines.push_back(bytes.substr(at, end - at));
        at = end + 2;
    }
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find('\n') != std::string::npos || lines[i].find('\r') != std::string::npos)
            f.faults.push_back("bare line end in line " + std::to_string(i + 1));

    size_t i = 0;
    for (; i < lines.size() && i < 4; ++i)
        f.top.push_back(lines[i]);
    uint8_t running = 0;
    while (i < lines.size()) {
        if (!lines[i].empty() || i + 2 >= lines.size()) {
            f.faults.push_back("no logger heading at line " + std::to_string(i + 1));
            return f;
        }
        OrxLogger lg;
        running = 0;
        for (int k = 0; k < 3; ++k)
            running = maximCrcBitwise(running, lines[i + k] + "\r\n");
        lg.nameLine = lines[i + 1];
        {
            std::istringstream s(lines[i + 2]);
            std::string t, sn, serial;
            s >> t >> sn >> serial;
            // Zero-padded as the text stands, so a negative serial reads "000-5".
            const size_t digits = std::min(serial.find_first_not_of('0'), serial.size() - 1);
            if (t.size() < 2 || t[0] != 'T' || sn != "SN" || serial.size() != 5) {
                f.faults.push_back("bad string line " + std::to_string(i + 3));
            } else {
                lg.type = std::stoi(t.substr(1));
                lg.serial = std::stoi(serial.substr(digits));
            }
            for (int code; s >> code;)
                lg.codes.push_back(code);
        }
        i += 3;
        for (; i < lines.size() && !lines[i].empty(); ++i) {
            const std::string& line = lines[i];
            const size_t open = line.rfind(" (");
            if (open == std::string::npos || line.size() != open + 6 || line.back() != ')') {
                f.faults.push_back("no signature in line " + std::to_string(i + 1));
                continue;
            }
            const std::string text = line.substr(0, open);
            const int written = std::stoi(line.substr(open + 2, 3));
            const uint8_t sig = maximCrcBitwise(running, text);
            running = 0;
            if (written != sig)
                f.faults.push_back("line " + std::to_string(i + 1) + " signed " + std::to_string(written) +
                                   ", computed " + std::to_string(sig));
            OrxRecord r;
            std::istringstream s(text);
            std::string date, time, volts;
            s >> date >> time >> volts;
            r.dateTime = date + " " + time;
            if (volts.empty() || volts.back() != 'V')
                f.faults.push_back("no voltage in line " + std::to_string(i + 1));
            else
                r.voltage = std::stoi(volts.substr(0, volts.size() - 1));
            for (int v; s >> v;)
                r.readings.push_back(v);
            lg.records.push_back(r);
        }
        f.loggers.push_back(lg);
    }
    return f;
}

} // namespace e2e
