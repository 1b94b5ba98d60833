// kestrovane-sim --link PATH --scenario FILE [--log FILE] [--fixed-now "YYYY-MM-DD hh:mm:ss"]
// kestrovane-sim --link PATH --replay LINKLOG [--log FILE]
// Serves a scenario's modem and loggers on a pseudo-terminal linked at PATH, in real time,
// until SIGTERM or SIGINT. With --fixed-now the devices' date-time stands still at that moment
// (records, logger clocks), so that two runs of a scenario give the same data. DTR does not
// cross a pty, so here it counts as always high, and what is still unread is dropped at every "#?" and "#T".
// With --replay it plays the modem's side of a program's link log instead, so that a run in the
// field can be run again here.
#include "platform/Clock.h"
#include "serial/LinkLog.h"
#include "sim/FixedNowClock.h"
#include "sim/LinkReplay.h"
#include "sim/PtySplitter.h"
#include "sim/Scenario.h"
#include "sim/SimDevices.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t gStop = 0;

void onSignal(int) {
    gStop = 1;
}

int usage() {
    std::fprintf(stderr, "usage: kestrovane-sim --link PATH --scenario FILE [--log FILE]"
                         " [--fixed-now \"YYYY-MM-DD hh:mm:ss\"]\n"
                         "       kestrovane-sim --link PATH --replay LINKLOG [--log FILE]\n");
    return 2;
}

class Log {
public:
    bool open(const std::string& path) {
        f_ = std::fopen(path.c_str(), "a");
        return f_ != nullptr;
    }
    ~Log() {
        if (f_)
            std::fclose(f_);
    }
    void line(const char* what, const uint8_t* data, size_t size, const std::string& note = {}) {
        if (!f_)
            return;
        const auto now = std::chrono::system_clock::now();
        const std::time_t t = std::chrono::system_clock::to_time_t(now);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
        std::tm tm{};
        localtime_r(&t, &tm);
        std::fprintf(f_, "%02d:%02d:%02d.%03d %s", tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms),
                     what);
        for (size_t i = 0; i < size; ++i)
            std::fprintf(f_, " %02X", data[i]);
        if (size > 0) {
            std::fputs("  |", f_);
            for (size_t i = 0; i < size; ++i)
                std::fputc(data[i] >= 0x20 && data[i] < 0x7F ? data[i] : '.', f_);
            std::fputc('|', f_);
        }
        if (!note.empty())
            std::fprintf(f_, "  %s", note.c_str());
        std::fputc('\n', f_);
        std::fflush(f_);
    }
    void text(const std::string& s) { line(s.c_str(), nullptr, 0); }

private:
    std::FILE* f_ = nullptr;
};

bool makeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    cfsetispeed(&t, B57600);
    cfsetospeed(&t, B57600);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

// The program sets the line itself; at another speed or framing the modem would hear noise.
bool lineIs57600_8N1(int slave) {
    termios t{};
    if (tcgetattr(slave, &t) != 0)
        return true;
    return cfgetospeed(&t) == B57600 && (t.c_cflag & CSIZE) == CS8 && !(t.c_cflag & PARENB) &&
           !(t.c_cflag & CSTOPB);
}

uint64_t monoMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

std::string readWhole(const std::string& path) {
    std::string out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return out;
    char buf[65536];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return out;
}

// The link is removed only while it still points at this run's pty.
void unlinkOwn(const std::string& link, const std::string& slavePath) {
    char target[4096];
    const ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
    if (len > 0 && std::string(target, static_cast<size_t>(len)) == slavePath)
        unlink(link.c_str());
}

// Waits up to timeout ms for the program's bytes (and for room to write, when there is some to
// write) and hands what it reads on; false when the line failed.
bool waitAndRead(int master, bool writing, int timeout, Log& log,
                 const std::function<void(const uint8_t*, size_t)>& got) {
    pollfd pfd{master, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
    const int r = poll(&pfd, 1, timeout);
    if (r < 0 && errno != EINTR)
        return false;
    if (r > 0 && (pfd.revents & POLLIN)) {
        uint8_t buf[4096];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) {
            log.line("RX", buf, static_cast<size_t>(n));
            got(buf, static_cast<size_t>(n));
        }
    }
    return true;
}

// As much of out as the pty takes now.
void writeOut(int master, std::vector<uint8_t>& out) {
    while (!out.empty()) {
        const ssize_t w = write(master, out.data(), out.size());
        if (w <= 0)
            break;
        out.erase(out.begin(), out.begin() + w);
    }
}

// The modem's side of a link log until a signal: the program's bytes are counted, and each part
// of the log goes out when it falls due.
void serveReplay(int master, LinkReplay replay, Log& log) {
    std::vector<uint8_t> out;
    while (!gStop) {
        const uint64_t due = replay.nextDueMs();
        const uint64_t now = monoMs();
        int timeout = 100;
        if (due != UINT64_MAX)
            timeout = due > now ? static_cast<int>(std::min<uint64_t>(due - now, 100)) : 0;
        if (!waitAndRead(master, !out.empty(), timeout, log,
                         [&](const uint8_t* data, size_t n) { replay.written(data, n, monoMs()); }))
            break;
        const std::vector<uint8_t> part = replay.due(monoMs());
        if (!part.empty()) {
            log.line("TX", part.data(), part.size());
            out.insert(out.end(), part.begin(), part.end());
        }
        writeOut(master, out);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string link, scenarioPath, logPath, replayPath;
    bool fixedNow = false;
    TDateTime fixedNowValue = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--link" || a == "--scenario" || a == "--log" || a == "--replay") && i + 1 < argc) {
            (a == "--link"       ? link
             : a == "--scenario" ? scenarioPath
             : a == "--replay"   ? replayPath
                                 : logPath) = argv[++i];
        } else if (a == "--fixed-now" && i + 1 < argc) {
            fixedNow = parseFixedNow(argv[++i], fixedNowValue);
            if (!fixedNow) {
                std::fprintf(stderr, "kestrovane-sim: bad --fixed-now %s\n", argv[i]);
                return usage();
            }
        } else {
            return usage();
        }
    }
    if (link.empty() || scenarioPath.empty() == replayPath.empty())
        return usage();

    std::vector<LinkLogEntry> replayed;
    if (!replayPath.empty()) {
        const std::string text = readWhole(replayPath);
        replayed = parseLinkLog(text);
        if (text.empty() || replayed.empty()) {
            std::fprintf(stderr, "kestrovane-sim: no link log in %s\n", replayPath.c_str());
            return 1;
        }
    }
    const ScenarioResult loaded = replayPath.empty() ? loadScenarioFile(scenarioPath) : ScenarioResult{};
    if (!loaded.ok && replayPath.empty()) {
        std::fprintf(stderr, "kestrovane-sim: bad scenario: %s\n", loaded.error.c_str());
        return 1;
    }
    Log log;
    if (!logPath.empty() && !log.open(logPath)) {
        std::fprintf(stderr, "kestrovane-sim: cannot write the log %s: %s\n", logPath.c_str(),
                     std::strerror(errno));
        return 1;
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "kestrovane-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const char* slaveName = ptsname(master);
    if (!slaveName) {
        std::fprintf(stderr, "kestrovane-sim: no pseudo-terminal name: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string slavePath = slaveName;
    // Held open for the whole run, so that the program closing its end never hangs the line up.
    const int heldSlave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (heldSlave < 0 || !makeRaw(master) || !makeRaw(heldSlave)) {
        std::fprintf(stderr, "kestrovane-sim: cannot set up %s: %s\n", slavePath.c_str(),
                     std::strerror(errno));
        return 1;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    // Replace a stale link from an earlier run, but never a real file.
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "kestrovane-sim: %s exists and is not a symbolic link\n", link.c_str());
            return 1;
        }
        unlink(link.c_str());
    }
    if (symlink(slavePath.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "kestrovane-sim: cannot link %s to %s: %s\n", link.c_str(), slavePath.c_str(),
                     std::strerror(errno));
        return 1;
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    std::printf("kestrovane-sim: %s -> %s\n", link.c_str(), slavePath.c_str());
    std::fflush(stdout);

    if (!replayPath.empty()) {
        log.text("START " + slavePath + " linked at " + link + ", replaying " + replayPath);
        serveReplay(master, LinkReplay(replayed), log);
        unlinkOwn(link, slavePath);
        log.text("STOP");
        close(heldSlave);
        close(master);
        return 0;
    }

    SystemClock systemClock;
    FixedNowClock fixedClock(systemClock, fixedNowValue);
    IClock& clock = fixedNow ? static_cast<IClock&>(fixedClock) : systemClock;
    SimDevices devices(loaded.scenario, clock);
    devices.setDtr(true);
    std::vector<std::string> names;
    for (size_t i = 0; i < devices.loggerCount(); ++i)
        names.push_back(devices.logger(i).name());
    PtySplitter splitter(names);
    log.text("START " + slavePath + " linked at " + link + ", scenario " + scenarioPath);

    std::vector<uint8_t> out; // bytes due to the program that the pty has not taken yet
    auto dispatch = [&](const std::vector<PtySplitter::Piece>& pieces) {
        for (const auto& p : pieces) {
            if (!lineIs57600_8N1(heldSlave)) {
                log.line("IGNORED (line not 57600 8N1)", p.bytes.data(), p.bytes.size());
                continue;
            }
            if (p.command) {
                if (p.bytes.size() >= 2 && (p.bytes[1] == '?' || p.bytes[1] == 'T')) {
                    // The identification reply must be the only thing waiting when the program looks;
                    // and noise that a lowered DTR would have stopped (a pty has none) must not meet
                    // the next task's replies.
                    tcflush(heldSlave, TCIFLUSH);
                    out.clear();
                    devices.dropArrivedAndOwnReports();
                }
                devices.command(p.bytes.data(), p.bytes.size());
                log.line("CMD", p.bytes.data(), p.bytes.size());
            } else {
                devices.air(p.bytes.data(), p.bytes.size());
                std::string who;
                for (size_t i : devices.airLog().back().answeredBy)
                    who += (who.empty() ? "answered by " : ", ") + names[i];
                log.line("AIR", p.bytes.data(), p.bytes.size(), who.empty() ? "no answer" : who);
            }
        }
    };

    while (!gStop) {
        // Sleep until the next byte is due, the splitter's quiet time ends, or the program writes.
        int timeout = 100;
        const uint64_t next = devices.nextArrivalUs();
        const uint64_t nowUs = devices.nowUs();
        if (next != UINT64_MAX)
            timeout = std::min<int64_t>(timeout, next > nowUs ? int64_t((next - nowUs + 999) / 1000) : 0);
        if (splitter.holding()) {
            const uint64_t now = monoMs();
            const uint64_t d = splitter.deadlineMs();
            timeout = std::min<int64_t>(timeout, d > now ? int64_t(d - now) : 0);
        }
        if (!waitAndRead(master, !out.empty(), timeout, log,
                         [&](const uint8_t* data, size_t n) { dispatch(splitter.feed(data, n, monoMs())); }))
            break;
        dispatch(splitter.flush(monoMs()));

        const size_t avail = devices.available();
        if (avail > 0) {
            const size_t at = out.size();
            out.resize(at + avail);
            out.resize(at + devices.read(out.data() + at, avail));
            log.line("TX", out.data() + at, out.size() - at);
        }
        // Nobody reads while the program has the port closed; like the adapter's buffer, keep only
        // the newest bytes.
        if (out.size() > 4096)
            out.erase(out.begin(), out.end() - 4096);
        writeOut(master, out);
    }

    unlinkOwn(link, slavePath);
    log.text("STOP");
    close(heldSlave);
    close(master);
    return 0;
}
