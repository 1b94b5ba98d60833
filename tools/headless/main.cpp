// kestrovane-collect: downloads a group through the modem without any window and writes its
// measurement file; the serial backend is the platform's own. Meant for scheduled jobs.
#include "tools/headless/HeadlessDownload.h"

#include "files/ChannelRange.h"
#include "files/IniFile.h"
#include "platform/Clock.h"
#include "platform/FileLocations.h"
#include "serial/LinkLog.h"
#include "serial/LinkLogSerialOs.h"
#include "serial/TSerialPortDriver.h"
#include "tools/headless/StopSignals.h"

#ifdef KV_HAVE_REPORT
#include "report/VisitPdf.h"
#include <QGuiApplication>
#include <memory>
#endif

#ifdef _WIN32
#include "platform/AdapterSettingsWin32.h"
#include "platform/Win32SerialOs.h"
#include <io.h>
#else
#include "platform/AdapterSettingsLinux.h"
#include "platform/PosixSerialOs.h"
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {
constexpr const char* kProgram = "kestrovane-collect";

// The program's files as the main window finds them: the collector is installed beside it.
FileLocations programLocations(const char* argv0) {
    std::error_code ec;
    std::filesystem::path exe;
#ifdef __linux__
    exe = std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
    if (exe.empty())
        exe = std::filesystem::absolute(argv0, ec);
    const std::u8string dir = exe.parent_path().u8string();
    return FileLocations::forProgram(std::string(dir.begin(), dir.end()));
}

// The archive the program keeps, by the program's rule for its data folder. The archive sink
// makes its folder, and says so when it cannot.
std::string defaultArchivePath(const FileLocations& l) {
    return l.dataDir + "/archive.sqlite";
}

// A terminal gets a bar redrawn in place; a log file or a pipe gets whole lines only.
bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}
} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    headless::setRussian(headless::russianByEnvironment());
    headless::Options options;
    std::string error;
    if (!headless::parseOptions(args, options, error)) {
        std::fprintf(stderr, "%s: %s\n%s", kProgram, error.c_str(), headless::usageHint(kProgram).c_str());
        return headless::kUsage;
    }
    if (options.help) {
        std::fputs(headless::helpText(kProgram).c_str(), stdout);
        return headless::kOk;
    }
    if (options.version) {
        std::printf("%s (Kestrovane) %s\n", kProgram, KV_VERSION);
        return headless::kOk;
    }
    options.progressBar = stderrIsTerminal();
    options.timestamps = !options.progressBar;
    const FileLocations locations = programLocations(argc > 0 ? argv[0] : "");
    if (options.archivePath.empty())
        options.archivePath = defaultArchivePath(locations);
    // The channel range the window would allow, from the settings it would read.
    options.channels = ChannelRange::fromSettings(IniFile(locations.settingsFile));
    headless::installStopHandlers();
#ifdef KV_HAVE_CENTRAL
    if (options.pushOnly)
        return headless::pushToCentral(options, stderr);
#endif
    SystemClock& clock = SystemClock::instance();
#ifdef _WIN32
    Win32SerialOs os;
    Win32AdapterSettings adapter;
    IAdapterSettings* adapterSettings = &adapter;
#elif defined(__linux__)
    PosixSerialOs os(options.portDevice);
    LinuxAdapterSettings adapter(&os);
    IAdapterSettings* adapterSettings = &adapter;
#else
    PosixSerialOs os(options.portDevice);
    IAdapterSettings* adapterSettings = nullptr;
#endif
    // The link log sits between the driver and the system, so it sees every byte the driver does.
    LinkLog linkLog(clock);
    if (!options.linkLogFile.empty() && !linkLog.open(options.linkLogFile)) {
        std::fprintf(stderr, "%s: %s %s\n", kProgram,
                     headless::russian() ? "не удаётся записать журнал связи" : "cannot write the link log",
                     options.linkLogFile.c_str());
        return headless::kUsage;
    }
    LinkLogSerialOs loggedOs(os, linkLog);
    TSerialPortDriver port(loggedOs, clock);
#ifdef KV_HAVE_REPORT
    // Qt's PDF writer needs its fonts; no window is shown, so a cron job needs no display either.
    // Windows has its own platform plugin beside the program, always there.
    std::unique_ptr<QGuiApplication> app;
    if (!options.reportFile.empty()) {
#ifndef _WIN32
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
        static int qtArgc = 1;
        static char name[] = "kestrovane-collect";
        static char* qtArgv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
        options.writeReport = visitreport::writeReport;
    }
#endif
    const int code = headless::run(options, port, clock, adapterSettings, stderr);
    headless::runEnded();
    return code;
}
