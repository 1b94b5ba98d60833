#ifdef KV_COLLECT_PATH
// The collector told to stop in the middle of a download over a pty: it writes what came, whole
// and signed, names the logger it holds only in part, and ends with its "incomplete" status.
#include "OrxCheck.h"
#include "SimProcess.h"
#include "files/Cp1251.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace {
const char* const kScenario = R"({"seed": 4, "modem": {"port": 6, "channel": 20}, "loggers": [
    {"name": "D4071530001", "channel": 20, "sensors": [1, 2, 3, 4], "period": 1, "measuring": false,
     "replyDelayMs": 0, "packetGapMs": 0, "generate": {"count": 60}},
    {"name": "D4071530002", "channel": 20, "sensors": [1, 2, 3, 4], "period": 1, "measuring": false,
     "replyDelayMs": 0, "packetGapMs": 0, "generate": {"count": 600}}]})";

// Distinct values of the "Байт: " lines after `from` above the last one before it; a line still
// being written is not counted.
int byteCounts(const std::string& log, size_t from) {
    const std::string key = "Байт: ";
    long before = 0;
    std::set<long> after;
    for (size_t at = 0; (at = log.find(key, at)) != std::string::npos; at += key.size()) {
        const size_t end = log.find('\n', at);
        if (end == std::string::npos)
            break;
        const long v = std::strtol(log.c_str() + at + key.size(), nullptr, 10);
        if (at < from)
            before = v;
        else if (v > before)
            after.insert(v);
    }
    return static_cast<int>(after.size());
}
} // namespace

TEST(CollectSignal, SigtermWritesWhatCameAndExitsIncomplete) {
    namespace fs = std::filesystem;
    e2e::SimProcess sim(kScenario, 6);
    ASSERT_TRUE(sim.waitForLink()) << sim.errors();
    const std::string group = sim.folder() + "/group.cfg";
    std::ofstream(group, std::ios::binary) << "Channel 20\r\nD4071530001\r\nD4071530002\r\n";
    // What a save killed in an earlier run left behind.
    const std::string out = sim.folder() + "/out";
    fs::create_directory(out);
    std::ofstream(out + "/.kv-AbC123.tmp") << "x";
    fs::last_write_time(out + "/.kv-AbC123.tmp", fs::file_time_type::clock::now() - std::chrono::minutes(2));

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        setenv("LC_ALL", "C", 1); // the log is read in English
        execl(KV_COLLECT_PATH, KV_COLLECT_PATH, group.c_str(), "--output", (out + "/o.orx").c_str(), "--port",
              "6", "--port-device", sim.pattern().c_str(), "--days", "60", "--block-size", "512", "--archive",
              (sim.folder() + "/archive.sqlite").c_str(), "--verbose", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    // Stop once a block of the second logger is in: after the first one's line the byte count
    // grows twice, by the second one's status and by its first block (a retransmission repeats it).
    const std::string firstDone = "D4071530001: done, 60 records";
    std::string log;
    char buf[256];
    for (ssize_t n = 0; (n = read(pipeFds[0], buf, sizeof buf)) > 0;) {
        log.append(buf, static_cast<size_t>(n));
        const size_t at = log.find(firstDone);
        if (at != std::string::npos && byteCounts(log, at) >= 2)
            break;
    }
    // Signal after signal, the writing of the file included: none of them may cut it short.
    int status = 0;
    for (int i = 0; i < 2000 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
        kill(pid, i % 3 == 0 ? SIGTERM : i % 3 == 1 ? SIGINT : SIGHUP);
        usleep(5000);
    }
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    for (ssize_t n = 0; (n = read(pipeFds[0], buf, sizeof buf)) > 0;)
        log.append(buf, static_cast<size_t>(n));
    close(pipeFds[0]);
    ASSERT_TRUE(WIFEXITED(status)) << log;
    EXPECT_EQ(WEXITSTATUS(status), 6) << log;

    const e2e::OrxFile file = e2e::readOrx(e2e::readText(out + "/o.orx"));
    EXPECT_TRUE(file.faults.empty()) << file.faults.front();
    ASSERT_EQ(file.loggers.size(), 2u) << log;
    EXPECT_EQ(file.loggers[0].records.size(), 60u);
    EXPECT_GT(file.loggers[1].records.size(), 0u);
    EXPECT_LT(file.loggers[1].records.size(), 600u);
    ASSERT_EQ(file.top.size(), 4u);
    EXPECT_EQ(file.top[3], "//" + utf8ToCp1251("Загружены не полностью: ") + "D4071530002");

    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(out))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"o.orx"});
}
#endif
