#include "OrxTestSupport.h"

#include "orxparse/OrxParser.h"

#include <gtest/gtest.h>

#include <random>

using namespace orxtest;

namespace {

orx::OrxFile parse(const std::string& bytes) {
    return orx::parseOrx(bytes, kYear);
}

// Line numbers of the lines reported with a failing signature.
std::vector<uint64_t> badSignatureLines(const orx::OrxFile& f) {
    std::vector<uint64_t> out;
    for (const auto& p : f.problems) {
        if (p.kind == orx::ProblemKind::BadSignature)
            out.push_back(p.line);
    }
    return out;
}

bool hasProblem(const orx::OrxFile& f, orx::ProblemKind kind, uint64_t line) {
    for (const auto& p : f.problems) {
        if (p.kind == kind && p.line == line)
            return true;
    }
    return false;
}

} // namespace

TEST(OrxExample, OpensWithItsTwoRecordsAndNoWarning) {
    for (const char* eol : {"\r\n", "\n"}) {
        SCOPED_TRACE(eol[0] == '\r' ? "CR LF" : "LF");
        const orx::OrxFile f = parse(exampleFile(eol));
        EXPECT_EQ(f.problemCount, 0u);
        EXPECT_EQ(f.badSignatureLines, 0u);
        EXPECT_EQ(f.lineCount, 9u);
        ASSERT_TRUE(f.hasCreated);
        EXPECT_EQ(dt::formatDateTime(f.created), "07.12.26 11:05:42");
        ASSERT_EQ(f.loggers.size(), 1u);
        const orx::Logger& l = f.loggers[0];
        EXPECT_EQ(l.LoggerName, "D4071534826");
        EXPECT_EQ(l.LoggerComment, utf8ToCp1251("скважина 3, глубина 12 м"));
        EXPECT_EQ(l.StringType, 3);
        EXPECT_EQ(l.StringSerial, 1234);
        EXPECT_EQ(l.SensorCodes, (std::vector<int32_t>{100, 200}));
        ASSERT_EQ(l.recordCount(), 2u);
        EXPECT_EQ(l.RecordTimes[0], dt::encode(2026, 12, 7, 10, 0, 0));
        EXPECT_EQ(l.RecordTimes[1], dt::encode(2026, 12, 7, 14, 0, 0));
        EXPECT_EQ(l.firstTime, l.RecordTimes[0]);
        EXPECT_EQ(l.lastTime, l.RecordTimes[1]);
        EXPECT_EQ(l.RecordVoltages, (std::vector<int32_t>{365, 364}));
        EXPECT_EQ(l.SensorReadings[0], (std::vector<int32_t>{-200, -198}));
        EXPECT_EQ(l.SensorReadings[1], (std::vector<int32_t>{400, 401}));
        EXPECT_EQ(l.recordLines, (std::vector<uint32_t>{8, 9}));
        EXPECT_EQ(l.signatureOk, (std::vector<uint8_t>{1, 1}));
        EXPECT_EQ(l.emptyLine, 5u);
        EXPECT_EQ(l.nameLine, 6u);
        EXPECT_EQ(l.stringLine, 7u);
    }
}

TEST(OrxExample, SameResultWhateverTheReadPieces) {
    const std::string text = exampleFile();
    orx::OrxParser parser(kYear);
    for (char c : text)
        parser.feed(&c, 1);
    const orx::OrxFile f = parser.finish();
    EXPECT_EQ(f.problemCount, 0u);
    ASSERT_EQ(f.loggers.size(), 1u);
    EXPECT_EQ(f.loggers[0].recordCount(), 2u);
    EXPECT_EQ(f.loggers[0].LoggerComment, utf8ToCp1251("скважина 3, глубина 12 м"));
}

// Every digit of the heading and of the records, changed to each other digit: the signature that
// covers it fails, on its line, and no other.
TEST(OrxSignature, AChangedDigitIsFlaggedOnTheLineWhoseSignatureCoversIt) {
    const std::vector<std::string> lines = splitLines(exampleFile());
    // 0-based line index -> the 1-based line of the covering signature
    const std::pair<size_t, uint64_t> covered[] = {{5, 8}, {6, 8}, {7, 8}, {8, 9}};
    int cases = 0;
    for (auto [index, signedAt] : covered) {
        const std::string& original = lines[index];
        const size_t end = original.rfind(" (") == std::string::npos ? original.size() : original.rfind(" (");
        for (size_t pos = 0; pos < end; ++pos) {
            if (original[pos] < '0' || original[pos] > '9')
                continue;
            for (char d = '0'; d <= '9'; ++d) {
                if (d == original[pos])
                    continue;
                std::vector<std::string> edited = lines;
                edited[index][pos] = d;
                const orx::OrxFile f = parse(joinLines(edited));
                SCOPED_TRACE("line " + std::to_string(index + 1) + " pos " + std::to_string(pos) + " -> " +
                             d);
                EXPECT_EQ(badSignatureLines(f), std::vector<uint64_t>{signedAt});
                EXPECT_EQ(f.badSignatureLines, 1u);
                ++cases;
            }
        }
    }
    EXPECT_GT(cases, 300);
}

TEST(OrxSignature, AChangedLetterInTheNameOrCommentIsFlaggedOnTheFirstRecord) {
    const std::vector<std::string> lines = splitLines(exampleFile());
    for (size_t pos : {size_t{0}, size_t{2}, size_t{17}, lines[5].size() - 1}) {
        std::vector<std::string> edited = lines;
        edited[5][pos] = edited[5][pos] == 'X' ? 'Y' : 'X';
        const orx::OrxFile f = parse(joinLines(edited));
        SCOPED_TRACE(pos);
        EXPECT_EQ(badSignatureLines(f), std::vector<uint64_t>{8});
        ASSERT_EQ(f.loggers.size(), 1u);
        EXPECT_EQ(f.loggers[0].signatureOk, (std::vector<uint8_t>{0, 1}));
        EXPECT_EQ(f.loggers[0].badSignatures, 1u);
    }
}

TEST(OrxSignature, EditsOfTheLineShapeAreFlaggedToo) {
    const std::vector<std::string> lines = splitLines(exampleFile());
    struct Case {
        const char* what;
        size_t index;
        std::string replacement;
        uint64_t flagged;
    };
    const Case cases[] = {
        {"signature digit", 8, "07.12.26 14:00:00 364V   -198    401 (091)", 9},
        {"space before the signature", 8, "07.12.26 14:00:00 364V   -198    401(090)", 9},
        {"extra space before the signature", 8, "07.12.26 14:00:00 364V   -198    401  (090)", 9},
        {"signature removed", 7, "07.12.26 10:00:00 365V   -200    400", 8},
        {"column moved", 7, "07.12.26 10:00:00 365V  -200     400 (239)", 8},
        {"comment emptied", 5, utf8ToCp1251("D407 15 34826 © "), 8},
        {"empty line with a space", 4, " ", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> edited = lines;
        edited[c.index] = c.replacement;
        const orx::OrxFile f = parse(joinLines(edited));
        EXPECT_EQ(badSignatureLines(f), std::vector<uint64_t>{c.flagged});
    }
}

TEST(OrxSignature, TopLinesAreNotSignedAndAnExtraBlankLineChangesNoData) {
    std::vector<std::string> lines = splitLines(exampleFile());
    lines[2] = utf8ToCp1251("//Комментарии: проверено");
    lines.insert(lines.begin() + 4, "");
    const orx::OrxFile f = parse(joinLines(lines));
    EXPECT_EQ(f.problemCount, 0u);
    ASSERT_EQ(f.loggers.size(), 1u);
    EXPECT_EQ(f.loggers[0].recordLines, (std::vector<uint32_t>{9, 10}));
}

TEST(OrxNames, TheNameLineSpacingIsUndoneForEveryLength) {
    std::string name;
    for (int len = 0; len <= 14; ++len) {
        const std::string spaced = orx::spaceName(name);
        ASSERT_EQ(spaced.size(), name.size() + 2);
        std::string back;
        EXPECT_TRUE(orx::unspaceName(spaced, back)) << len;
        EXPECT_EQ(back, name);
        name.push_back(static_cast<char>('A' + len));
    }
    EXPECT_EQ(orx::spaceName("D4071534826"), "D407 15 34826");
    EXPECT_EQ(orx::spaceName("AB"), "AB  ");
    std::string out;
    EXPECT_FALSE(orx::unspaceName("D4071534826", out));
    EXPECT_EQ(out, "D4071534826");
    EXPECT_FALSE(orx::unspaceName("D407 1534 826", out));
    EXPECT_FALSE(orx::unspaceName("X", out));
}

TEST(OrxFormat, ShapesTheExampleLacksReadBackExactly) {
    TestLogger a;
    a.name = "AB";
    a.comment = "";
    a.type = 12;
    a.serial = -5; // written "000-5"
    a.codes = {-32768, 32767, 0};
    a.times = {dt::encode(2026, 1, 31, 23, 59, 59), dt::encode(2026, 2, 1, 0, 0, 0),
               dt::encode(2026, 2, 1, 0, 0, 1)};
    a.voltages = {5, 12345, -1234}; // "   5V"; and two that leave no space after the time
    a.readings = {{-32768, 32767, 0}, {0, 0, 0}, {1, -1, 7}};
    TestLogger b;
    b.name = utf8ToCp1251("Скв-12345678");
    b.comment = utf8ToCp1251("с запятой, \"кавычками\" и © знаком");
    b.codes = {1};
    TestLogger c = a;
    c.name = "D4071534827";
    c.times = {dt::encode(2026, 3, 1, 12, 0, 0)};
    c.voltages = {364};
    c.readings = {{-200, 400, 3}};
    const std::string text = buildFile({a, b, c});
    ASSERT_NE(text.find("000-5"), std::string::npos);
    ASSERT_NE(text.find("23:59:59   5V"), std::string::npos);
    ASSERT_NE(text.find("00:00:0012345V"), std::string::npos);
    ASSERT_NE(text.find(utf8ToCp1251("AB   © \r\n")), std::string::npos);

    const orx::OrxFile f = parse(text);
    EXPECT_EQ(f.problemCount, 0u) << (f.problems.empty() ? "" : f.problems[0].message);
    ASSERT_EQ(f.loggers.size(), 3u);
    const std::vector<TestLogger> want = {a, b, c};
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        const orx::Logger& l = f.loggers[i];
        const TestLogger& w = want[i];
        EXPECT_EQ(l.LoggerName, w.name);
        EXPECT_EQ(l.LoggerComment, w.comment);
        EXPECT_EQ(l.StringType, w.type);
        EXPECT_EQ(l.StringSerial, w.serial);
        EXPECT_EQ(l.SensorCodes, std::vector<int32_t>(w.codes.begin(), w.codes.end()));
        ASSERT_EQ(l.recordCount(), w.times.size());
        for (size_t n = 0; n < w.times.size(); ++n) {
            EXPECT_EQ(l.RecordTimes[n], w.times[n]);
            EXPECT_EQ(l.RecordVoltages[n], w.voltages[n]);
            for (size_t k = 0; k < w.codes.size(); ++k)
                EXPECT_EQ(l.SensorReadings[k][n], w.readings[n][k]);
            EXPECT_EQ(l.signatureOk[n], 1);
        }
    }
}

TEST(OrxBadInput, RecordsBeforeAnyLoggerAreKeptAndReported) {
    std::vector<std::string> lines = splitLines(exampleFile());
    lines.erase(lines.begin() + 4, lines.begin() + 7); // empty, name and string lines gone
    const orx::OrxFile f = parse(joinLines(lines));
    EXPECT_TRUE(hasProblem(f, orx::ProblemKind::RecordBeforeLogger, 5));
    ASSERT_EQ(f.loggers.size(), 1u);
    const orx::Logger& l = f.loggers[0];
    EXPECT_FALSE(l.hasHeading());
    EXPECT_EQ(l.sensorCount(), 2u);
    EXPECT_EQ(l.recordCount(), 2u);
    // The first record's signature covered the heading that is gone; the second stands on its own.
    EXPECT_EQ(badSignatureLines(f), std::vector<uint64_t>{5});
}

TEST(OrxBadInput, MissingHeadingLinesAreReportedWhereTheyWereExpected) {
    const std::vector<std::string> lines = splitLines(exampleFile());
    {
        std::vector<std::string> v = lines;
        v.erase(v.begin() + 6); // string line
        const orx::OrxFile f = parse(joinLines(v));
        EXPECT_TRUE(hasProblem(f, orx::ProblemKind::MissingHeading, 7));
        ASSERT_EQ(f.loggers.size(), 1u);
        EXPECT_EQ(f.loggers[0].LoggerName, "D4071534826");
        EXPECT_EQ(f.loggers[0].sensorCount(), 2u);
        EXPECT_EQ(f.loggers[0].recordCount(), 2u);
        EXPECT_EQ(badSignatureLines(f), std::vector<uint64_t>{7});
    }
    {
        std::vector<std::string> v = lines;
        v.erase(v.begin() + 5); // name line
        const orx::OrxFile f = parse(joinLines(v));
        EXPECT_TRUE(hasProblem(f, orx::ProblemKind::MissingHeading, 6));
        ASSERT_EQ(f.loggers.size(), 1u);
        EXPECT_EQ(f.loggers[0].SensorCodes, (std::vector<int32_t>{100, 200}));
        EXPECT_EQ(badSignatureLines(f), std::vector<uint64_t>{7});
    }
    {
        std::vector<std::string> v = lines;
        v[0] = "Created by hand";
        const orx::OrxFile f = parse(joinLines(v));
        EXPECT_TRUE(hasProblem(f, orx::ProblemKind::MissingHeading, 1));
        EXPECT_FALSE(f.hasCreated);
        ASSERT_EQ(f.loggers.size(), 1u);
        EXPECT_EQ(f.loggers[0].recordCount(), 2u);
        EXPECT_EQ(f.badSignatureLines, 0u);
    }
}

TEST(OrxBadInput, ABadFieldDropsItsRecordOnlyAndNamesTheLine) {
    const std::vector<std::string> lines = splitLines(exampleFile());
    const std::pair<const char*, std::string> cases[] = {
        {"letter in a reading", "07.12.26 10:00:00 365V   -2x0    400 (239)"},
        {"impossible date", "32.12.26 10:00:00 365V   -200    400 (239)"},
        {"impossible time", "07.12.26 24:00:00 365V   -200    400 (239)"},
        {"voltage without V", "07.12.26 10:00:00 365    -200    400 (239)"},
        {"reading too long", "07.12.26 10:00:00 365V   -200    99999999999 (239)"},
        {"letter in the date", "07.1x.26 10:00:00 365V   -200    400 (239)"},
    };
    for (const auto& [what, line] : cases) {
        SCOPED_TRACE(what);
        std::vector<std::string> v = lines;
        v[7] = line;
        const orx::OrxFile f = parse(joinLines(v));
        EXPECT_TRUE(hasProblem(f, orx::ProblemKind::BadField, 8));
        EXPECT_EQ(f.droppedLines, 1u);
        ASSERT_EQ(f.loggers.size(), 1u);
        EXPECT_EQ(f.loggers[0].recordLines, std::vector<uint32_t>{9});
        EXPECT_EQ(f.loggers[0].signatureOk, std::vector<uint8_t>{1});
    }
    std::vector<std::string> v = lines;
    v[8] = "07.12.26 14:00:00 364V   -198    401      5 (090)";
    const orx::OrxFile f = parse(joinLines(v));
    EXPECT_TRUE(hasProblem(f, orx::ProblemKind::WrongCount, 9));
    EXPECT_EQ(f.loggers[0].recordCount(), 1u);
}

TEST(OrxBadInput, AFileResavedAsUtf8IsReadAndFlagged) {
    std::string text = exampleFile();
    const std::string name = utf8ToCp1251("D407 15 34826 © скважина 3, глубина 12 м");
    const std::string utf8Name = "D407 15 34826 © скважина 3, глубина 12 м";
    text.replace(text.find(name), name.size(), utf8Name);
    const orx::OrxFile f = parse(text);
    ASSERT_EQ(f.loggers.size(), 1u);
    EXPECT_TRUE(f.loggers[0].textIsUtf8);
    EXPECT_EQ(f.loggers[0].LoggerName, "D4071534826");
    EXPECT_EQ(f.loggers[0].LoggerComment, "скважина 3, глубина 12 м");
    EXPECT_EQ(badSignatureLines(f), std::vector<uint64_t>{8});
}

TEST(OrxBadInput, TruncatedAnywhereNeverLosesTheIntactRecords) {
    const std::string text = exampleFile();
    const size_t lastStart = text.rfind("07.12.26 14");
    for (size_t n = 0; n <= text.size(); ++n) {
        const orx::OrxFile f = parse(text.substr(0, n));
        const size_t records = f.recordCount();
        ASSERT_LE(records, 2u) << n;
        if (n > lastStart && n < text.size() - 2) {
            // The cut line is either not read or kept as a record whose signature fails.
            const orx::Logger& l = f.loggers[0];
            EXPECT_EQ(l.recordLines[0], 8u);
            EXPECT_EQ(l.signatureOk[0], 1);
            EXPECT_EQ(f.droppedLines + records, 2u) << n;
            if (records == 2) {
                EXPECT_EQ(l.signatureOk[1], 0) << n;
            }
            if (n >= lastStart + 17) {
                EXPECT_EQ(f.badSignatureLines, 1u) << n; // the cut line lost its signature
            }
        }
    }
    EXPECT_EQ(parse(text.substr(0, text.size() - 2)).badSignatureLines, 0u); // only the last CR LF is gone
}

TEST(OrxBadInput, GarbageNeverCrashesAndKeepsItsProblemsBounded) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        std::string junk(rng() % 4000, '\0');
        for (char& c : junk)
            c = static_cast<char>(rng() % 256);
        if (round % 3 == 0) { // mostly well-formed lines, damaged here and there
            junk = exampleFile() + exampleFile().substr(rng() % 200);
            for (int k = 0; k < 5; ++k)
                junk[rng() % junk.size()] = static_cast<char>(rng() % 256);
        }
        const orx::OrxFile f = parse(junk);
        EXPECT_LE(f.problems.size(), orx::OrxFile::kMaxStoredProblems);
        for (const orx::Logger& l : f.loggers) {
            for (const auto& s : l.SensorReadings)
                ASSERT_EQ(s.size(), l.recordCount());
            ASSERT_EQ(l.recordLines.size(), l.recordCount());
        }
    }
    std::string junkLines;
    for (int i = 0; i < 20000; ++i)
        junkLines += "junk\r\n";
    const orx::OrxFile capped = parse(junkLines);
    EXPECT_EQ(capped.problemCount, 20001u); // the missing first line, then every junk line
    EXPECT_EQ(capped.problems.size(), orx::OrxFile::kMaxStoredProblems);
}

TEST(OrxBadInput, LinesOfSeveralMegabytes) {
    std::string text = exampleFile();
    std::string huge = "07.12.26 15:00:00 364V";
    while (huge.size() < 5'000'000)
        huge += "      1";
    huge += " (000)";
    text += huge + "\r\n";
    text += utf8ToCp1251("D407 15 34826 © ") + std::string(3'000'000, '\xE0') + "\r\n";
    const orx::OrxFile f = parse(text);
    EXPECT_TRUE(hasProblem(f, orx::ProblemKind::WrongCount, 10));
    EXPECT_TRUE(hasProblem(f, orx::ProblemKind::MissingHeading, 11));
    ASSERT_EQ(f.loggers.size(), 2u);
    EXPECT_EQ(f.loggers[0].recordCount(), 2u);
    EXPECT_EQ(f.loggers[1].LoggerComment.size(), 3'000'000u);
}
