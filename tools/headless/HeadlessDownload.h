#pragma once
#include "files/ChannelRange.h"
#include "platform/DateTime.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class IAdapterSettings;
struct VisitReport;
class IClock;
class TSerialPortDriver;

// A group download without any window: the modem search, a download task over every logger of
// the group, and the measurement file, with the window's controls replaced by fixed values.
namespace headless {

struct Options {
    std::string groupFile;  // *.cfg
    std::string outFile;    // *.orx
    int port = 2;           // SpinPortNum: the port tried first
    int portMinimum = 2;    // SpinPortNum's minimum: where the full scan starts
    std::string portDevice; // Linux: device pattern for the port names ("%d" = number)
    bool fixedNow = false;  // take "now" from nowValue instead of the system clock
    TDateTime nowValue = 0;
    int blockPosition = 1; // TrackBarDataBlockSize
    bool attempts[3] = {true, true, false};
    int powers[3] = {0, 1, 2}; // RadioGrPower1..3 item indices
    int days = 31;             // the period starts at midnight this many days before now
    int setClockBeyond = -1;   // after its download a logger's clock off by more is set; -1: none
    bool verbose = false;      // every status text the window would show, one per line
    bool onlyNew = false;      // each logger from just after its newest archived record
    std::string archivePath;   // the record archive; empty: none (the caller sets the default)
    std::string central;       // the central database's connection string; empty: no push
    bool pushOnly = false;     // no download: push the record archive to the central database
    ChannelRange channels;     // the program's MinChannel…MaxChannel: the group's channel is kept within
    bool progressBar = false;  // a bar redrawn in place: the log is a terminal
    bool timestamps = false;   // each line starts with the time: the log is a file or a pipe
    std::string reportFile;    // the visit report (PDF, and its CSV beside it); empty: none
    std::string linkLogFile;   // the link log, written by the caller's serial layer; empty: none
    // Writes the report (Qt's PDF writer, set by the program where it is built); false with why.
    std::function<bool(const VisitReport&, const std::string& path, std::string& error)> writeReport;
    bool help = false; // --help or --version: print and end, nothing else is checked
    bool version = false;
};

enum ExitCode : int {
    kOk = 0,
    kUsage = 2,
    kGroupRefused = 3,
    kNoModem = 4,
    kTaskRefused = 5,
    kIncomplete = 6, // some logger did not finish, or a signal ended the run: the file holds what came
    kWriteFailed = 7,
    kArchiveIncomplete = 8, // some records could not be kept in the record archive; the file holds them
    kCentralIncomplete = 9, // the central database did not take every record; they wait in the archive
};

// The collector speaks Russian like the program, or English; every text below follows this.
// English until set, so that a caller's tests read the same on any system.
void setRussian(bool russian);
bool russian();
// What the environment asks for: English for LC_ALL, LC_MESSAGES or LANG (the first one set) of
// "C", "POSIX" or "en…", Russian otherwise.
bool russianByEnvironment();

// Parses the command line (argv without the program name); false with a message on bad input.
bool parseOptions(const std::vector<std::string>& args, Options& out, std::string& error);
// The whole --help text: synopsis, options and exit codes.
std::string helpText(const char* program);
// The synopsis and a pointer at --help, for a mistyped command line.
std::string usageHint(const char* program);

// Sets up the port as the program does at start-up, finds the modem, downloads and writes the
// file. Progress and errors go to log (UTF-8). The port's OS layer and the clock are the caller's.
int run(const Options& options, TSerialPortDriver& port, IClock& clock, IAdapterSettings* adapter,
        std::FILE* log);

// Sends what the central database lacks of the record archive (HeadlessPush.cpp): kOk when
// nothing waits afterwards, kCentralIncomplete otherwise, the reason in the log.
int pushToCentral(const Options& options, std::FILE* log);

} // namespace headless
