#pragma once
#include <functional>
#include <string>

// Where the program's own files live. A program folder that the user can write and that is not an
// installation (the build folder, a copied folder, a Windows folder) keeps everything under it,
// so a folder carries its settings when copied. An installed program (its data in
// ../share/kestrovane beside its folder) or a folder the user cannot write uses the freedesktop
// places in the user's home instead. On Windows an installed program (an Uninstall.exe beside it,
// as the installer leaves) or a folder the user cannot write (Program Files) keeps its settings in
// %APPDATA%\Kestrovane, the user's files in Documents\Kestrovane and its own data in
// %LOCALAPPDATA%\Kestrovane. Every path is UTF-8.
struct FileLocations {
    // Reads one environment variable; "" when it is not set. On Windows "{Documents}" stands for
    // the user's documents folder, which no variable names.
    using Environment = std::function<std::string(const char* name)>;
    enum class Convention { Freedesktop, Windows };
#ifdef _WIN32
    static constexpr Convention kNative = Convention::Windows;
#else
    static constexpr Convention kNative = Convention::Freedesktop;
#endif

    bool portable = true;     // everything under the program folder, nothing created at start-up
    std::string settingsFile; // ProgSet.ini
    std::string soundDir;     // the notice sounds
    std::string archiveDir;   // where the save dialog starts and unattended saves go
    std::string cfgDir;       // where the open dialog starts
    std::string dataDir;      // the program's own data, kept beside its settings
    std::string examplesDir;  // example groups put into a new cfgDir (not in the portable layout)

    // The decision for a program folder, with its writability and the environment given.
    static FileLocations decide(const std::string& programDir, bool programDirWritable,
                                const Environment& env, Convention convention = kNative);
    // The same with the folder's real access rights and the process's environment.
    static FileLocations forProgram(const std::string& programDir);

    // Outside the portable layout: creates the Archive folder when missing, and the Cfg folder
    // with the example groups copied in when it is missing (a user who deletes an example keeps
    // it deleted). False when a folder cannot be made.
    bool prepareUserFolders() const;
    // Outside the portable layout: creates the settings file's folder before the first write. In
    // the portable layout a missing ini folder stays the user's choice, as it always was.
    bool prepareSettingsFolder() const;
};
