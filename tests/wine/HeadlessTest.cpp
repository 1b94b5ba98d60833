// The console downloader against the in-process simulator on a fake clock: the same code path as
// kestrovane-collect on a real port, minus the operating system.
#include "tools/headless/HeadlessDownload.h"

#include "platform/FakeClock.h"
#include "serial/TSerialPortDriver.h"
#include "sim/FixedNowClock.h"
#include "sim/Scenario.h"
#include "sim/SimDevices.h"
#include "sim/SimSerialOs.h"
#include "tests/files/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

namespace {

const TDateTime kFixed = dt::encode(2026, 12, 7, 12, 0, 0);

std::string group(const std::vector<std::string>& names, int channel = 20) {
    std::string s = "// test group\r\nChannel " + std::to_string(channel) + "\r\n";
    for (const std::string& n : names)
        s += n + "\tcomment of " + n + "\r\n";
    return s;
}

std::string logger(const std::string& name, int count, const std::string& extra = {}) {
    return R"({"name": ")" + name + R"(", "channel": 20, "sensors": [1, 2, 3], "period": 3,
        "replyDelayMs": 20, "generate": {"count": )" +
           std::to_string(count) + "}" + extra + "}";
}

std::string scenario(const std::string& loggers, int port = 6, const std::string& id = "M742 SIM v1.0") {
    return R"({"seed": 5, "modem": {"port": )" + std::to_string(port) + R"(, "id": ")" + id +
           R"("}, "loggers": [)" + loggers + "]}";
}

size_t recordLines(const std::string& file) {
    static const std::regex record(R"(\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d +-?\d+V.*\(\d+\)\r)");
    std::istringstream in(file);
    size_t n = 0;
    for (std::string line; std::getline(in, line);)
        n += std::regex_match(line, record) ? 1 : 0;
    return n;
}

struct RunResult {
    int code = -1;
    std::string file;
    std::string log;
    std::vector<SimDevices::AirEvent> air;
    std::vector<std::pair<std::string, bool>> opens;
    bool portOpenAfter = true;
};

// One whole run: the simulator's date-time fixed like the program's, the wall clock anywhere.
RunResult runOnce(const std::string& scenarioJson, const std::string& groupText, headless::Options o,
                  TDateTime wallClock = dt::encode(2031, 3, 1, 8, 30, 0)) {
    TempDir dir;
    if (o.groupFile.empty()) {
        o.groupFile = dir.file("group.cfg");
        writeBytes(o.groupFile, groupText);
    }
    if (o.outFile.empty())
        o.outFile = dir.file("out.orx");
    FakeClock clock(wallClock);
    FixedNowClock simClock(clock, o.nowValue);
    const ScenarioResult sc = parseScenario(scenarioJson, "test");
    EXPECT_TRUE(sc.ok) << sc.error;
    SimDevices devices(sc.scenario, o.fixedNow ? static_cast<IClock&>(simClock) : clock);
    SimSerialOs os(devices);
    TSerialPortDriver port(os, clock);
    RunResult r;
    std::FILE* log = std::tmpfile();
    r.code = headless::run(o, port, clock, nullptr, log);
    if (log) {
        std::rewind(log);
        for (int c; (c = std::fgetc(log)) != EOF;)
            r.log += static_cast<char>(c);
        std::fclose(log);
    }
    if (std::filesystem::exists(TempDir::u8(o.outFile)))
        r.file = readBytes(o.outFile);
    r.air = devices.airLog();
    r.opens = os.openAttempts();
    r.portOpenAfter = port.IsOpen();
    return r;
}

headless::Options fixedAt(int port) {
    headless::Options o;
    o.port = port;
    o.fixedNow = true;
    o.nowValue = kFixed;
    return o;
}

size_t statusRequests(const RunResult& r, const std::string& name) {
    size_t n = 0;
    const std::string request = name + "HEADER-";
    for (const auto& e : r.air)
        n += std::string(e.request.begin(), e.request.end()) == request ? 1 : 0;
    return n;
}

} // namespace

TEST(HeadlessDownload, DownloadsEveryLoggerAndWritesOneRecordLinePerRecord) {
    const RunResult r = runOnce(scenario(logger("D0001", 40) + "," + logger("D0002", 25)),
                                group({"D0001", "D0002"}), fixedAt(6));
    EXPECT_EQ(r.code, headless::kOk);
    EXPECT_EQ(recordLines(r.file), 65u);
    EXPECT_NE(r.file.find("Kestrovane 07.12.26 12:00:00"), std::string::npos) << "header from the fixed now";
    EXPECT_NE(r.file.find("comment of D0002"), std::string::npos);
    EXPECT_FALSE(r.portOpenAfter) << "the modem is switched off at the end";
}

TEST(HeadlessDownload, FileDoesNotDependOnTheWallClockWhenNowIsFixed) {
    const std::string sc = scenario(logger("D0001", 30, R"(, "faults": {"badRecordCrc": 0.05})"));
    const RunResult a = runOnce(sc, group({"D0001"}), fixedAt(6), dt::encode(2027, 1, 1, 0, 0, 0));
    const RunResult b = runOnce(sc, group({"D0001"}), fixedAt(6), dt::encode(2040, 6, 15, 23, 59, 59));
    ASSERT_EQ(a.code, headless::kOk);
    EXPECT_EQ(recordLines(a.file), 30u) << "damaged records are asked again";
    EXPECT_EQ(a.file, b.file);
}

TEST(HeadlessDownload, SilentLoggerIsAskedInBothAttemptsAndTheRestIsStillSaved) {
    const RunResult r =
        runOnce(scenario(logger("D0001", 10) + "," + logger("D0009", 10, R"(, "faults": {"silent": true})")),
                group({"D0009", "D0001"}), fixedAt(6));
    EXPECT_EQ(r.code, headless::kIncomplete);
    EXPECT_EQ(statusRequests(r, "D0009"), 2u);
    EXPECT_EQ(statusRequests(r, "D0001"), 1u);
    EXPECT_EQ(recordLines(r.file), 10u);
}

// One line per logger as the engine leaves it, whole even while a bar is redrawn over the last line.
TEST(HeadlessDownload, ProgressGivesOneLinePerLoggerServed) {
    headless::Options o = fixedAt(6);
    o.progressBar = true;
    const RunResult r =
        runOnce(scenario(logger("D0001", 10) + "," + logger("D0009", 10, R"(, "faults": {"silent": true})")),
                group({"D0009", "D0001"}), o);
    std::vector<std::string> lines;
    std::istringstream in(r.log);
    for (std::string line; std::getline(in, line);) {
        const size_t cr = line.rfind('\r');
        const std::string shown = cr == std::string::npos ? line : line.substr(cr + 1);
        if (shown.rfind("D000", 0) == 0)
            lines.push_back(shown);
    }
    EXPECT_EQ(lines, std::vector<std::string>({"D0009: not found, 0 records (attempt 1)",
                                               "D0001: done, 10 records (attempt 1)",
                                               "D0009: not found, 0 records (attempt 2)"}));
    EXPECT_NE(r.log.find("\r[####"), std::string::npos) << "the bar was drawn";
}

TEST(HeadlessDownload, ModemSearchAndItsFailures) {
    // The remembered port first, then the scan from the minimum up to the modem.
    const RunResult scan = runOnce(scenario(logger("D0001", 5), 4), group({"D0001"}), fixedAt(9));
    EXPECT_EQ(scan.code, headless::kOk);
    ASSERT_GE(scan.opens.size(), 3u);
    EXPECT_EQ(scan.opens.front().first, "\\\\.\\Com9");
    EXPECT_EQ(scan.opens[1].first, "\\\\.\\Com2");
    EXPECT_EQ(scan.opens.back(), std::make_pair(std::string("\\\\.\\Com4"), true));

    // A device that answers something else is no modem: every port is tried, none stays open.
    const RunResult wrong =
        runOnce(scenario(logger("D0001", 5), 4, "M743 SIM v1.0"), group({"D0001"}), fixedAt(4));
    EXPECT_EQ(wrong.code, headless::kNoModem);
    EXPECT_EQ(wrong.opens.back().first, "\\\\.\\Com256");
    EXPECT_FALSE(wrong.portOpenAfter);
    EXPECT_TRUE(wrong.file.empty());
}

TEST(HeadlessDownload, RefusedGroupAndFailedSaveAreReportedAsFailures) {
    headless::Options missing = fixedAt(6);
    missing.groupFile = "/nonexistent-kv/none.cfg";
    EXPECT_EQ(runOnce(scenario(logger("D0001", 5)), {}, missing).code, headless::kGroupRefused);

    // A group without loggers is refused too, and nothing is sent to the air.
    const RunResult empty = runOnce(scenario(logger("D0001", 5)), "Channel 20\r\n", fixedAt(6));
    EXPECT_EQ(empty.code, headless::kGroupRefused);
    EXPECT_TRUE(empty.air.empty());
    // So is one that names no channel: there is no channel control to fall back on.
    const RunResult unnamed = runOnce(scenario(logger("D0001", 5)), "D0001\tcomment 1\r\n", fixedAt(6));
    EXPECT_EQ(unnamed.code, headless::kGroupRefused);
    EXPECT_NE(unnamed.log.find("не содержит строки Channel"), std::string::npos) << unnamed.log;
    EXPECT_TRUE(unnamed.opens.empty()) << "no modem search";

    TempDir dir;
    headless::Options unwritable = fixedAt(6);
    unwritable.outFile = dir.file("no/such/folder/out.orx");
    EXPECT_EQ(runOnce(scenario(logger("D0001", 5)), group({"D0001"}), unwritable).code,
              headless::kWriteFailed);
}

#ifdef KV_HAVE_ARCHIVE
// An archive whose folder cannot be made: said at once, the file is still written, and the run
// ends with a status of its own after saying how many records the archive lacks.
TEST(HeadlessDownload, RecordsTheArchiveCannotTakeEndTheRunWithAStatusOfItsOwn) {
    TempDir dir;
    writeBytes(dir.file("plain"), "a file where the folder should be");
    headless::Options o = fixedAt(6);
    o.archivePath = dir.file("plain/kestrovane/archive.sqlite");
    const RunResult r = runOnce(scenario(logger("D0001", 40)), group({"D0001"}), o);
    EXPECT_EQ(r.code, headless::kArchiveIncomplete);
    EXPECT_EQ(recordLines(r.file), 40u);
    EXPECT_NE(r.log.find("archive: Не удается создать папку архива"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("error: 40 records could not be kept in the archive"), std::string::npos) << r.log;
}
#endif

TEST(HeadlessOptions, ParsesTheCommandLineAndRefusesBadValues) {
    headless::Options o;
    std::string error;
    ASSERT_TRUE(headless::parseOptions({"-p", "7", "g.cfg", "--output=o.orx", "--port-device", "/tmp/x%d",
                                        "--fixed-now", "2026-12-07 12:00:00", "--block-size", "512", "-v"},
                                       o, error))
        << error;
    EXPECT_EQ(o.groupFile, "g.cfg");
    EXPECT_EQ(o.outFile, "o.orx");
    EXPECT_EQ(o.port, 7);
    EXPECT_EQ(o.portDevice, "/tmp/x%d");
    EXPECT_TRUE(o.fixedNow);
    EXPECT_EQ(o.nowValue, kFixed);
    EXPECT_EQ(o.blockPosition, 3);
    EXPECT_TRUE(o.verbose);
    ASSERT_TRUE(headless::parseOptions({"-oout.orx", "--", "-group.cfg"}, o, error)) << error;
    EXPECT_EQ(o.groupFile, "-group.cfg");
    EXPECT_EQ(o.outFile, "out.orx");
    // --help stands on its own: what follows it is not looked at.
    ASSERT_TRUE(headless::parseOptions({"--help", "--bogus"}, o, error));
    EXPECT_TRUE(o.help);

    const std::vector<std::vector<std::string>> bad = {
        {"--output", "o.orx"},                                       // no group
        {"g.cfg", "h.cfg", "-o", "o.orx"},                           // two groups
        {"g.cfg"},                                                   // no output
        {"g.cfg", "-o", "o.orx", "--port", "0"},                     // port range
        {"g.cfg", "-o", "o.orx", "--port", "7x"},                    // not a number
        {"g.cfg", "-o", "o.orx", "--block-size", "2000"},            // no such block
        {"g.cfg", "-o", "o.orx", "--fixed-now", "2026-02-30 10:00"}, // no such day
        {"g.cfg", "-o", "o.orx", "--scenario-group", "g.cfg"},       // unknown
        {"g.cfg", "-o", "o.orx", "--verbose=1"},                     // a flag with a value
        {"g.cfg", "-o"},                                             // value missing
    };
    for (const auto& args : bad) {
        error.clear();
        EXPECT_FALSE(headless::parseOptions(args, o, error)) << args.back();
        EXPECT_FALSE(error.empty());
    }
}

// A push alone needs the database and nothing of a download; a build without libpq says it has none.
TEST(HeadlessOptions, PushOnlyTakesTheCentralDatabaseAndNoDownload) {
    headless::Options o;
    std::string error;
    const std::vector<std::string> push = {"--central", "host=db dbname=k", "--push-only"};
#ifdef KV_HAVE_CENTRAL
    ASSERT_TRUE(headless::parseOptions(push, o, error)) << error;
    EXPECT_TRUE(o.pushOnly);
    EXPECT_EQ(o.central, "host=db dbname=k");
    const std::vector<std::vector<std::string>> bad = {
        {"--push-only"},                                              // no database
        {"--central", "host=db", "--push-only", "g.cfg"},             // a group
        {"--central", "host=db", "--push-only", "-o", "o.orx"},       // a file
        {"g.cfg", "-o", "o.orx", "--central", "host=db password=pw"}, // a password on the command line
    };
    for (const auto& args : bad) {
        error.clear();
        EXPECT_FALSE(headless::parseOptions(args, o, error)) << args.back();
        EXPECT_FALSE(error.empty());
    }
#else
    EXPECT_FALSE(headless::parseOptions(push, o, error));
    EXPECT_NE(error.find("libpq"), std::string::npos) << error;
#endif
}

TEST(HeadlessOptions, FixedNowAcceptsMinutesOrSecondsAndNothingElse) {
    TDateTime t = 0;
    ASSERT_TRUE(parseFixedNow("2026-12-07 12:00", t));
    EXPECT_EQ(t, kFixed);
    ASSERT_TRUE(parseFixedNow("2024-02-29 23:59:59", t));
    EXPECT_EQ(dt::formatDateTime(t), "29.02.24 23:59:59");
    EXPECT_FALSE(parseFixedNow("2026-12-07", t));
    EXPECT_FALSE(parseFixedNow("2026-12-07 12:00:00 ", t));
    EXPECT_FALSE(parseFixedNow("2026-12-07 24:00:00", t));
    EXPECT_FALSE(parseFixedNow("07.12.26 12:00:00", t));
}
