#include "files/OrxWriter.h"

#include "TempDir.h"
#include "engine/Crc8.h"
#include "engine/LoggerTable.h"
#include "files/Cp1251.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string kTop = "//[orx] Created by Kestrovane 07.12.26 11:05:42\r\n" +
                         utf8ToCp1251("//Предупреждение: Внесение изменений в данные приведет к "
                                      "нарушению электронной подписи\r\n//Комментарии:\r\n//\r\n");

// Adds a logger with a decoded status: type, serial, one code per sensor.
int addLogger(LoggerTable& t, const std::string& name, const std::string& comment, int type, int serial,
              std::vector<int16_t> codes) {
    t.appendLogger(name, comment);
    LoggerTable::Logger& l = t.loggers.back();
    l.StringType = static_cast<uint8_t>(type);
    l.StringSerial = static_cast<int16_t>(serial);
    l.SensorReadings.resize(codes.size());
    l.SensorCodes = std::move(codes);
    return t.LoggerCount - 1;
}

void addRecord(LoggerTable& t, int i, TDateTime time, int16_t volts, std::vector<int16_t> readings) {
    t.appendRecord(i, time, volts, readings.data(), readings.size());
}

LoggerTable exampleTable() {
    LoggerTable t;
    const int i = addLogger(t, "D4071534826", utf8ToCp1251("скважина 3, глубина 12 м"), 3, 1234, {100, 200});
    addRecord(t, i, dt::encode(2026, 12, 7, 10), 365, {-200, 400});
    addRecord(t, i, dt::encode(2026, 12, 7, 14), 364, {-198, 401});
    return t;
}

// Not a global initialised from dt::encode: another file's globals may not be ready yet.
constexpr TDateTime kSaved = 46363 + (11 * 3600 + 5 * 60 + 42) / 86400.0; // 07.12.26 11:05:42

// Splits the bytes after the four top lines into CR LF terminated lines.
std::vector<std::string> bodyLines(const std::string& file) {
    EXPECT_EQ(file.compare(0, kTop.size(), kTop), 0);
    std::vector<std::string> out;
    size_t pos = kTop.size();
    while (pos < file.size()) {
        const size_t e = file.find("\r\n", pos);
        EXPECT_NE(e, std::string::npos);
        out.push_back(file.substr(pos, e - pos));
        pos = e + 2;
    }
    return out;
}

// Checks every signature of a file with a CRC computed here, line by line.
void expectSignaturesValid(const std::string& file) {
    uint8_t crc = 0;
    for (const std::string& line : bodyLines(file)) {
        const size_t open = line.rfind(" (");
        const bool record = line.size() > 6 && line.back() == ')' && open == line.size() - 6;
        if (line.empty())
            crc = 0;
        if (!record) {
            crc = crc8::update(crc, line.data(), line.size());
            crc = crc8::update(crc, "\r\n", 2);
            continue;
        }
        crc = crc8::update(crc, line.data(), open);
        EXPECT_EQ(std::stoi(line.substr(open + 2, 3)), crc) << line;
        crc = 0;
    }
}

} // namespace

TEST(OrxFormat, ExampleFileByteForByte) {
    const std::string expected = kTop + "\r\n" + utf8ToCp1251("D407 15 34826 © скважина 3, глубина 12 м") +
                                 "\r\n"
                                 "T3   SN 01234             100    200\r\n"
                                 "07.12.26 10:00:00 365V   -200    400 (239)\r\n"
                                 "07.12.26 14:00:00 364V   -198    401 (090)\r\n";
    EXPECT_EQ(orx::build(exampleTable(), {true}, kSaved), expected);
}

TEST(OrxFormat, NameSpacing) {
    EXPECT_EQ(orx::spacedName("D4071534826"), "D407 15 34826");
    EXPECT_EQ(orx::spacedName("D4071"), "D407 1 ");
    EXPECT_EQ(orx::spacedName("D40715"), "D407 15 ");
    EXPECT_EQ(orx::spacedName("D407"), "D407  ");
    EXPECT_EQ(orx::spacedName("D4"), "D4  ");
    EXPECT_EQ(orx::spacedName(""), "  ");
}

TEST(OrxFormat, FieldPaddings) {
    LoggerTable t;
    const int i = addLogger(t, "D0000000001", "", 12, -5, {0, -32768, 32767});
    addRecord(t, i, dt::encode(2025, 1, 2, 3, 4, 5), 5, {0, -32768, 0});
    addRecord(t, i, dt::encode(2025, 1, 2, 23, 59, 59), -32768, {1, 2, 3});
    const std::vector<std::string> lines = bodyLines(orx::build(t, {true}, kSaved));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "D000 00 00001 \xA9 "); // an empty comment leaves " © " at the end
    EXPECT_EQ(lines[2], "T12   SN 000-5               0 -32768  32767");
    // A record line is its text, then " (", three digits and ")".
    EXPECT_EQ(lines[3].substr(0, lines[3].size() - 6), "02.01.25 03:04:05   5V      0 -32768      0");
    EXPECT_EQ(lines[4].substr(0, lines[4].size() - 6), "02.01.25 23:59:59-32768V      1      2      3");
    expectSignaturesValid(orx::build(t, {true}, kSaved));
}

TEST(OrxFormat, RecordTimesAreRoundedToTheSecond) {
    LoggerTable t;
    const int i = addLogger(t, "D0000000001", "c", 1, 1, {1});
    // A hair below 10:00:00, as arithmetic on days produces it.
    addRecord(t, i, dt::encode(2026, 3, 1, 10) - 1e-9, 300, {1});
    EXPECT_EQ(bodyLines(orx::build(t, {true}, kSaved))[3].substr(0, 17), "01.03.26 10:00:00");
}

TEST(OrxFormat, SignatureChainsHeadingsIntoTheFirstRecordOnly) {
    LoggerTable a = exampleTable();
    addRecord(a, 0, dt::encode(2026, 12, 7, 14), 364, {-198, 401});
    LoggerTable b = a;
    b.loggers[0].LoggerComment = "other";
    b.loggers[0].StringSerial = 4321;
    const std::vector<std::string> la = bodyLines(orx::build(a, {true}, kSaved));
    const std::vector<std::string> lb = bodyLines(orx::build(b, {true}, kSaved));
    ASSERT_EQ(la.size(), 6u);
    // Equal later lines carry equal signatures, whatever the headings.
    EXPECT_EQ(la[4], la[5]);
    EXPECT_EQ(la[4], lb[4]);
    // The first record line signs the headings too.
    EXPECT_EQ(la[3].substr(0, 36), lb[3].substr(0, 36));
    EXPECT_NE(la[3], lb[3]);
    expectSignaturesValid(orx::build(a, {true}, kSaved));
    expectSignaturesValid(orx::build(b, {true}, kSaved));
}

TEST(OrxFormat, WhichLoggersAreWritten) {
    LoggerTable t = exampleTable();
    addLogger(t, "D0000000002", "no status", 0, 0, {});    // ticked, no sensor list
    addLogger(t, "D0000000003", "status only", 2, 7, {9}); // ticked, no records
    addLogger(t, "D0000000004", "unticked", 2, 8, {9});
    const std::vector<bool> ticks = {true, true, true, false};
    const std::string file = orx::build(t, ticks, kSaved);
    const std::vector<std::string> lines = bodyLines(file);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "D000 00 00003 \xA9 status only");
    EXPECT_EQ(lines[7], "T2   SN 00007               9");
    EXPECT_EQ(file.find("D000 00 00002"), std::string::npos);
    EXPECT_EQ(file.find("unticked"), std::string::npos);
    // Nothing ticked (or a tick list shorter than the table): only the four top lines.
    EXPECT_EQ(orx::build(t, {false, false, false, false}, kSaved), kTop);
    EXPECT_EQ(orx::build(t, {}, kSaved), kTop);
}

TEST(OrxFormat, BytesOfNamesAndCommentsPassThrough) {
    LoggerTable t;
    const std::string nul(1, '\0');
    const std::string comment = "\x98" + nul + "\xFF" + "abc";
    const int i = addLogger(t, "D\x98" + nul + "45678901", comment, 1, 1, {1});
    addRecord(t, i, kSaved, 1, {1});
    const std::string file = orx::build(t, {true}, kSaved);
    EXPECT_NE(file.find("D\x98" + nul + "4 56 78901 \xA9 " + comment + "\r\n"), std::string::npos);
    expectSignaturesValid(file);
}

TEST(OrxFormat, LargeTablesStreamInPieces) {
    // Many loggers and records cross the formatter's buffer many times; a huge comment goes
    // straight through. The result must equal what a line-by-line reference check accepts.
    LoggerTable t;
    std::vector<bool> ticks;
    for (int n = 0; n < 6; ++n) {
        const int i =
            addLogger(t, "D10000000" + std::to_string(10 + n), n == 2 ? std::string(3 << 20, 'k') : "c", 3, n,
                      std::vector<int16_t>(32, static_cast<int16_t>(n)));
        for (int r = 0; r < 3000; ++r)
            addRecord(t, i, 46000 + r / 24.0, static_cast<int16_t>(300 + r % 7),
                      std::vector<int16_t>(32, static_cast<int16_t>(r * 37 - 20000)));
        ticks.push_back(true);
    }
    const std::string file = orx::build(t, ticks, kSaved);
    EXPECT_EQ(bodyLines(file).size(), 6u * 3003u);
    expectSignaturesValid(file);
}

// A download cut short: the comment line names the loggers the file holds only in part, and
// every other byte, signatures included, is what the file would be without it.
TEST(OrxFormat, PartialLoggersAreNamedInTheCommentLine) {
    LoggerTable t = exampleTable();
    addLogger(t, "D0000000002", "no status", 0, 0, {});
    addLogger(t, "D0000000003", "status only", 2, 7, {9});
    addLogger(t, "D0000000004", "unticked", 2, 8, {9});
    const std::vector<bool> ticks = {true, true, true, false};
    const std::string plain = orx::build(t, ticks, kSaved);
    const std::string note = "//" + utf8ToCp1251("Загружены не полностью: ");
    const auto withNote = [&](const std::string& names) {
        std::string s = plain;
        return s.replace(kTop.size() - 2, 0, note.substr(2) + names);
    };
    EXPECT_EQ(orx::build(t, ticks, kSaved, {true, true, true, true}), withNote("D4071534826, D0000000003"))
        << "a logger not in the file is not named";
    EXPECT_EQ(orx::build(t, ticks, kSaved, {false, false, true, false}), withNote("D0000000003"));
    EXPECT_EQ(orx::build(t, ticks, kSaved, {false, true, false, true}), plain);
}

// The temporary file of a save is short whatever the target's name: a name the folder takes saves.
// One byte more is a bad path, told as a file that cannot be created, and leaves nothing behind.
TEST(OrxWriteFile, TheLongestNameAFolderTakesIsSaved) {
    TempDir dir;
    const std::string p = dir.file(std::string(251, 'a') + ".orx");
    ASSERT_EQ(WriteFile(p, exampleTable(), {true}, kSaved), orx::WriteResult::Ok);
    EXPECT_EQ(readBytes(p), orx::build(exampleTable(), {true}, kSaved));
    EXPECT_EQ(WriteFile(dir.file(std::string(252, 'a') + ".orx"), exampleTable(), {true}, kSaved),
              orx::WriteResult::CannotCreate);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A save killed midway leaves its temporary file: ours by name and untouched for a minute, it
// goes; anything else stays, a save in progress included.
TEST(TemporaryFiles, OnlyStaleOnesOfOursAreRemoved) {
    EXPECT_TRUE(fileio::isTemporaryName(".kv-aZ09xY.tmp"));
    for (const char* other : {".kv-aZ09x.tmp", ".kv-aZ09xYz.tmp", ".kv-aZ0-xY.tmp", "kv-aZ09xY.tmp",
                              ".kv-aZ09xY.tmpx", ".data.orx.tmp123"})
        EXPECT_FALSE(fileio::isTemporaryName(other)) << other;

    TempDir dir;
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(2);
    for (const char* name : {".kv-stale1.tmp", ".kv-fresh1.tmp", ".kv-stale1.tmp.keep", "data.orx"}) {
        writeBytes(dir.file(name), "x");
        if (std::string(name) != ".kv-fresh1.tmp")
            fs::last_write_time(dir.at(name), old);
    }
    fs::create_directory(dir.at(".kv-folder.tmp"));
    std::error_code ec; // Wine sets no folder's time
    fs::last_write_time(dir.at(".kv-folder.tmp"), old, ec);
    fileio::removeStaleTemporaries(dir.file(""));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path()))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".kv-folder.tmp", ".kv-fresh1.tmp", ".kv-stale1.tmp.keep",
                                              "data.orx"}));
}

namespace {

// A disk that fills after a given number of bytes.
class FullDisk : public fileio::AtomicFile {
public:
    explicit FullDisk(size_t room) : room_(room) {}

protected:
    bool writeRaw(const char* data, size_t size) override {
        if (size > room_) {
            fileio::AtomicFile::writeRaw(data, room_);
            room_ = 0;
            return false;
        }
        room_ -= size;
        return fileio::AtomicFile::writeRaw(data, size);
    }

private:
    size_t room_;
};

LoggerTable bigTable() {
    LoggerTable t;
    const int i = addLogger(t, "D4071534826", "c", 3, 1, std::vector<int16_t>(32, 1));
    for (int r = 0; r < 20000; ++r)
        addRecord(t, i, 46000 + r / 24.0, 365, std::vector<int16_t>(32, static_cast<int16_t>(r)));
    return t;
}

} // namespace

TEST(OrxWriteFile, WritesAndReplacesAtomically) {
    TempDir dir;
    const std::string p = dir.file("Архив/data.orx"); // the folder is created, one level
    ASSERT_EQ(WriteFile(p, exampleTable(), {true}, kSaved), orx::WriteResult::Ok);
    EXPECT_EQ(readBytes(p), orx::build(exampleTable(), {true}, kSaved));
    ASSERT_EQ(WriteFile(p, exampleTable(), {false}, kSaved), orx::WriteResult::Ok);
    EXPECT_EQ(readBytes(p), kTop);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.at("Архив")), fs::directory_iterator()), 1);
}

TEST(OrxWriteFile, AFailedWriteKeepsTheOldFile) {
    TempDir dir;
    const std::string p = dir.file("data.orx");
    writeBytes(p, "previous measurements");
    for (size_t room : {size_t(0), size_t(100), size_t(1) << 20, size_t(3) << 20}) {
        FullDisk disk(room);
        EXPECT_EQ(WriteFile(p, bigTable(), {true}, kSaved, disk), orx::WriteResult::WriteFailed) << room;
        EXPECT_EQ(readBytes(p), "previous measurements");
        // The half-written temporary file is gone too.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
    EXPECT_EQ(orxFailureMessage(orx::WriteResult::WriteFailed, p),
              "Критическая ошибка при сохранении файла " + p);
}

TEST(OrxWriteFile, TargetsThatCannotBeCreated) {
    TempDir dir;
    // A missing grandparent is a bad path: only one level is created.
    EXPECT_EQ(WriteFile(dir.file("a/b/data.orx"), exampleTable(), {true}, kSaved),
              orx::WriteResult::CannotCreate);
    EXPECT_FALSE(fs::exists(dir.at("a")));
    // A directory of that name stays a directory.
    fs::create_directory(dir.at("taken.orx"));
    EXPECT_EQ(WriteFile(dir.file("taken.orx"), exampleTable(), {true}, kSaved),
              orx::WriteResult::CannotCreate);
    EXPECT_TRUE(fs::is_directory(dir.at("taken.orx")));
    // A read-only file is not replaced.
    const std::string ro = dir.file("ro.orx");
    writeBytes(ro, "keep");
    fs::permissions(TempDir::u8(ro), fs::perms::owner_read);
    EXPECT_EQ(WriteFile(ro, exampleTable(), {true}, kSaved), orx::WriteResult::CannotCreate);
    fs::permissions(TempDir::u8(ro), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(readBytes(ro), "keep");
    // A folder path that is a file.
    writeBytes(dir.file("plain"), "x");
    EXPECT_EQ(WriteFile(dir.file("plain/data.orx"), exampleTable(), {true}, kSaved),
              orx::WriteResult::CannotCreate);
    EXPECT_EQ(orxFailureMessage(orx::WriteResult::CannotCreate, ro),
              "Файл " + ro + " занят другим приложением");
    EXPECT_EQ(orxFailureMessage(orx::WriteResult::Ok, ro), "");
}

#ifdef _WIN32
// A viewer or spreadsheet holding the old file open: the user is told it is taken, not that the
// save failed critically, and the old file stays.
TEST(OrxWriteFile, ATargetHeldOpenElsewhereIsBusy) {
    TempDir dir;
    const std::string p = dir.file("открыт.orx");
    writeBytes(p, "keep");
    const HANDLE held = CreateFileW(TempDir::u8(p).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WriteFile(p, exampleTable(), {true}, kSaved), orx::WriteResult::CannotCreate);
    CloseHandle(held);
    EXPECT_EQ(readBytes(p), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(WriteFile(p, exampleTable(), {true}, kSaved), orx::WriteResult::Ok);
}
#endif

TEST(OrxTargetName, OnlyTheLastSuffixOfTheFileName) {
    EXPECT_EQ(orxTargetName("/a/data.txt"), "/a/data.orx");
    EXPECT_EQ(orxTargetName("/a/a.b.c"), "/a/a.b.orx");
    EXPECT_EQ(orxTargetName("/a/data"), "/a/data.orx");
    EXPECT_EQ(orxTargetName("/a/data.orx"), "/a/data.orx");
    EXPECT_EQ(orxTargetName("/my.folder/data"), "/my.folder/data.orx");
    EXPECT_EQ(orxTargetName("/a/data."), "/a/data.orx");
    EXPECT_EQ(orxTargetName("/a/Замер №1.dat"), "/a/Замер №1.orx");
    EXPECT_EQ(orxTargetName("data.TXT"), "data.orx");
}
