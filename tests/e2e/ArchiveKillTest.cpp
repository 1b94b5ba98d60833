#ifdef KV_COLLECT_PATH
// The collector killed with SIGKILL in the middle of a download over a pty: the archive opens
// afterwards and holds the blocks accepted before the kill, whole.
#include "SimProcess.h"
#include "archive/RecordArchive.h"

#include <gtest/gtest.h>

#include <cstdio>
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

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], 2);
        close(out[0]);
        setenv("LC_ALL", "C", 1); // the log is read in English
        execl(KV_COLLECT_PATH, KV_COLLECT_PATH, group.c_str(), "--output", (sim.folder() + "/o.orx").c_str(),
              "--port", "6", "--port-device", sim.pattern().c_str(), "--days", "60", "--block-size", "512",
              "--archive", archivePath.c_str(), "--verbose", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    // Each accepted block is followed by a line with the byte count; kill after the third.
    std::string log;
    int blocks = 0;
    char buf[256];
    ssize_t n = 0;
    while (blocks < 4 && (n = read(out[0], buf, sizeof buf)) > 0) {
        log.append(buf, static_cast<size_t>(n));
        blocks = 0;
        for (size_t at = 0; (at = log.find("Байт: ", at)) != std::string::npos; ++at)
            ++blocks;
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(out[0]);
    ASSERT_GE(blocks, 4) << log; // the status's line, then three blocks

    RecordArchive archive;
    ASSERT_TRUE(archive.open(archivePath, RecordArchive::Mode::ReadOnly)) << archive.errorText();
    std::vector<ArchivedLogger> loggers;
    ASSERT_TRUE(archive.loggers(loggers));
    ASSERT_EQ(loggers.size(), 1u);
    // 512-byte blocks of 18-byte records: 28 records each, never part of one.
    EXPECT_GE(loggers[0].recordCount, 3 * 28);
    EXPECT_LT(loggers[0].recordCount, 600);
    EXPECT_EQ(loggers[0].recordCount % 28, 0);
}
#endif
