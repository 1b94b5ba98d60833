#include "files/ConfigReader.h"

#include "TempDir.h"
#include "engine/LoggerTable.h"
#include "engine/UiSeams.h"
#include "files/Cp1251.h"
#include "tests/support/ScriptedMessages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

const std::string kExample = "// Group 7, east slope\r\n"
                             "// name          comment\r\n"
                             "Channel\t12\r\n"
                             "D4071534826\t" +
                             utf8ToCp1251("скважина 3, глубина 12 м") +
                             "\r\n"
                             "D4071534827\t" +
                             utf8ToCp1251("скважина 4") +
                             "\r\n"
                             "D4071534828\r\n";

std::vector<std::pair<std::string, std::string>> pairs(const ConfigParseResult& r) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& l : r.loggers)
        out.emplace_back(l.name, l.comment);
    return out;
}

} // namespace

TEST(ConfigParse, ExampleGroup) {
    const ConfigParseResult r = parseConfig(kExample);
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.channel, 12);
    ASSERT_EQ(r.loggers.size(), 3u);
    EXPECT_EQ(r.loggers[0].name, "D4071534826");
    EXPECT_EQ(cp1251ToUtf8(r.loggers[0].comment), "скважина 3, глубина 12 м");
    EXPECT_EQ(r.loggers[1].name, "D4071534827");
    EXPECT_EQ(cp1251ToUtf8(r.loggers[1].comment), "скважина 4");
    EXPECT_EQ(r.loggers[2].name, "D4071534828");
    EXPECT_EQ(r.loggers[2].comment, "");
}

TEST(ConfigParse, LineEndsOfEveryKind) {
    // LF alone, CR LF, and a last line without an end all give the same group; the CR never
    // joins a comment nor spoils a channel value.
    for (const std::string eol : {"\n", "\r\n"}) {
        const std::string text = "Channel 12" + eol + "D1234567890 c" + eol + "D0987654321 last";
        const ConfigParseResult r = parseConfig(text);
        EXPECT_TRUE(r.valid);
        EXPECT_EQ(r.channel, 12);
        EXPECT_EQ(pairs(r), (std::vector<std::pair<std::string, std::string>>{{"D1234567890", "c"},
                                                                              {"D0987654321", "last"}}));
        EXPECT_EQ(pairs(parseConfig(text + "\r")), pairs(r));
    }
    // A CR inside a line is a character like any other.
    EXPECT_EQ(parseConfig("D1234567890 a\rb\r\n").loggers.at(0).comment, "a\rb");
}

TEST(ConfigParse, ChannelLines) {
    struct Case {
        const char* line;
        bool valid;
        std::optional<int> channel;
    };
    const Case cases[] = {
        {"Channel1", true, {}},            // 8 characters: too short
        {"Channel 1", true, 1},            // key, one blank, one digit
        {"Channel12", true, 12},           // no blank needed at 9 characters
        {"Channel \t  7", true, 7},        // any blanks after the key
        {"Channel 12 ", false, {}},        // trailing blank
        {"Channel 12\t", false, {}},       // trailing tab
        {"Channel $1F", true, 31},         // hexadecimal after "$"
        {"Channel x1f", true, 31},         // after "x"
        {"Channel 0x1F", true, 31},        // after "0x"
        {"Channel -5", true, -5},          // a sign
        {"Channel +17", true, 17},         //
        {"Channel -$10", true, -16},       // a sign before hex
        {"Channel 1 2", false, {}},        // a blank inside
        {"Channel $", false, {}},          // no digits
        {"Channel   ", false, {}},         // nothing after the blanks
        {"Channel 1F", false, {}},         // hex digits without a prefix
        {"Channel $1G", false, {}},        //
        {"Channel 9999999999", false, {}}, // beyond the integer range
        {"Channel 2147483647", true, 2147483647},
        {"channel 12", true, {}},   // lower-case key: an ignored line
        {" Channel 12", true, {}},  // not at the start
        {"ChannelX 12", false, {}}, // the key is 7 characters; the rest is the value
        {"/Channel 12", true, {}},  // a comment
    };
    for (const Case& c : cases) {
        const ConfigParseResult r = parseConfig(std::string(c.line) + "\r\nD1234567890\r\n");
        EXPECT_EQ(r.valid, c.valid) << c.line;
        EXPECT_EQ(r.channel, c.channel) << c.line;
    }
    // Several Channel lines: the last one wins.
    EXPECT_EQ(parseConfig("Channel 16\nChannel 17\nChannel 18\n").channel, 18);
}

TEST(ConfigParse, LoggerLines) {
    const std::string text = "D123456789\n"         // 10 characters: ignored
                             "D1234567890\n"        // 11: a logger without a comment
                             "D1 \t \t comment  \n" // blanks before the comment skipped, after kept
                             "E1234567890 not a logger\n"
                             "/D1234567890 commented out\n"
                             "Dname-with-no-blank-at-all\n"
                             "Dsame  same\n"
                             "Dsame  same\n";
    const ConfigParseResult r = parseConfig(text);
    EXPECT_EQ(pairs(r), (std::vector<std::pair<std::string, std::string>>{
                            {"D1234567890", ""},
                            {"D1", "comment  "},
                            {"Dname-with-no-blank-at-all", ""},
                            {"Dsame", "same"},
                            {"Dsame", "same"},
                        }));
}

TEST(ConfigParse, BytesPassThroughUnchanged) {
    const std::string name("D\x98\xFF\x00\x01\xC0\x41xyz01", 12);
    const std::string comment("\x98 \xA9\x00\x7F", 5);
    const ConfigParseResult r = parseConfig(name + "\t" + comment + "\r\n");
    ASSERT_EQ(r.loggers.size(), 1u);
    EXPECT_EQ(r.loggers[0].name, name);
    EXPECT_EQ(r.loggers[0].comment, comment);
    EXPECT_EQ(cp1251ToUtf8(r.loggers[0].comment).substr(0, 3), "\xEF\xBF\xBD");
}

TEST(ConfigParse, FailureStopsReadingButKeepsEarlierChannels) {
    const ConfigParseResult r = parseConfig("Channel 17\nD1234567890\nChannel 5 \nChannel 19\nD0987654321\n");
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.failedLine, 3u);
    EXPECT_EQ(r.channel, 17);
    EXPECT_EQ(r.loggers.size(), 1u);
}

// The longest name a reply's first packet can carry beside its keyword; one byte more refuses the
// file at that line.
TEST(ConfigParse, LoggerNamesUpToWhatAReplyCanCarry) {
    const std::string longest = "D" + std::string(53, '7');
    const ConfigParseResult r = parseConfig("Channel 12\n" + longest + "\tcomment\n");
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.loggers.at(0).name, longest);
    const ConfigParseResult over = parseConfig("Channel 12\nD1234567890\n" + longest + "7 comment\n");
    EXPECT_FALSE(over.valid);
    EXPECT_EQ(over.failure, ConfigFailure::NameTooLong);
    EXPECT_EQ(over.failedLine, 3u);
}

// Editors that save UTF-8 put a byte-order mark before the first line; anywhere else it is text.
TEST(ConfigParse, AByteOrderMarkOpensOnlyTheFirstLine) {
    const std::string bom = "\xEF\xBB\xBF";
    for (size_t step : {1u, 2u, 4096u}) {
        ConfigParser p;
        const std::string text = bom + "Channel 12\r\nD1234567890\r\n" + bom + "Channel 13\r\n";
        for (size_t i = 0; i < text.size(); i += step)
            p.feed(std::string_view(text).substr(i, step));
        const ConfigParseResult r = p.finish();
        EXPECT_TRUE(r.valid) << step;
        EXPECT_EQ(r.channel, 12) << step;
        EXPECT_EQ(r.loggers.size(), 1u) << step;
    }
    EXPECT_EQ(parseConfig(bom + "D1234567890\n").loggers.at(0).name, "D1234567890");
}

TEST(ConfigParse, ChunkedFeedingMatchesWholeParse) {
    const std::string text = kExample + "Channel $10\nD12345678901 x\r\nDshortline\n" + std::string(54, 'D');
    const ConfigParseResult whole = parseConfig(text);
    for (size_t step : {1u, 2u, 3u, 7u, 64u, 4096u}) {
        ConfigParser p;
        for (size_t i = 0; i < text.size(); i += step)
            p.feed(std::string_view(text).substr(i, step));
        const ConfigParseResult r = p.finish();
        EXPECT_EQ(pairs(r), pairs(whole)) << step;
        EXPECT_EQ(r.channel, whole.channel) << step;
    }
    EXPECT_EQ(whole.loggers.back().name.size(), 54u);
}

TEST(ConfigParse, ExtensionRule) {
    EXPECT_TRUE(hasConfigExtension("/a/g.cfg"));
    EXPECT_TRUE(hasConfigExtension("/a/G.CFG"));
    EXPECT_TRUE(hasConfigExtension("xcfg")); // only the last three characters count
    EXPECT_FALSE(hasConfigExtension("cfg"));
    EXPECT_FALSE(hasConfigExtension("/a/g.cfg.txt"));
    EXPECT_FALSE(hasConfigExtension("/a/g.cf"));
}

namespace {

using rig::ScriptedMessages;

class CountingRows : public IRowNotifications {
public:
    void buildRows(const LoggerTable& t) override { built.push_back(t.LoggerCount); }
    void removeRows() override { ++removed; }
    void clearRowValues() override { ++cleared; }
    std::vector<int> built;
    int removed = 0, cleared = 0;
};

class FakeHost : public IConfigHost {
public:
    void setModemChannel(int c) override { channels.push_back(c); }
    void setCaption(const std::string& c) override { captions.push_back(c); }
    IMessages& messages() override { return msgs; }
    ScriptedMessages msgs;
    std::vector<int> channels;
    std::vector<std::string> captions;
};

class LoadConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override {
        table.setMessages(&host.msgs);
        table.setRowNotifications(&rows);
    }
    // A loaded group of two loggers, the first holding one downloaded record.
    void loadOldGroupWithData() {
        table.appendLogger("Dold0000001", "a");
        table.appendLogger("Dold0000002", "b");
        table.AllocateTable();
        table.ConfigFileName = "/old/group.cfg";
        auto& l = table.loggers[0];
        l.SensorCodes = {5};
        l.SensorReadings.resize(1);
        const int16_t reading = 7;
        table.appendRecord(0, 46000.5, 365, &reading, 1);
        ASSERT_EQ(table.LoadedRecordCount, 1);
    }

    TempDir dir;
    LoggerTable table;
    CountingRows rows;
    FakeHost host;
};

} // namespace

TEST_F(LoadConfigurationTest, LoadsTheExampleGroup) {
    const std::string p = dir.file("Группа 7.cfg");
    writeBytes(p, kExample);
    LoadConfiguration(p, table, host);
    EXPECT_TRUE(host.msgs.errors.empty());
    EXPECT_EQ(host.channels, std::vector<int>{12});
    EXPECT_EQ(host.captions, std::vector<std::string>{"Kestrovane - Группа 7.cfg"});
    ASSERT_EQ(table.LoggerCount, 3);
    EXPECT_EQ(table.loggers[2].LoggerName, "D4071534828");
    EXPECT_EQ(table.loggers[1].LoggerComment, utf8ToCp1251("скважина 4"));
    EXPECT_EQ(table.ConfigFileName, p);
    EXPECT_EQ(rows.built, std::vector<int>{3});
    EXPECT_TRUE(table.invariantsHold());
}

TEST_F(LoadConfigurationTest, UpperCaseExtensionIsAccepted) {
    const std::string p = dir.file("G.CFG");
    writeBytes(p, "D1234567890\n");
    LoadConfiguration(p, table, host);
    EXPECT_TRUE(host.msgs.errors.empty());
    EXPECT_EQ(table.LoggerCount, 1);
}

TEST_F(LoadConfigurationTest, DecliningTheQuestionKeepsEverything) {
    loadOldGroupWithData();
    const std::string p = dir.file("new.cfg");
    writeBytes(p, "Channel 18\nD1234567890\n");
    host.msgs.answer = false;
    rows.built.clear();
    LoadConfiguration(p, table, host);
    EXPECT_EQ(host.msgs.questions, std::vector<std::string>{LoggerTable::confirmationText()});
    EXPECT_TRUE(host.msgs.errors.empty());
    EXPECT_TRUE(host.channels.empty());
    EXPECT_TRUE(host.captions.empty());
    EXPECT_EQ(table.LoggerCount, 2);
    EXPECT_EQ(table.LoadedRecordCount, 1);
    EXPECT_EQ(table.ConfigFileName, "/old/group.cfg");
    EXPECT_EQ(rows.removed, 0);
}

TEST_F(LoadConfigurationTest, WrongExtensionIsRefusedAfterTheOldGroupIsGone) {
    loadOldGroupWithData();
    const std::string p = dir.file("g.cfg.txt");
    writeBytes(p, "D1234567890\n");
    LoadConfiguration(p, table, host);
    EXPECT_EQ(host.msgs.questions.size(), 1u);
    EXPECT_EQ(host.msgs.errors, std::vector<std::string>{"Файл " + p + " не поддерживается"});
    EXPECT_EQ(table.LoggerCount, 0);
    EXPECT_EQ(table.LoadedRecordCount, 0);
    EXPECT_TRUE(host.captions.empty());
    EXPECT_EQ(rows.removed, 1);
}

TEST_F(LoadConfigurationTest, UnopenablePathsAreDeniedWithoutTouchingTheCaption) {
    std::filesystem::create_directory(dir.at("folder.cfg"));
    std::vector<std::string> paths = {dir.file("missing.cfg"), dir.file("folder.cfg")};
#ifndef _WIN32
    // A pipe must not hang the window waiting for a writer; a device is never opened.
    const std::string fifo = dir.file("pipe.cfg");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string device = dir.file("zero.cfg");
    std::filesystem::create_symlink("/dev/zero", device);
    paths.push_back(fifo);
    paths.push_back(device);
#endif
    for (const std::string& p : paths) {
        host.msgs.errors.clear();
        LoadConfiguration(p, table, host);
        EXPECT_EQ(host.msgs.errors, std::vector<std::string>{"Отказано в доступе к " + p});
    }
    EXPECT_TRUE(host.captions.empty());
    EXPECT_EQ(table.LoggerCount, 0);
}

TEST_F(LoadConfigurationTest, AGroupWithoutLoggersIsRejected) {
    const std::string p = dir.file("empty.cfg");
    writeBytes(p, "// only comments\nChannel 21\n");
    LoadConfiguration(p, table, host);
    EXPECT_EQ(host.msgs.errors, std::vector<std::string>{"Файл " + p + " не содержит записей или поврежден"});
    EXPECT_EQ(host.captions, std::vector<std::string>{"Kestrovane"});
    EXPECT_EQ(host.channels, std::vector<int>{21}); // the value read stays in the control
    EXPECT_EQ(table.LoggerCount, 0);
    EXPECT_TRUE(table.ConfigFileName.empty());
}

TEST_F(LoadConfigurationTest, AnInvalidChannelRejectsTheWholeFile) {
    const std::string p = dir.file("bad.cfg");
    writeBytes(p, "Channel 17\r\nD1234567890\r\nChannel 12 \r\nD0987654321\r\n");
    LoadConfiguration(p, table, host);
    EXPECT_EQ(host.msgs.errors, std::vector<std::string>{"Файл " + p + " не содержит записей или поврежден"});
    EXPECT_EQ(host.channels, std::vector<int>{17});
    EXPECT_EQ(host.captions, std::vector<std::string>{"Kestrovane"});
    EXPECT_EQ(table.LoggerCount, 0);
    EXPECT_TRUE(rows.built.empty());
}

TEST_F(LoadConfigurationTest, ANameTooLongForAReplyIsRefusedWithItsLine) {
    const std::string p = dir.file("long.cfg");
    writeBytes(p, "Channel 17\r\nD1234567890\r\nD" + std::string(54, '1') + "\tc\r\n");
    LoadConfiguration(p, table, host);
    EXPECT_EQ(host.msgs.errors,
              std::vector<std::string>{"Файл " + p + " содержит имя логгера длиннее 54 символов (строка 3)"});
    EXPECT_EQ(host.captions, std::vector<std::string>{"Kestrovane"});
    EXPECT_EQ(table.LoggerCount, 0);
}

// Without a channel control to fall back on, a group that names no channel is refused.
TEST_F(LoadConfigurationTest, AChannelLineCanBeRequired) {
    const std::string p = dir.file("nochannel.cfg");
    writeBytes(p, "// Channel 20\r\nD1234567890\r\n");
    LoadConfiguration(p, table, host, ChannelLine::Required);
    EXPECT_EQ(host.msgs.errors, std::vector<std::string>{"Файл " + p + " не содержит строки Channel"});
    EXPECT_EQ(table.LoggerCount, 0);
    writeBytes(p, "Channel 20\r\nD1234567890\r\n");
    LoadConfiguration(p, table, host, ChannelLine::Required);
    EXPECT_EQ(table.LoggerCount, 1);
    EXPECT_EQ(host.channels, std::vector<int>{20});
}

// 10,000 loggers and lines of 64 KiB are read; one logger or one byte more refuses the file
// before rows or memory are spent on it.
TEST_F(LoadConfigurationTest, HostileSizesAreRefusedWithinASecond) {
    std::string group;
    for (int i = 0; i < 10000; ++i)
        group += "D" + std::to_string(4000000000LL + i) + "\tcomment " + std::to_string(i) + "\r\n";
    const std::string longest = "D1 " + std::string(64 * 1024 - 3, 'z');
    const std::string over = std::string(70 * 1024, 'z');
    struct Case {
        std::string text;
        int loggers; // 0: refused
    };
    const Case cases[] = {
        {group, 10000},
        {group + "D4010000000\r\n", 0},
        {longest + "\r\n", 1},
        {longest, 1},
        {"D1 " + over + "\r\n", 0},
        {"D1234567890\n//" + over + "\n", 0}, // an ignored line is held to it too
        {"D1234567890\nD1 " + over, 0},       // a last line without its end
    };
    for (const Case& c : cases) {
        const std::string p = dir.file("hostile.cfg");
        writeBytes(p, c.text);
        host.msgs.errors.clear();
        const auto start = std::chrono::steady_clock::now();
        LoadConfiguration(p, table, host);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.text.size();
        EXPECT_EQ(table.LoggerCount, c.loggers) << c.text.size();
        if (c.loggers == 0)
            EXPECT_EQ(host.msgs.errors,
                      std::vector<std::string>{"Файл " + p + " не содержит записей или поврежден"});
        else
            EXPECT_TRUE(host.msgs.errors.empty());
    }
}

TEST_F(LoadConfigurationTest, BinaryGarbageIsRejectedOrReadButNeverCrashes) {
    std::string junk;
    unsigned x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        junk.push_back(static_cast<char>(x >> 16));
    }
    const std::string p = dir.file("junk.cfg");
    writeBytes(p, junk);
    LoadConfiguration(p, table, host);
    const ConfigParseResult expected = parseConfig(junk);
    const bool loaded = expected.valid && !expected.loggers.empty();
    EXPECT_EQ(table.LoggerCount, loaded ? static_cast<int>(expected.loggers.size()) : 0);
    EXPECT_EQ(host.msgs.errors.size(), loaded ? 0u : 1u);
}

TEST_F(LoadConfigurationTest, FiftyMegabyteFileIsRead) {
    const std::string p = dir.file("big.cfg");
    {
        std::ofstream f(p, std::ios::binary);
        const std::string filler = "// " + std::string(1020, '-') + "\r\n";
        for (int i = 0; i < 50 * 1024; ++i)
            f << filler;
        f << "D1234567890 the only logger";
    }
    LoadConfiguration(p, table, host);
    EXPECT_TRUE(host.msgs.errors.empty());
    ASSERT_EQ(table.LoggerCount, 1);
    EXPECT_EQ(table.loggers[0].LoggerComment, "the only logger");
}
