#include "platform/FileLocations.h"
#include "tests/files/TempDir.h"

#include <gtest/gtest.h>

#include <map>

namespace {

constexpr auto kFreedesktop = FileLocations::Convention::Freedesktop;

struct FakeEnvironment {
    std::map<std::string, std::string> vars;
    FileLocations::Environment lookup() const {
        return [this](const char* name) {
            const auto it = vars.find(name);
            return it == vars.end() ? std::string() : it->second;
        };
    }
};

void makeDir(const TempDir& dir, const std::string& name) {
    std::filesystem::create_directories(dir.at(name));
}

// A path as the module gives it: normalised, so that Windows shows its own separators.
std::string expected(const TempDir& dir, const std::string& name) {
    const std::u8string u = dir.at(name).lexically_normal().u8string();
    return std::string(u.begin(), u.end());
}

} // namespace

TEST(FileLocations, WritableProgramFolderKeepsEverythingUnderItAndCreatesNothing) {
    TempDir dir;
    FakeEnvironment env{{{"HOME", dir.file("home")}}};
    const FileLocations l = FileLocations::decide(dir.file("bin"), true, env.lookup());
    EXPECT_TRUE(l.portable);
    EXPECT_EQ(l.settingsFile, expected(dir, "bin/ini/ProgSet.ini"));
    EXPECT_EQ(l.soundDir, expected(dir, "bin/sound"));
    EXPECT_EQ(l.archiveDir, expected(dir, "bin/Archive"));
    EXPECT_EQ(l.cfgDir, expected(dir, "bin/Cfg"));
    EXPECT_EQ(l.dataDir, expected(dir, "bin"));
    EXPECT_TRUE(l.prepareUserFolders());
    EXPECT_TRUE(l.prepareSettingsFolder());
    EXPECT_FALSE(std::filesystem::exists(dir.at("bin")));
}

// Installed: writable or not (root, a prefix in the home folder), the program's data come from the
// share folder beside it and the user's files go to the freedesktop places.
TEST(FileLocations, InstalledProgramUsesTheUsersFoldersAndTheShareFolder) {
    TempDir dir;
    makeDir(dir, "usr/share/kestrovane/sound");
    makeDir(dir, "config");
    writeBytes(dir.file("config/user-dirs.dirs"), "# written by xdg-user-dirs-update\n"
                                                  "XDG_DESKTOP_DIR=\"$HOME/Рабочий стол\"\n"
                                                  "XDG_DOCUMENTS_DIR=\"$HOME/Документы\"\n");
    FakeEnvironment env{{{"HOME", dir.file("home")},
                         {"XDG_CONFIG_HOME", dir.file("config")},
                         {"XDG_DATA_HOME", dir.file("data")}}};
    for (bool writable : {true, false}) {
        const FileLocations l =
            FileLocations::decide(dir.file("usr/bin"), writable, env.lookup(), kFreedesktop);
        EXPECT_FALSE(l.portable);
        EXPECT_EQ(l.settingsFile, expected(dir, "config/kestrovane/ProgSet.ini"));
        EXPECT_EQ(l.soundDir, expected(dir, "usr/share/kestrovane/sound"));
        EXPECT_EQ(l.archiveDir, expected(dir, "home/Документы/Kestrovane/Archive"));
        EXPECT_EQ(l.cfgDir, expected(dir, "home/Документы/Kestrovane/Cfg"));
        EXPECT_EQ(l.dataDir, expected(dir, "data/kestrovane"));
        EXPECT_EQ(l.examplesDir, expected(dir, "usr/share/kestrovane/Cfg"));
    }
}

// A copied folder that cannot be written (a read-only medium): its own sounds and examples, the
// user's files in the default freedesktop places; relative base directories do not count.
TEST(FileLocations, ReadOnlyCopiedFolderFallsBackToTheDefaultsUnderHome) {
    TempDir dir;
    FakeEnvironment env{{{"HOME", dir.file("home")}, {"XDG_CONFIG_HOME", "config"}}};
    const FileLocations l =
        FileLocations::decide(dir.file("stick/kestrovane"), false, env.lookup(), kFreedesktop);
    EXPECT_FALSE(l.portable);
    EXPECT_EQ(l.settingsFile, expected(dir, "home/.config/kestrovane/ProgSet.ini"));
    EXPECT_EQ(l.soundDir, expected(dir, "stick/kestrovane/sound"));
    EXPECT_EQ(l.archiveDir, expected(dir, "home/Documents/Kestrovane/Archive"));
    EXPECT_EQ(l.dataDir, expected(dir, "home/.local/share/kestrovane"));
    EXPECT_EQ(l.examplesDir, expected(dir, "stick/kestrovane/Cfg"));
}

TEST(FileLocations, UserFoldersAreMadeOnceWithTheExamplesCopiedIn) {
    TempDir dir;
    makeDir(dir, "usr/share/kestrovane/Cfg");
    writeBytes(dir.file("usr/share/kestrovane/Cfg/example.cfg"), "Channel 20\r\n");
    writeBytes(dir.file("usr/share/kestrovane/Cfg/notes.txt"), "not a group");
    std::filesystem::permissions(dir.at("usr/share/kestrovane/Cfg/example.cfg"),
                                 std::filesystem::perms::owner_read);
    FakeEnvironment env{{{"HOME", dir.file("home")}}};
    const FileLocations l = FileLocations::decide(dir.file("usr/bin"), false, env.lookup(), kFreedesktop);

    ASSERT_TRUE(l.prepareUserFolders());
    EXPECT_TRUE(std::filesystem::is_directory(dir.at("home/Documents/Kestrovane/Archive")));
    EXPECT_EQ(readBytes(l.cfgDir + "/example.cfg"), "Channel 20\r\n");
    const auto rights = std::filesystem::status(TempDir::u8(l.cfgDir + "/example.cfg")).permissions();
    EXPECT_NE(rights & std::filesystem::perms::owner_write, std::filesystem::perms::none)
        << "the copy can be edited";
    EXPECT_FALSE(std::filesystem::exists(TempDir::u8(l.cfgDir + "/notes.txt")));

    // The user's own choice stands: a deleted example does not come back.
    std::filesystem::remove(TempDir::u8(l.cfgDir + "/example.cfg"));
    ASSERT_TRUE(l.prepareUserFolders());
    EXPECT_FALSE(std::filesystem::exists(TempDir::u8(l.cfgDir + "/example.cfg")));

    EXPECT_FALSE(std::filesystem::exists(dir.at("home/.config/kestrovane")));
    ASSERT_TRUE(l.prepareSettingsFolder());
    EXPECT_TRUE(std::filesystem::is_directory(dir.at("home/.config/kestrovane")));
}

// Windows: a folder the installer made (its uninstaller beside the programs) or one the user cannot
// write keeps the sounds and examples beside the programs and the user's files in the Windows places;
// a copied folder the user can write stays portable.
TEST(FileLocations, WindowsInstallationUsesAppDataDocumentsAndLocalAppData) {
    TempDir dir;
    makeDir(dir, "Program Files/Kestrovane");
    writeBytes(dir.file("Program Files/Kestrovane/Uninstall.exe"), "MZ");
    FakeEnvironment env{{{"USERPROFILE", dir.file("Users/Пётр")},
                         {"APPDATA", dir.file("Users/Пётр/AppData/Roaming")},
                         {"LOCALAPPDATA", dir.file("Users/Пётр/AppData/Local")},
                         {"{Documents}", dir.file("Users/Пётр/Мои документы")}}};
    constexpr auto windows = FileLocations::Convention::Windows;
    for (bool writable : {true, false}) {
        const FileLocations l =
            FileLocations::decide(dir.file("Program Files/Kestrovane"), writable, env.lookup(), windows);
        EXPECT_FALSE(l.portable);
        EXPECT_EQ(l.settingsFile, expected(dir, "Users/Пётр/AppData/Roaming/Kestrovane/ProgSet.ini"));
        EXPECT_EQ(l.soundDir, expected(dir, "Program Files/Kestrovane/sound"));
        EXPECT_EQ(l.archiveDir, expected(dir, "Users/Пётр/Мои документы/Kestrovane/Archive"));
        EXPECT_EQ(l.cfgDir, expected(dir, "Users/Пётр/Мои документы/Kestrovane/Cfg"));
        EXPECT_EQ(l.dataDir, expected(dir, "Users/Пётр/AppData/Local/Kestrovane"));
        EXPECT_EQ(l.examplesDir, expected(dir, "Program Files/Kestrovane/Cfg"));
    }
    EXPECT_TRUE(FileLocations::decide(dir.file("Users/Пётр/Desktop/Kestrovane"), true, env.lookup(), windows)
                    .portable);
    const FileLocations readOnly =
        FileLocations::decide(dir.file("Program Files/Other"), false, env.lookup(), windows);
    EXPECT_EQ(readOnly.settingsFile, expected(dir, "Users/Пётр/AppData/Roaming/Kestrovane/ProgSet.ini"));
}
