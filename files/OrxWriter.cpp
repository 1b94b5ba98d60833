#include "files/OrxWriter.h"

#include "engine/Crc8.h"
#include "engine/LoggerTable.h"
#include "files/Cp1251.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace orx {
namespace {

constexpr size_t kBufferSize = 1 << 20;
// The longest piece formatted in place: a 7-wide reading.
constexpr size_t kFieldRoom = 32;

const std::string& warningLine() {
    static const std::string s = utf8ToCp1251(
        "//Предупреждение: Внесение изменений в данные приведет к нарушению электронной подписи");
    return s;
}

const std::string& commentsLine() {
    static const std::string s = utf8ToCp1251("//Комментарии:");
    return s;
}

const std::string& partialNote() {
    static const std::string s = utf8ToCp1251("Загружены не полностью: ");
    return s;
}

// Formats into a fixed buffer that goes to the sink when full: no allocation per line, and the
// memory used stays the same whatever the size of the table.
class Formatter {
public:
    explicit Formatter(fileio::IByteSink& sink) : sink_(sink), buf_(new char[kBufferSize]) {}

    bool ok() const { return ok_; }

    void put(const char* data, size_t size) {
        crc_ = crc8::update(crc_, data, size);
        if (size > kBufferSize - used_) {
            flush();
            if (size > kBufferSize) {
                // A comment of megabytes goes straight through.
                if (ok_)
                    ok_ = sink_.write(data, size);
                return;
            }
        }
        std::memcpy(buf_.get() + used_, data, size);
        used_ += size;
    }
    void put(const std::string& s) { put(s.data(), s.size()); }
    void put(char c) { put(&c, 1); }

    // A line without signature: its text and its CR LF run into the value.
    void endLine() { put("\r\n", 2); }

    // The fields of a record line are formatted in place and run into the value at the end.
    void reserve(size_t bytes) {
        if (bytes > kBufferSize - used_)
            flush();
    }
    char* cursor() { return buf_.get() + used_; }
    void advance(char* end) {
        const size_t n = static_cast<size_t>(end - cursor());
        crc_ = crc8::update(crc_, cursor(), n);
        used_ += n;
    }

    uint8_t crc() const { return crc_; }
    void resetCrc() { crc_ = 0; }

    void flush() {
        if (ok_ && used_ > 0)
            ok_ = sink_.write(buf_.get(), used_);
        used_ = 0;
    }

private:
    fileio::IByteSink& sink_;
    std::unique_ptr<char[]> buf_;
    size_t used_ = 0;
    uint8_t crc_ = 0;
    bool ok_ = true;
};

// Digits of v, right-aligned with spaces (or zeros) to at least width; returns the end.
char* putNumber(char* p, int v, int width, char pad = ' ') {
    char tmp[12];
    int n = 0;
    unsigned u = v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v);
    do {
        tmp[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (v < 0)
        tmp[n++] = '-';
    for (int i = n; i < width; ++i)
        *p++ = pad;
    while (n > 0)
        *p++ = tmp[--n];
    return p;
}

char* put2(char* p, int v) {
    *p++ = static_cast<char>('0' + v / 10 % 10);
    *p++ = static_cast<char>('0' + v % 10);
    return p;
}

// "dd.mm.yy hh:nn:ss", rounded to the whole second as everywhere in the program.
char* putDateTime(char* p, TDateTime t) {
    const DateTimeParts d = dt::decode(t);
    p = put2(p, d.day);
    *p++ = '.';
    p = put2(p, d.month);
    *p++ = '.';
    p = put2(p, ((d.year % 100) + 100) % 100);
    *p++ = ' ';
    p = put2(p, d.hour);
    *p++ = ':';
    p = put2(p, d.minute);
    *p++ = ':';
    return put2(p, d.second);
}

void writeLogger(Formatter& f, const LoggerTable::Logger& l) {
    f.resetCrc();
    f.endLine(); // the empty line

    f.put(spacedName(l.LoggerName));
    f.put(" \xA9 ", 3); // " © "
    f.put(l.LoggerComment);
    f.endLine();

    char field[kFieldRoom];
    f.put('T');
    f.put(field, static_cast<size_t>(putNumber(field, l.StringType, 0) - field));
    f.put("   SN ", 6);
    // A negative serial is padded as its text stands ("000-5"): the signature covers it so.
    f.put(field, static_cast<size_t>(putNumber(field, l.StringSerial, 5, '0') - field));
    f.put("         ", 9);
    for (int16_t code : l.SensorCodes)
        f.put(field, static_cast<size_t>(putNumber(field, code, 7) - field));
    f.endLine();

    const size_t sensors = l.SensorReadings.size();
    size_t records = std::min(l.RecordTimes.size(), l.RecordVoltages.size());
    for (const auto& list : l.SensorReadings)
        records = std::min(records, list.size());
    const size_t lineRoom = 40 + 8 * sensors;
    for (size_t n = 0; n < records; ++n) {
        if (lineRoom <= kBufferSize) {
            f.reserve(lineRoom);
            char* p = f.cursor();
            p = putDateTime(p, l.RecordTimes[n]);
            // The voltage with its "V", padded to 5 as one piece.
            char volt[kFieldRoom];
            char* ve = putNumber(volt, l.RecordVoltages[n], 0);
            *ve++ = 'V';
            const auto vlen = static_cast<int>(ve - volt);
            for (int i = vlen; i < 5; ++i)
                *p++ = ' ';
            std::memcpy(p, volt, static_cast<size_t>(vlen));
            p += vlen;
            for (size_t k = 0; k < sensors; ++k)
                p = putNumber(p, l.SensorReadings[k][n], 7);
            f.advance(p);
        } else {
            // Thousands of sensors: field by field through the buffer.
            char* e = putDateTime(field, l.RecordTimes[n]);
            f.put(field, static_cast<size_t>(e - field));
            char volt[kFieldRoom];
            char* ve = putNumber(volt, l.RecordVoltages[n], 0);
            *ve++ = 'V';
            for (auto i = ve - volt; i < 5; ++i)
                f.put(' ');
            f.put(volt, static_cast<size_t>(ve - volt));
            for (size_t k = 0; k < sensors; ++k)
                f.put(field, static_cast<size_t>(putNumber(field, l.SensorReadings[k][n], 7) - field));
        }
        // The bracketed signature is not covered by itself.
        char sig[8] = {' ', '('};
        char* se = putNumber(sig + 2, f.crc(), 3, '0');
        *se++ = ')';
        *se++ = '\r';
        *se++ = '\n';
        const size_t slen = static_cast<size_t>(se - sig);
        f.resetCrc();
        f.put(sig, slen);
        f.resetCrc();
        if (!f.ok())
            return;
    }
}

} // namespace

std::string spacedName(const std::string& name) {
    std::string s = name;
    if (s.size() >= 4)
        s.insert(4, 1, ' ');
    else
        s.push_back(' ');
    if (s.size() >= 7)
        s.insert(7, 1, ' ');
    else
        s.push_back(' ');
    return s;
}

bool loggerWritten(const LoggerTable& table, const std::vector<bool>& ticked, size_t index) {
    return index < table.loggers.size() && index < ticked.size() && ticked[index] &&
           !table.loggers[index].SensorReadings.empty();
}

bool write(const LoggerTable& table, const std::vector<bool>& ticked, TDateTime savedAt,
           fileio::IByteSink& sink, const std::vector<bool>& partial) {
    Formatter f(sink);
    f.put("//[orx] Created by Kestrovane ");
    char stamp[kFieldRoom];
    f.put(stamp, static_cast<size_t>(putDateTime(stamp, savedAt) - stamp));
    f.endLine();
    f.put(warningLine());
    f.endLine();
    f.put(commentsLine());
    f.endLine();
    f.put("//", 2);
    const char* separator = nullptr;
    for (size_t i = 0; i < table.loggers.size() && i < partial.size(); ++i) {
        if (!partial[i] || !loggerWritten(table, ticked, i))
            continue;
        if (separator)
            f.put(separator, 2);
        else
            f.put(partialNote());
        separator = ", ";
        f.put(table.loggers[i].LoggerName);
    }
    f.endLine();
    for (size_t i = 0; i < table.loggers.size() && f.ok(); ++i)
        if (loggerWritten(table, ticked, i))
            writeLogger(f, table.loggers[i]);
    f.flush();
    return f.ok();
}

std::string build(const LoggerTable& table, const std::vector<bool>& ticked, TDateTime savedAt,
                  const std::vector<bool>& partial) {
    std::string out;
    fileio::StringSink sink(out);
    write(table, ticked, savedAt, sink, partial);
    return out;
}

} // namespace orx

orx::WriteResult WriteFile(const std::string& path, const LoggerTable& table, const std::vector<bool>& ticked,
                           TDateTime savedAt, fileio::AtomicFile& file, const std::vector<bool>& partial) {
    const std::string folder = fileio::folderOf(path);
    if (!folder.empty() && !fileio::isDirectory(folder)) {
        std::error_code ec;
        const std::filesystem::path fp(std::u8string(folder.begin(), folder.end()));
        // One level only: a missing parent is a bad path, not something to build.
        if (!std::filesystem::create_directory(fp, ec) || ec || !fileio::isDirectory(folder))
            return orx::WriteResult::CannotCreate;
    }
    if (file.open(path) != fileio::AtomicFile::OpenStatus::Ok)
        return orx::WriteResult::CannotCreate;
    if (!orx::write(table, ticked, savedAt, file, partial)) {
        file.abort();
        return orx::WriteResult::WriteFailed;
    }
    if (file.commit())
        return orx::WriteResult::Ok;
    // Taken by another program between the check at open and the rename, or a name the folder does
    // not take: the file could not be created, and nothing changed on disk.
    return file.targetRefused() ? orx::WriteResult::CannotCreate : orx::WriteResult::WriteFailed;
}

orx::WriteResult WriteFile(const std::string& path, const LoggerTable& table, const std::vector<bool>& ticked,
                           TDateTime savedAt, const std::vector<bool>& partial) {
    fileio::AtomicFile file;
    return WriteFile(path, table, ticked, savedAt, file, partial);
}

std::string orxFailureMessage(orx::WriteResult result, const std::string& path) {
    switch (result) {
    case orx::WriteResult::Ok:
        return {};
    case orx::WriteResult::CannotCreate:
        return "Файл " + path + " занят другим приложением";
    case orx::WriteResult::WriteFailed:
        break;
    }
    return "Критическая ошибка при сохранении файла " + path;
}

std::string orxTargetName(const std::string& chosen) {
    const std::string name = fileio::fileNameOf(chosen);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return chosen + ".orx";
    return chosen.substr(0, chosen.size() - (name.size() - dot)) + ".orx";
}
