#ifdef KV_COLLECT_PATH
// The collector's visit against kestrovane-sim on a pty: its report names every logger with what
// the download found, and its link log, served back by the simulator, gives the same records.
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

const char* const kScenario = R"({"seed": 5, "modem": {"port": 6, "channel": 20}, "loggers": [
    {"name": "D4071530001", "channel": 20, "sensors": [1, 2, 3], "period": 1, "measuring": false,
     "replyDelayMs": 0, "packetGapMs": 0, "battery": 302, "generate": {"count": 90}},
    {"name": "D4071530002", "channel": 20, "sensors": [4, 5], "period": 2, "measuring": false,
     "replyDelayMs": 0, "packetGapMs": 0, "generate": {"count": 40}},
    {"name": "D4071530003", "channel": 20, "sensors": [6], "period": 1, "measuring": false,
     "replyDelayMs": 0, "packetGapMs": 0, "generate": {"count": 0}}]})";

const char* const kNow = "2026-12-07 11:00:00";

// The collector's exit status; its log in `log`.
int collect(const e2e::SimProcess& sim, const std::vector<std::string>& extra, std::string& log) {
    const std::string logFile = sim.folder() + "/collect.log";
    std::vector<std::string> args = {KV_COLLECT_PATH, sim.folder() + "/group.cfg",
                                     "--port",        "6",
                                     "--port-device", sim.pattern(),
                                     "--fixed-now",   kNow,
                                     "--days",        "30",
                                     "--archive",     sim.folder() + "/archive.sqlite"};
    args.insert(args.end(), extra.begin(), extra.end());
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen(logFile.c_str(), "w", stderr);
        setenv("LC_ALL", "C", 1);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    log = e2e::readText(logFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void writeGroup(const std::string& folder) {
    std::FILE* g = std::fopen((folder + "/group.cfg").c_str(), "wb");
    // "скважина 1" and "устье" in Windows-1251: the report shows them in Cyrillic.
    std::fputs("Channel 20\r\nD4071530001\t\xF1\xEA\xE2\xE0\xE6\xE8\xED\xE0 1\r\n"
               "D4071530002\t\xF3\xF1\xF2\xFC\xE5\r\nD4071530003\r\n",
               g);
    std::fclose(g);
}

class VisitCollect : public ::testing::Test {
protected:
    // One logged download for both tests: the pty runs in real time.
    static void SetUpTestSuite() {
        sim_ = new e2e::SimProcess(kScenario, 6);
        ASSERT_TRUE(sim_->waitForLink()) << sim_->errors();
        writeGroup(sim_->folder());
        std::vector<std::string> args = {"--output", sim_->folder() + "/first.orx", "--link-log",
                                         sim_->folder() + "/link.log"};
#ifdef KV_COLLECT_REPORT
        args.insert(args.end(), {"--report", sim_->folder() + "/visit.pdf"});
#endif
        code_ = collect(*sim_, args, log_);
    }
    static void TearDownTestSuite() {
        delete sim_;
        sim_ = nullptr;
    }
    static e2e::SimProcess* sim_;
    static int code_;
    static std::string log_;
};
e2e::SimProcess* VisitCollect::sim_ = nullptr;
int VisitCollect::code_ = -1;
std::string VisitCollect::log_;

#ifdef KV_COLLECT_REPORT
TEST_F(VisitCollect, TheReportHoldsARowForEveryLoggerWithWhatItsDownloadFound) {
    ASSERT_EQ(code_, 0) << log_;
    const std::string text = sim_->folder() + "/visit.txt";
    ASSERT_EQ(std::system(("pdftotext -layout '" + sim_->folder() + "/visit.pdf' '" + text + "'").c_str()),
              0);
    const std::string pdf = e2e::readText(text);
    for (const char* expected :
         {"Отчёт о выезде", "Модем: USB/RK", "D4071530001", "скважина 1", "D4071530002", "устье",
          "D4071530003", "first.orx, подпись", "3,02", "батарея на исходе"})
        EXPECT_NE(pdf.find(expected), std::string::npos) << expected << "\n" << pdf;
    // The CSV beside it, row for row.
    const std::string csv = e2e::readText(sim_->folder() + "/visit.csv");
    EXPECT_NE(csv.find("D4071530001;скважина 1;Нет ошибок;3,02;"), std::string::npos) << csv;
    EXPECT_NE(csv.find("D4071530003;;Нет ошибок;"), std::string::npos) << csv;
}

#endif

TEST_F(VisitCollect, TheLinkLogServedBackByTheSimulatorGivesTheSameRecords) {
    ASSERT_EQ(code_, 0) << log_;
    const std::string link = sim_->folder() + "/link.log";
    ASSERT_NE(e2e::readText(link).find("статус"), std::string::npos)
        << "the engine's words between the bytes";
    e2e::SimProcess replay(6, link, e2e::SimProcess::Replay);
    ASSERT_TRUE(replay.waitForLink()) << replay.errors();
    writeGroup(replay.folder());
    std::string log;
    ASSERT_EQ(collect(replay, {"--output", replay.folder() + "/again.orx"}, log), 0) << log;
    const std::string first = e2e::readText(sim_->folder() + "/first.orx");
    ASSERT_GT(first.size(), 1000u);
    EXPECT_EQ(e2e::readText(replay.folder() + "/again.orx"), first);
}

} // namespace
#endif
