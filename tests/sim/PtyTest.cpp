#include "SimTestUtil.h"

#include "sim/PtySplitter.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#endif

namespace {

using Piece = PtySplitter::Piece;

std::vector<std::pair<bool, std::string>> asText(const std::vector<Piece>& pieces) {
    std::vector<std::pair<bool, std::string>> out;
    for (const Piece& p : pieces)
        out.emplace_back(p.command, std::string(p.bytes.begin(), p.bytes.end()));
    return out;
}

std::vector<std::pair<bool, std::string>> feed(PtySplitter& s, const std::string& bytes, uint64_t ms) {
    return asText(s.feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), ms));
}

TEST(PtySplitter, TellsCommandsFromRequestsByContent) {
    PtySplitter s({"D0042", "D00421"});
    using V = std::vector<std::pair<bool, std::string>>;
    EXPECT_EQ(feed(s, "#?", 0), (V{{true, "#?"}}));
    EXPECT_EQ(feed(s, std::string("#C\x14#T\x02\x00\x12", 8), 1),
              (V{{true, "#C\x14"}, {true, std::string("#T\x02\x00\x12", 5)}}));
    // The longer of two names that share a start wins once its request is complete.
    EXPECT_EQ(feed(s, "D00421HEADER-", 2), (V{{false, "D00421HEADER-"}}));
    EXPECT_EQ(feed(s, "D0042HEADER-", 3), (V{{false, "D0042HEADER-"}}));
    // A "#" inside a set-clock request is a byte of it (35 minutes), not a command.
    EXPECT_EQ(feed(s, std::string("D0042T\x07\x0c\x1a\x09#\x07", 12), 4),
              (V{{false, std::string("D0042T\x07\x0c\x1a\x09#\x07", 12)}}));
    EXPECT_FALSE(s.holding());
}

TEST(PtySplitter, JoinsPartialWritesAndFlushesUnknownDataAfterQuiet) {
    PtySplitter s({"D0042"});
    using V = std::vector<std::pair<bool, std::string>>;
    EXPECT_TRUE(feed(s, "#", 0).empty());
    EXPECT_EQ(feed(s, "P", 1), V{});
    EXPECT_EQ(feed(s,
                   "\xC0"
                   "D00",
                   2),
              (V{{true, "#P\xC0"}}));
    EXPECT_EQ(feed(s, "42HEA", 3), V{});
    EXPECT_EQ(feed(s, "DER-", 4), (V{{false, "D0042HEADER-"}}));

    EXPECT_TRUE(feed(s, "D9999HEADER-", 10).empty()); // unknown name: wait for quiet
    EXPECT_TRUE(asText(s.flush(12)).empty());
    EXPECT_EQ(asText(s.flush(10 + PtySplitter::kQuietMs)), (V{{false, "D9999HEADER-"}}));

    // A fragment left before a long pause is not glued to the next write.
    EXPECT_TRUE(feed(s, "D00", 100).empty());
    EXPECT_EQ(feed(s, "#?", 200), (V{{false, "D00"}, {true, "#?"}}));
}

#ifndef _WIN32
#ifdef KV_SIM_BINARY

// kestrovane-sim started for real on a pseudo-terminal, talked to as the program's driver would.
class SimProcess {
public:
    explicit SimProcess(const std::string& scenarioJson) {
        char tmpl[] = "/tmp/kvsimXXXXXX";
        dir_ = mkdtemp(tmpl);
        scenario_ = dir_ + "/s.json";
        link_ = dir_ + "/ttySIM6";
        log_ = dir_ + "/sim.log";
        std::ofstream(scenario_) << scenarioJson;
        errPath_ = dir_ + "/stderr";
        pid_ = fork();
        if (pid_ == 0) {
            const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            execl(KV_SIM_BINARY, KV_SIM_BINARY, "--link", link_.c_str(), "--scenario", scenario_.c_str(),
                  "--log", log_.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~SimProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    bool waitForLink() {
        for (int i = 0; i < 300; ++i) {
            struct stat st {};
            if (lstat(link_.c_str(), &st) == 0)
                return true;
            if (waitpid(pid_, &status_, WNOHANG) == pid_) {
                exited_ = true;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    int stop(int sig = SIGTERM) {
        kill(pid_, sig);
        waitpid(pid_, &status_, 0);
        exited_ = true;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }
    int waitExit() {
        if (!exited_)
            waitpid(pid_, &status_, 0);
        exited_ = true;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }
    std::string file(const std::string& path) const {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string stderrText() const { return file(errPath_); }
    std::string logText() const { return file(log_); }
    const std::string& link() const { return link_; }

private:
    std::string dir_, scenario_, link_, log_, errPath_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool exited_ = false;
};

int openRaw(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B57600);
    cfsetospeed(&t, B57600);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Reads until `want` bytes came or the deadline passed.
Bytes readFor(int fd, size_t want, int ms) {
    Bytes out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < want && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10) > 0) {
            uint8_t b[4096];
            const ssize_t n = read(fd, b, sizeof b);
            if (n > 0)
                out.insert(out.end(), b, b + n);
        }
    }
    return out;
}

TEST(KestrovaneSimOnPty, AnswersIdentificationAndStatusThenRemovesItsLink) {
    SimProcess sim(R"({"modem": {"port": 6, "id": "M742 PTY 0001"},
                       "loggers": [{"name": "D4071534826", "sensors": [100, 200], "replyDelayMs": 50,
                                    "generate": {"count": 12}}]})");
    ASSERT_TRUE(sim.waitForLink()) << sim.stderrText();
    // The program opens and closes the port several times while it searches.
    for (int round = 0; round < 2; ++round) {
        const int fd = openRaw(sim.link());
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "#?", 2), 2);
        EXPECT_EQ(readFor(fd, 14, 2000), bytesOf("?M742 PTY 0001"));
        close(fd);
    }
    const int fd = openRaw(sim.link());
    ASSERT_GE(fd, 0);
    const Bytes cmd = {'#', 'T', 0x02, 0x00, 0x12};
    ASSERT_EQ(write(fd, cmd.data(), cmd.size()), 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_EQ(write(fd, "D4071534826HEADER-", 18), 18);
    // Text packet (16 + 4 bytes) and the 2-sensor status (11 + 2*2 + 20 = 35 bytes + 4).
    const Bytes reply = readFor(fd, 20 + 39, 3000);
    close(fd);
    size_t rest = 0;
    const auto packets = splitPackets(reply, &rest);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(rest, 0u);
    EXPECT_EQ(packets[0].payload, bytesOf("D4071534826START"));
    EXPECT_EQ(packets[1].payload.size(), 35u);
    EXPECT_EQ(uint8_t(packets[0].seq + 1), packets[1].seq);

    EXPECT_EQ(sim.stop(SIGTERM), 0);
    struct stat st {};
    EXPECT_NE(lstat(sim.link().c_str(), &st), 0); // link removed
    const std::string log = sim.logText();
    EXPECT_NE(log.find("CMD 23 3F"), std::string::npos);
    EXPECT_NE(log.find("answered by D4071534826"), std::string::npos);
}

TEST(KestrovaneSimOnPty, NoiseLeftUnreadDoesNotMeetTheNextTasksReplies) {
    SimProcess sim(R"({"modem": {"port": 6, "noise": {"rate": 200, "level": -100}},
                       "loggers": [{"name": "D5", "replyDelayMs": 20}]})");
    ASSERT_TRUE(sim.waitForLink()) << sim.stderrText();
    const int fd = openRaw(sim.link());
    ASSERT_GE(fd, 0);
    const Bytes report = {'#', 'T', 0x01, 0x00, 0x32};
    ASSERT_EQ(write(fd, report.data(), report.size()), 5);
    const Bytes noise = readFor(fd, 8, 2000);
    ASSERT_FALSE(noise.empty());
    EXPECT_EQ(noise[0], 0x03);                                   // a 4-byte report
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // noise piles up unread
    const Bytes task = {'#', 'T', 0x02, 0x00, 0x12};
    ASSERT_EQ(write(fd, task.data(), task.size()), 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_EQ(write(fd, "D5HEADER-", 9), 9);
    const Bytes reply = readFor(fd, 11 + 24, 3000);
    close(fd);
    const auto packets = splitPackets(reply);
    std::string seen;
    for (uint8_t b : reply)
        seen += " " + std::to_string(b);
    ASSERT_FALSE(packets.empty()) << "bytes:" << seen << "\n" << sim.logText();
    EXPECT_EQ(packets[0].payload, bytesOf("D5START"));
}

TEST(KestrovaneSimOnPty, ABadScenarioExitsWithAClearMessage) {
    SimProcess sim(R"({"loggers": [{"name": "D1", "channel": 999}]})");
    EXPECT_FALSE(sim.waitForLink());
    EXPECT_NE(sim.waitExit(), 0);
    const std::string err = sim.stderrText();
    EXPECT_NE(err.find("s.json: loggers[0].channel: out of range 0..255"), std::string::npos) << err;
}

#endif
#endif

} // namespace
