#include "files/IniFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace fs = std::filesystem;

TEST(IniFileRead, MissingFileOrFolderGivesDefaultsAndCreatesNothing) {
    TempDir dir;
    IniFile ini(dir.file("ini/ProgSet.ini"));
    EXPECT_EQ(ini.readInteger("Main", "Height", 512), 512);
    EXPECT_EQ(ini.readString("Settings", "PortDevice", ""), "");
    EXPECT_TRUE(ini.readBool("Strategy", "Attempt1", true));
    EXPECT_FALSE(ini.readBool("Strategy", "Attempt3", false));
    EXPECT_FALSE(fs::exists(dir.at("ini")));
}

TEST(IniFileRead, IntegerGrammar) {
    TempDir dir;
    const std::string p = dir.file("s.ini");
    writeBytes(p, "[S]\nDec=42\nNeg=-7\nPlus=+3\nHex=0x1F\nHexUp=0XfF\nSpaced =  12  \n"
                  "Word=abc\nTrail=12a\nEmpty=\nDollar=$10\nHuge=99999999999999999999\n"
                  "Max=2147483647\nOver=2147483648\nMin=-2147483648\nHexHuge=0x100000000\nBare0x=0x\n"
                  "Float=3.5\n");
    IniFile ini(p);
    EXPECT_EQ(ini.readInteger("S", "Dec", 0), 42);
    EXPECT_EQ(ini.readInteger("S", "Neg", 0), -7);
    EXPECT_EQ(ini.readInteger("S", "Plus", 0), 3);
    EXPECT_EQ(ini.readInteger("S", "Hex", 0), 31);
    EXPECT_EQ(ini.readInteger("S", "HexUp", 0), 255);
    EXPECT_EQ(ini.readInteger("S", "Spaced", 0), 12);
    EXPECT_EQ(ini.readInteger("S", "Max", 0), 2147483647);
    EXPECT_EQ(ini.readInteger("S", "Min", 0), -2147483647 - 1);
    for (const char* bad : {"Word", "Trail", "Empty", "Dollar", "Huge", "Over", "HexHuge", "Bare0x", "Float"})
        EXPECT_EQ(ini.readInteger("S", bad, -99), -99) << bad;
    // Booleans read as integers: any non-zero is true, garbage is the default.
    EXPECT_TRUE(ini.readBool("S", "Neg", false));
    EXPECT_TRUE(ini.readBool("S", "Word", true));
    EXPECT_FALSE(ini.readBool("S", "Word", false));
}

TEST(IniFileRead, NamesMatchWithoutCaseAndFirstDuplicateWins) {
    TempDir dir;
    const std::string p = dir.file("s.ini");
    writeBytes(p, "top=1\r\n[main]\r\n; Height=1\r\nHEIGHT=600\r\nheight=700\r\n"
                  "[Other]\r\nHeight=800\r\n[MAIN]\r\nHeight=900\r\nWidth=1000\r\n");
    IniFile ini(p);
    EXPECT_EQ(ini.readInteger("Main", "Height", 0), 600);
    EXPECT_EQ(ini.readInteger("other", "height", 0), 800);
    // A key before any section belongs to none; a key of the second duplicate section is not seen.
    EXPECT_EQ(ini.readInteger("Main", "top", -1), -1);
    EXPECT_EQ(ini.readInteger("Main", "Width", -1), -1);
    EXPECT_EQ(ini.readString("Missing", "Height", "d"), "d");
}

TEST(IniFileRead, StringsAreTrimmedAndUnquoted) {
    TempDir dir;
    const std::string p = dir.file("s.ini");
    writeBytes(p, "[Settings]\nPortDevice = /dev/pts/%d \t\nQ=\"  padded \"\nEmpty=\nHalf=\"x\n");
    IniFile ini(p);
    EXPECT_EQ(ini.readString("Settings", "PortDevice", ""), "/dev/pts/%d");
    EXPECT_EQ(ini.readString("Settings", "Q", ""), "  padded ");
    EXPECT_EQ(ini.readString("Settings", "Empty", "def"), "");
    EXPECT_EQ(ini.readString("Settings", "Half", ""), "\"x");
}

TEST(IniFileWrite, CreatesFileWhenFolderExists) {
    TempDir dir;
    const std::string p = dir.file("ProgSet.ini");
    IniFile ini(p);
    ASSERT_TRUE(ini.writeInteger("Main", "Top", 10));
    ASSERT_TRUE(ini.writeInteger("Main", "Left", -20));
    ASSERT_TRUE(ini.writeBool("Strategy", "Attempt3", true));
    ASSERT_TRUE(ini.writeBool("Strategy", "Attempt1", false));
    EXPECT_EQ(readBytes(p), "[Main]\r\nTop=10\r\nLeft=-20\r\n\r\n[Strategy]\r\nAttempt3=1\r\nAttempt1=0\r\n");
    EXPECT_EQ(ini.readInteger("Main", "Left", 0), -20);
    EXPECT_TRUE(ini.readBool("Strategy", "Attempt3", false));
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(IniFileWrite, KeepsForeignContentInPlace) {
    TempDir dir;
    const std::string p = dir.file("s.ini");
    const std::string before = "; written by hand\r\n"
                               "[Main]\r\nTop = 5\r\nForeign=keep me\r\n\r\n"
                               "[Settings]\r\nMinChannel=3\r\nmaxchannel=0x20\r\n\r\n"
                               "[Unknown]\r\nx=y\r\n";
    writeBytes(p, before);
    IniFile ini(p);
    ASSERT_TRUE(ini.writeInteger("main", "TOP", 77));    // replaced in place, spelling kept
    ASSERT_TRUE(ini.writeInteger("Main", "Width", 800)); // added at the end of its section
    ASSERT_TRUE(ini.writeInteger("Settings", "Channel", 20));
    ASSERT_TRUE(ini.writeInteger("Analyzer", "Top", 512)); // new section at the end
    EXPECT_EQ(readBytes(p), "; written by hand\r\n"
                            "[Main]\r\nTop = 77\r\nForeign=keep me\r\nWidth=800\r\n\r\n"
                            "[Settings]\r\nMinChannel=3\r\nmaxchannel=0x20\r\nChannel=20\r\n\r\n"
                            "[Unknown]\r\nx=y\r\n\r\n"
                            "[Analyzer]\r\nTop=512\r\n");
    EXPECT_EQ(ini.readInteger("Settings", "MaxChannel", 0), 32);
}

TEST(IniFileWrite, FollowsLfFilesAndLastLineWithoutEnd) {
    TempDir dir;
    const std::string p = dir.file("s.ini");
    writeBytes(p, "[A]\nk=1");
    IniFile ini(p);
    ASSERT_TRUE(ini.writeString("A", "j", "2"));
    ASSERT_TRUE(ini.writeString("A", "k", "3"));
    EXPECT_EQ(readBytes(p), "[A]\nk=3\nj=2\n");
}

TEST(IniFileWrite, DuplicatesWriteTheKeyThatIsRead) {
    TempDir dir;
    const std::string p = dir.file("s.ini");
    writeBytes(p, "[A]\nk=1\nk=2\n[a]\nk=3\n");
    IniFile ini(p);
    ASSERT_TRUE(ini.writeInteger("A", "K", 9));
    EXPECT_EQ(ini.readInteger("A", "k", 0), 9);
    EXPECT_EQ(readBytes(p), "[A]\nk=9\nk=2\n[a]\nk=3\n");
}

TEST(IniFileWrite, LineEndsInAValueCannotInjectKeys) {
    TempDir dir;
    const std::string p = dir.file("s.ini");
    IniFile ini(p);
    ASSERT_TRUE(ini.writeString("Settings", "PortDevice", "/dev/x\r\n[Main]\r\nTop=999"));
    EXPECT_EQ(ini.readInteger("Main", "Top", 0), 0);
    EXPECT_EQ(ini.readString("Settings", "PortDevice", ""), "/dev/x  [Main]  Top=999");
}

TEST(IniFileWrite, FailuresLeaveEverythingAsItWas) {
    TempDir dir;
    // Folder missing.
    IniFile noFolder(dir.file("ini/ProgSet.ini"));
    EXPECT_FALSE(noFolder.writeInteger("Main", "Top", 1));
    EXPECT_FALSE(fs::exists(dir.at("ini")));
    // The path is a directory.
    fs::create_directory(dir.at("adir"));
    IniFile isDir(dir.file("adir"));
    EXPECT_FALSE(isDir.writeInteger("Main", "Top", 1));
    EXPECT_EQ(isDir.readInteger("Main", "Top", 4), 4);
    EXPECT_TRUE(fs::is_directory(dir.at("adir")));
    // A read-only file keeps its contents.
    const std::string ro = dir.file("ro.ini");
    writeBytes(ro, "[Main]\nTop=5\n");
    fs::permissions(TempDir::u8(ro), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    IniFile readOnly(ro);
    EXPECT_FALSE(readOnly.writeInteger("Main", "Top", 6));
    EXPECT_EQ(readOnly.readInteger("Main", "Top", 0), 5);
    fs::permissions(TempDir::u8(ro), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(readBytes(ro), "[Main]\nTop=5\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

#ifndef _WIN32
TEST(IniFileWrite, KeepsPermissionsOfAnExistingFile) {
    TempDir dir;
    const std::string p = dir.file("s.ini");
    writeBytes(p, "[A]\n");
    fs::permissions(TempDir::u8(p), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    IniFile ini(p);
    ASSERT_TRUE(ini.writeInteger("A", "k", 1));
    EXPECT_EQ(fs::status(TempDir::u8(p)).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

TEST(IniFileRobustness, GarbageBinaryAndHugeLinesNeverLoseForeignBytes) {
    TempDir dir;
    const std::string p = dir.file("s.ini");
    std::mt19937 rng(7);
    std::string garbage;
    for (int i = 0; i < 20000; ++i)
        garbage.push_back(static_cast<char>(rng() & 0xFF));
    garbage += std::string(3, '\0') + "\n[Main\n=\n[]\n===\n" + std::string(2 * 1024 * 1024, 'x') + "\n";
    writeBytes(p, garbage);
    IniFile ini(p);
    EXPECT_EQ(ini.readInteger("Main", "Top", 123), 123);
    ASSERT_TRUE(ini.writeInteger("Settings", "Port", 33));
    EXPECT_EQ(ini.readInteger("Settings", "Port", 0), 33);
    const std::string after = readBytes(p);
    // Everything that was there is still there, unchanged, at the start of the file.
    ASSERT_GE(after.size(), garbage.size());
    EXPECT_EQ(after.compare(0, garbage.size(), garbage), 0);
}

TEST(IniDocumentTest, RoundTripsAnyTextUnchanged) {
    std::mt19937 rng(11);
    const char alphabet[] = "[]=;\r\n \tabK0x\0";
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 200);
        for (int i = 0; i < n; ++i)
            text.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
        EXPECT_EQ(IniDocument(text).text(), text);
        IniDocument doc(text);
        doc.set("a", "K", "v");
        std::string value;
        ASSERT_TRUE(IniDocument(doc.text()).lookup("A", "k", value)) << text;
        EXPECT_EQ(value, "v");
    }
}
