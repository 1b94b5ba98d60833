#include "orxparse/OrxParser.h"

#include "engine/Crc8.h"

#include <algorithm>
#include <cstring>

namespace orx {
namespace {

constexpr std::string_view kCopyright = " \xA9";         // Windows-1251 ©, with the space before it
constexpr std::string_view kCopyrightUtf8 = " \xC2\xA9"; // the same after an editor re-saved as UTF-8
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr size_t kDateTimeWidth = 17; // dd.mm.yy hh:nn:ss

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
int twoDigits(const char* p) {
    return (p[0] - '0') * 10 + (p[1] - '0');
}

void skipBlanks(const char*& p, const char* end) {
    while (p < end && isBlank(*p))
        ++p;
}

// An optional minus and decimal digits that fit 32 bits; the number must end at a blank or at end.
bool parseInt(const char*& p, const char* end, int32_t& out) {
    bool negative = false;
    if (p < end && *p == '-') {
        negative = true;
        ++p;
    }
    if (p == end || !isDigit(*p))
        return false;
    int64_t v = 0;
    bool overflow = false;
    while (p < end && isDigit(*p)) {
        if (!overflow) {
            v = v * 10 + (*p - '0');
            if (v > 2147483648LL)
                overflow = true;
        }
        ++p;
    }
    if (overflow || (!negative && v > 2147483647LL))
        return false;
    out = static_cast<int32_t>(negative ? -v : v);
    return true;
}

bool endsToken(const char* p, const char* end) {
    return p == end || isBlank(*p);
}

bool looksLikeRecordStart(std::string_view t) {
    if (t.size() < kDateTimeWidth)
        return false;
    static constexpr char kPattern[] = "dd.dd.dd dd:dd:dd";
    for (size_t i = 0; i < kDateTimeWidth; ++i) {
        if (kPattern[i] == 'd' ? !isDigit(t[i]) : t[i] != kPattern[i])
            return false;
    }
    return true;
}

bool hasCopyright(std::string_view t) {
    return t.find(kCopyright) != std::string_view::npos || t.find(kCopyrightUtf8) != std::string_view::npos;
}

bool looksLikeStringLine(std::string_view t) {
    return !t.empty() && t[0] == 'T' && t.substr(0, 32).find("SN") != std::string_view::npos;
}

// The bracketed signature at the end of a record line: "(" one to three digits ")".
struct Suffix {
    bool present = false;
    bool spaced = false; // preceded by the single space the writer puts there
    size_t signedEnd = 0;
    int value = -1;
};

Suffix findSuffix(std::string_view t) {
    Suffix s;
    s.signedEnd = t.size();
    if (t.size() < 3 || t.back() != ')')
        return s;
    const size_t open = t.rfind('(');
    if (open == std::string_view::npos)
        return s;
    const size_t digits = t.size() - 2 - open;
    if (digits < 1 || digits > 3)
        return s;
    int v = 0;
    for (size_t i = open + 1; i + 1 < t.size(); ++i) {
        if (!isDigit(t[i]))
            return s;
        v = v * 10 + (t[i] - '0');
    }
    s.present = true;
    s.value = v;
    s.spaced = open > 0 && t[open - 1] == ' ';
    s.signedEnd = s.spaced ? open - 1 : open;
    return s;
}

std::string num(uint64_t v) {
    return std::to_string(v);
}

std::string range(uint64_t from, uint64_t to) {
    return from == to ? "строка " + num(from) : "строки " + num(from) + "–" + num(to);
}

} // namespace

size_t OrxFile::recordCount() const {
    size_t n = 0;
    for (const Logger& l : loggers)
        n += l.recordCount();
    return n;
}

std::string spaceName(std::string_view name) {
    std::string s(name);
    s.insert(std::min<size_t>(4, s.size()), 1, ' ');
    s.insert(std::min<size_t>(7, s.size()), 1, ' ');
    return s;
}

bool unspaceName(std::string_view spaced, std::string& out) {
    out.assign(spaced);
    const size_t m = spaced.size();
    if (m < 2)
        return false;
    // The name had m - 2 characters, which fixes where both spaces went.
    const size_t second = std::min<size_t>(7, m - 1);
    const size_t first = std::min<size_t>(4, m - 2);
    if (spaced[second] != ' ' || spaced[first] != ' ')
        return false;
    std::string s(spaced);
    s.erase(second, 1);
    s.erase(first, 1);
    out = std::move(s);
    return true;
}

OrxParser::OrxParser(int currentYear) : currentYear_(currentYear) {}

void OrxParser::feed(const char* data, size_t size) {
    if (done_)
        return;
    while (size > 0) {
        const void* nl = std::memchr(data, '\n', size);
        if (!nl) {
            carry_.append(data, size);
            return;
        }
        const size_t len = static_cast<size_t>(static_cast<const char*>(nl) - data);
        if (carry_.empty()) {
            line(std::string_view(data, len));
        } else {
            carry_.append(data, len);
            line(carry_);
            carry_.clear();
        }
        data += len + 1;
        size -= len + 1;
    }
}

OrxFile OrxParser::finish() {
    if (done_)
        return {};
    if (!carry_.empty())
        line(carry_);
    carry_.clear();
    carry_.shrink_to_fit();
    done_ = true;
    file_.lineCount = lineNo_;
    for (Logger& l : file_.loggers) {
        if (l.RecordTimes.empty())
            continue;
        const auto [lo, hi] = std::minmax_element(l.RecordTimes.begin(), l.RecordTimes.end());
        l.firstTime = *lo;
        l.lastTime = *hi;
    }
    return std::move(file_);
}

void OrxParser::problem(ProblemKind kind, std::string message) {
    ++file_.problemCount;
    if (file_.problems.size() < OrxFile::kMaxStoredProblems)
        file_.problems.push_back(Problem{lineNo_, kind, std::move(message)});
}

void OrxParser::dropLine(ProblemKind kind, std::string message) {
    ++file_.droppedLines;
    problem(kind, std::move(message));
}

void OrxParser::runLine(std::string_view text) {
    if (chainFrom_ == 0)
        chainFrom_ = lineNo_;
    crc_ = crc8::update(crc_, text.data(), text.size());
    crc_ = crc8::update(crc_, "\r\n", 2);
}

Logger& OrxParser::startLogger(bool withEmptyLine) {
    file_.loggers.emplace_back();
    Logger& l = file_.loggers.back();
    l.emptyLine = withEmptyLine ? emptyAt_ : 0;
    sensorsFixed_ = false;
    return l;
}

void OrxParser::line(std::string_view text) {
    ++lineNo_;
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    if (lineNo_ == 1) {
        if (text.substr(0, kBom.size()) == kBom)
            text.remove_prefix(kBom.size());
        if (text.substr(0, 7) == "//[orx]") {
            headerLine(text);
            return;
        }
        problem(ProblemKind::MissingHeading, "Нет первой строки файла «//[orx] Created by …»");
    }
    if (text.empty()) {
        emptyLine();
        return;
    }
    if (zone_ == Zone::Header && text.substr(0, 2) == "//")
        return;
    if (zone_ == Zone::AfterEmpty && hasCopyright(text)) {
        nameLine(text);
        return;
    }
    if (looksLikeRecordStart(text)) {
        recordLine(text);
        return;
    }
    if (hasCopyright(text)) {
        nameLine(text);
        return;
    }
    if (looksLikeStringLine(text)) {
        stringLine(text);
        return;
    }
    if (findSuffix(text).present) {
        recordLine(text);
        return;
    }
    if (zone_ == Zone::AfterEmpty) {
        nameLine(text);
        return;
    }
    dropLine(ProblemKind::Unreadable, "Строка не распознана");
}

void OrxParser::headerLine(std::string_view text) {
    if (text.size() < kDateTimeWidth)
        return;
    const std::string_view tail = text.substr(text.size() - kDateTimeWidth);
    if (!looksLikeRecordStart(tail))
        return;
    const char* p = tail.data();
    DateTimeParts parts{dt::centuryYear(twoDigits(p + 6), currentYear_),
                        twoDigits(p + 3),
                        twoDigits(p),
                        twoDigits(p + 9),
                        twoDigits(p + 12),
                        twoDigits(p + 15)};
    file_.hasCreated = dt::tryEncode(parts, file_.created);
}

void OrxParser::emptyLine() {
    crc_ = 0;
    chainFrom_ = 0;
    runLine({});
    emptyAt_ = lineNo_;
    zone_ = Zone::AfterEmpty;
}

void OrxParser::nameLine(std::string_view text) {
    const bool afterEmpty = zone_ == Zone::AfterEmpty;
    if (!afterEmpty) {
        problem(ProblemKind::MissingHeading, "Нет пустой строки перед строкой имени");
        crc_ = 0;
        chainFrom_ = 0;
    }
    Logger& l = startLogger(afterEmpty);
    l.nameLine = lineNo_;

    std::string_view spaced = text;
    std::string_view comment;
    size_t at = text.find(" \xA9 ");
    if (at != std::string_view::npos) {
        spaced = text.substr(0, at);
        comment = text.substr(at + 3);
    } else if (text.size() >= 2 && text.substr(text.size() - 2) == kCopyright) {
        spaced = text.substr(0, text.size() - 2); // the empty comment's trailing space was lost
    } else if ((at = text.find(kCopyrightUtf8)) != std::string_view::npos) {
        l.textIsUtf8 = true;
        problem(ProblemKind::BadField, "Строка имени в кодировке UTF-8, а не Windows-1251");
        spaced = text.substr(0, at);
        comment = text.substr(std::min(text.size(), at + kCopyrightUtf8.size() + 1));
    } else {
        problem(ProblemKind::BadField, "Нет знака © в строке имени");
    }
    if (!unspaceName(spaced, l.LoggerName))
        problem(ProblemKind::BadField, "Пробелы в имени логгера не на своих местах");
    l.LoggerComment.assign(comment);
    runLine(text);
    zone_ = Zone::AfterName;
}

void OrxParser::stringLine(std::string_view text) {
    if (zone_ != Zone::AfterName) {
        if (zone_ == Zone::AfterEmpty) {
            problem(ProblemKind::MissingHeading, "Нет строки имени логгера");
            startLogger(true);
        } else {
            problem(ProblemKind::MissingHeading, "Нет пустой строки и строки имени перед строкой термокосы");
            crc_ = 0;
            chainFrom_ = 0;
            startLogger(false);
        }
    }
    Logger& l = file_.loggers.back();
    l.stringLine = lineNo_;
    runLine(text);
    zone_ = Zone::Records;

    const char* p = text.data() + 1;
    const char* end = text.data() + text.size();
    int32_t type = 0;
    if (!parseInt(p, end, type) || !endsToken(p, end)) {
        problem(ProblemKind::BadField, "Неверный тип термокосы");
        return;
    }
    skipBlanks(p, end);
    if (end - p < 2 || p[0] != 'S' || p[1] != 'N') {
        problem(ProblemKind::BadField, "Нет номера термокосы (SN)");
        return;
    }
    p += 2;
    skipBlanks(p, end);
    // Zero-padded as the text stands, so a negative number reads "000-5".
    while (end - p > 1 && *p == '0' && (isDigit(p[1]) || p[1] == '-'))
        ++p;
    int32_t serial = 0;
    if (!parseInt(p, end, serial) || !endsToken(p, end)) {
        problem(ProblemKind::BadField, "Неверный номер термокосы");
        return;
    }
    std::vector<int32_t> codes;
    for (;;) {
        skipBlanks(p, end);
        if (p == end)
            break;
        int32_t code = 0;
        if (!parseInt(p, end, code) || !endsToken(p, end)) {
            problem(ProblemKind::BadField, "Неверный код датчика " + num(codes.size() + 1));
            return;
        }
        if (codes.size() == kMaxSensors) {
            problem(ProblemKind::WrongCount, "Слишком много датчиков");
            return;
        }
        codes.push_back(code);
    }
    l.StringType = type;
    l.StringSerial = serial;
    l.SensorCodes = std::move(codes);
    l.SensorReadings.assign(l.SensorCodes.size(), {});
    sensorsFixed_ = true;
}

void OrxParser::recordLine(std::string_view text) {
    // Which logger: a record needs the heading above it; without one it still gets a logger, so
    // that its data are shown, and the missing lines are reported.
    switch (zone_) {
    case Zone::Header:
        problem(ProblemKind::RecordBeforeLogger, "Запись до заголовка логгера");
        startLogger(false);
        break;
    case Zone::AfterEmpty:
        problem(ProblemKind::MissingHeading, "Нет строки имени и строки термокосы");
        startLogger(true);
        break;
    case Zone::AfterName:
        problem(ProblemKind::MissingHeading, "Нет строки термокосы");
        break;
    case Zone::Records:
        break;
    }
    zone_ = Zone::Records;
    Logger& l = file_.loggers.back();

    const Suffix suffix = findSuffix(text);
    const uint8_t crc = crc8::update(crc_, text.data(), suffix.signedEnd);
    const uint64_t coveredFrom = chainFrom_ == 0 ? lineNo_ : chainFrom_;
    crc_ = 0;
    chainFrom_ = 0;
    const bool signedOk = suffix.present && suffix.spaced && suffix.value == crc;
    if (!signedOk) {
        ++file_.badSignatureLines;
        std::string m;
        if (!suffix.present)
            m = "Нет подписи";
        else if (!suffix.spaced)
            m = "Подпись не отделена пробелом";
        else
            m = "Подпись нарушена: записано " + num(static_cast<uint64_t>(suffix.value)) + ", вычислено " +
                num(crc);
        if (coveredFrom != lineNo_)
            m += " (подпись охватывает " + range(coveredFrom, lineNo_) + ")";
        problem(ProblemKind::BadSignature, std::move(m));
    }

    const char* p = text.data();
    const char* end = p + suffix.signedEnd;
    if (!looksLikeRecordStart(std::string_view(p, static_cast<size_t>(end - p)))) {
        dropLine(ProblemKind::BadField, "Неверная дата или время записи");
        return;
    }
    DateTimeParts parts{dt::centuryYear(twoDigits(p + 6), currentYear_),
                        twoDigits(p + 3),
                        twoDigits(p),
                        twoDigits(p + 9),
                        twoDigits(p + 12),
                        twoDigits(p + 15)};
    TDateTime time = 0.0;
    if (!dt::tryEncode(parts, time)) {
        dropLine(ProblemKind::BadField, "Неверная дата или время записи");
        return;
    }
    // A voltage value of five characters or more stands right after the time, with no space.
    p += kDateTimeWidth;
    skipBlanks(p, end);
    int32_t voltage = 0;
    if (!parseInt(p, end, voltage) || p == end || *p != 'V' || !endsToken(p + 1, end)) {
        dropLine(ProblemKind::BadField, "Неверное напряжение");
        return;
    }
    ++p;
    scratch_.clear();
    for (;;) {
        skipBlanks(p, end);
        if (p == end)
            break;
        int32_t v = 0;
        if (!parseInt(p, end, v) || !endsToken(p, end)) {
            dropLine(ProblemKind::BadField, "Неверное показание датчика " + num(scratch_.size() + 1));
            return;
        }
        if (scratch_.size() == kMaxSensors) {
            dropLine(ProblemKind::WrongCount, "Слишком много показаний");
            return;
        }
        scratch_.push_back(v);
    }
    if (!sensorsFixed_) {
        l.SensorReadings.assign(scratch_.size(), {});
        sensorsFixed_ = true;
    }
    if (scratch_.size() != l.sensorCount()) {
        dropLine(ProblemKind::WrongCount,
                 "Показаний " + num(scratch_.size()) + ", а датчиков " + num(l.sensorCount()));
        return;
    }
    l.RecordTimes.push_back(time);
    l.RecordVoltages.push_back(voltage);
    for (size_t k = 0; k < scratch_.size(); ++k)
        l.SensorReadings[k].push_back(scratch_[k]);
    l.recordLines.push_back(static_cast<uint32_t>(std::min<uint64_t>(lineNo_, UINT32_MAX)));
    l.signatureOk.push_back(signedOk ? 1 : 0);
    if (!signedOk)
        ++l.badSignatures;
}

OrxFile parseOrx(std::string_view bytes, int currentYear) {
    OrxParser parser(currentYear);
    parser.feed(bytes.data(), bytes.size());
    return parser.finish();
}

} // namespace orx
