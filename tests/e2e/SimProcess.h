#pragma once
// kestrovane-sim as a child process on a pseudo-terminal, in a temporary folder of its own.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace e2e {

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The commands after the search's identification exchanges (more than one when a search had to
// be repeated); empty when there was no search at all.
inline std::vector<std::string> afterSearch(const std::vector<std::string>& commands) {
    size_t n = 0;
    while (n < commands.size() && commands[n] == "#?")
        ++n;
    if (n == 0)
        return {};
    return std::vector<std::string>(commands.begin() + static_cast<long>(n), commands.end());
}

// A folder under /tmp, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder() {
        char tmpl[] = "/tmp/kve2eXXXXXX";
        const char* made = mkdtemp(tmpl);
        path_ = made ? made : "";
    }
    ~TempFolder() {
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Starts the simulator with the scenario written into its folder, its link named after the port
// so that the program reaches it through a PortDevice pattern "<folder>/ttySIM%d".
class SimProcess {
public:
    SimProcess(const std::string& scenarioJson, int port) {
        scenario_ = folder_.path() + "/scenario.json";
        std::ofstream(scenario_, std::ios::binary) << scenarioJson;
        start(port);
    }
    // An existing scenario file, such as the demo's; or a link log to serve back.
    enum Source { Scenario, Replay };
    SimProcess(int port, const std::string& file, Source source = Scenario)
        : scenario_(file), replay_(source == Replay) {
        start(port);
    }

    ~SimProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // True once the link exists; false when the simulator ended first or took too long.
    bool waitForLink(int ms = 5000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
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

    // SIGTERM and wait; the exit status, -1 when it did not exit normally.
    int stop() {
        if (!exited_) {
            kill(pid_, SIGTERM);
            waitpid(pid_, &status_, 0);
            exited_ = true;
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }
    bool linkExists() const {
        struct stat st {};
        return lstat(link_.c_str(), &st) == 0;
    }

    const std::string& folder() const { return folder_.path(); }
    const std::string& link() const { return link_; }
    std::string pattern() const { return folder_.path() + "/ttySIM%d"; }
    std::string log() const { return readText(log_); }
    std::string errors() const { return readText(err_); }

    // The bytes of the log's lines of one kind ("CMD", "AIR", "TX", "RX"), in order.
    std::vector<std::string> logged(const std::string& kind) const {
        std::vector<std::string> out;
        const std::string text = log();
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(at, end - at);
            at = end + 1;
            // "hh:mm:ss.mmm KIND XX XX ...  |text|  note"
            const size_t k = line.find(' ');
            if (k == std::string::npos || line.compare(k + 1, kind.size() + 1, kind + " ") != 0)
                continue;
            std::string bytes;
            size_t p = k + 1 + kind.size();
            while (p + 3 <= line.size() && line[p] == ' ' && line[p + 1] != ' ') {
                bytes += static_cast<char>(std::stoi(line.substr(p + 1, 2), nullptr, 16));
                p += 3;
            }
            out.push_back(bytes);
        }
        return out;
    }
    // The notes of the AIR lines ("answered by ..." or "no answer"), in order.
    std::vector<std::string> airNotes() const {
        std::vector<std::string> out;
        const std::string text = log();
        size_t at = 0;
        while ((at = text.find(" AIR ", at)) != std::string::npos) {
            const size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            const size_t bar = line.rfind("|  ");
            out.push_back(bar == std::string::npos ? "" : line.substr(bar + 3));
            at = end;
        }
        return out;
    }

private:
    void start(int port) {
        link_ = folder_.path() + "/ttySIM" + std::to_string(port);
        log_ = folder_.path() + "/sim.log";
        err_ = folder_.path() + "/sim.err";
        pid_ = fork();
        if (pid_ == 0) {
            const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            execl(KV_SIM_PATH, KV_SIM_PATH, "--link", link_.c_str(), replay_ ? "--replay" : "--scenario",
                  scenario_.c_str(), "--log", log_.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    TempFolder folder_;
    std::string scenario_, link_, log_, err_;
    bool replay_ = false;
    pid_t pid_ = -1;
    int status_ = 0;
    bool exited_ = false;
};

} // namespace e2e
