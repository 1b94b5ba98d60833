#ifdef KV_COLLECT_PATH
// The collector killed with SIGKILL in the middle of a download over a pty: the archive opens
// afterwards and holds the blocks accepted before the kill, whole.
#include "SimProcess.h"
#include "archive/RecordArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>

namespace {
const char* const kScenario = R"({"seed": 3, "modem": {"port": 6, "channel": 20}, "loggers": [
    {"name": "D4071530001", "channel": 20, "sensors": [1, 2, 3, 4], "period": 1, "measuring": false,
     "replyDelayMs": 0, "packetGapMs": 0, "generate": {"count": 600}}]})";
} // namespace

TEST(ArchiveKill, BlocksAcceptedBeforeASigkillAreKeptWhole) {
    e2e::SimProcess sim(kScenario, 6);
    ASSERT_TRUE(sim.waitForLink()) << sim.errors();
    const std::string group = sim.folder() + "/group.cfg";
    std::FILE* g = std::fopen(group.c_str(), "wb");
    ASSERT_NE(g, nullptr);
    std::fputs("Channel 20\r\nD4071530001\r\n", g);
    std::fclose(g);
    const std::string archivePath = sim.folder() + "/archive.sqlite";

    // The log on a terminal, so that the collector draws its bar: its position counts the blocks
    // accepted, each after the archive has taken it. The "Байт:" line counts retransmissions too.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int log = open(slave.c_str(), O_RDWR | O_NOCTTY);
        dup2(log, 2);
        close(log);
        close(master);
        setenv("LC_ALL", "C", 1); // the log is read in English
        execl(KV_COLLECT_PATH, KV_COLLECT_PATH, group.c_str(), "--output", (sim.folder() + "/o.orx").c_str(),
              "--port", "6", "--port-device", sim.pattern().c_str(), "--days", "60", "--block-size", "512",
              "--archive", archivePath.c_str(), "--verbose", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Kill once the bar shows three blocks accepted.
    std::string log;
    int accepted = 0;
    char buf[256];
    ssize_t n = 0;
    const std::string mark = " downloading ";
    while (accepted < 3 && (n = read(master, buf, sizeof buf)) > 0) {
        log.append(buf, static_cast<size_t>(n));
        for (size_t at = 0; (at = log.find(mark, at)) != std::string::npos; ++at) {
            // "downloading 3/22", read whole: a bar cut by the read is taken on the next one.
            size_t end = at + mark.size();
            while (end < log.size() && std::isdigit(static_cast<unsigned char>(log[end])))
                ++end;
            if (end > at + mark.size() && end < log.size() && log[end] == '/')
                accepted = std::max(accepted, std::atoi(log.c_str() + at + mark.size()));
        }
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(master);
    ASSERT_GE(accepted, 3) << log;

    RecordArchive archive;
    ASSERT_TRUE(archive.open(archivePath, RecordArchive::Mode::ReadOnly)) << archive.errorText();
    std::vector<ArchivedLogger> loggers;
    ASSERT_TRUE(archive.loggers(loggers));
    ASSERT_EQ(loggers.size(), 1u);
    // 512-byte blocks of 18-byte records: 28 records each, never part of one; at least those the
    // bar showed accepted.
    EXPECT_GE(loggers[0].recordCount, accepted * 28);
    EXPECT_LT(loggers[0].recordCount, 600);
    EXPECT_EQ(loggers[0].recordCount % 28, 0);
}
#endif
