#pragma once
// A private PostgreSQL server for the tests: initdb and pg_ctl in a folder under /tmp, reached on
// a Unix socket there only. Run as root, the server runs as nobody (PostgreSQL refuses root). A
// guard process stops it and removes the folder when the test process ends in any way, so that
// nothing is left running.
#include <libpq-fe.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef KV_PG_BINDIR
#define KV_PG_BINDIR "/usr/lib/postgresql/15/bin"
#endif

namespace pgtest {

// Superuser, tables' owner and the role with only SELECT and INSERT (the setup script's names).
constexpr const char* kAdmin = "kv_admin";
constexpr const char* kOwner = "kestrovane_owner";
constexpr const char* kPusher = "kestrovane_push";
constexpr const char* kPusherPassword = "field-Laptop-7";

inline std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class Server {
public:
    // durable: the server's own defaults, fsync on (the benchmark); otherwise the tests' quick one.
    explicit Server(bool durable = false) : durable_(durable) {}
    ~Server() { shutDown(); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Empty when the server binaries are not installed: the tests say so and skip.
    static std::string missing() {
        const std::string initdb = std::string(KV_PG_BINDIR) + "/initdb";
        if (access(initdb.c_str(), X_OK) != 0)
            return "PostgreSQL server binaries not found (" + initdb + "): apt install postgresql";
        return std::string();
    }

    // Makes the cluster with the roles of the setup script and starts it; false with why.
    bool start(std::string& why) {
        char tmpl[] = "/tmp/kvpgXXXXXX";
        if (!mkdtemp(tmpl)) {
            why = "mkdtemp failed";
            return false;
        }
        dir_ = tmpl;
        if (geteuid() == 0) {
            const passwd* pw = getpwnam("nobody");
            if (!pw || chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
                why = "cannot give " + dir_ + " to nobody";
                return false;
            }
            runAs_ = "runuser -u nobody -- ";
        }
        std::string out;
        if (!shell(tool("initdb") + " -D " + shellQuoted(dir_ + "/data") + " -U " + kAdmin +
                       " -A trust --no-sync -E UTF8 --locale=C",
                   out)) {
            why = "initdb failed: " + out;
            return false;
        }
        // The pusher logs in with a password; the others are trusted on the socket.
        std::ofstream(dir_ + "/data/pg_hba.conf", std::ios::trunc)
            << "local all " << kAdmin << " trust\nlocal all " << kOwner << " trust\n"
            << "local all all scram-sha-256\n";
        startGuard();
        if (!resume(why))
            return false;
        return true;
    }

    // Stops at once, as a crash or a pulled cable does, keeping the data.
    bool halt() {
        std::string out;
        return shell(tool("pg_ctl") + " -D " + shellQuoted(dir_ + "/data") + " stop -m immediate", out);
    }
    bool resume(std::string& why) {
        std::string out;
        const std::string options =
            "-k " + dir_ + " -c listen_addresses= -c fsync=off -c full_page_writes=off";
        if (!shell(tool("pg_ctl") + " -D " + shellQuoted(dir_ + "/data") + " -l " +
                       shellQuoted(dir_ + "/log") + " -w -t 60 -o " + shellQuoted(options) + " start",
                   out)) {
            why = "pg_ctl start failed: " + out + readLog();
            return false;
        }
        return true;
    }

    // The server's main process, to hold it with SIGSTOP as a stalled network would.
    pid_t pid() const {
        std::ifstream in(dir_ + "/data/postmaster.pid");
        long pid = 0;
        in >> pid;
        return static_cast<pid_t>(pid);
    }

    // A libpq URL for the role and database, the socket folder as its host.
    std::string url(const std::string& user, const std::string& db) const {
        return "postgresql:///" + db + "?host=" + dir_ + "&user=" + user;
    }
    const std::string& folder() const { return dir_; }

    // Runs SQL as the superuser in the database; the error message, empty on success.
    std::string sql(const std::string& db, const std::string& text) const {
        PGconn* c = PQconnectdb(url(kAdmin, db).c_str());
        std::string error;
        if (PQstatus(c) != CONNECTION_OK) {
            error = PQerrorMessage(c);
        } else {
            PGresult* r = PQexec(c, text.c_str());
            const ExecStatusType s = PQresultStatus(r);
            if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK)
                error = PQresultErrorMessage(r);
            PQclear(r);
        }
        PQfinish(c);
        return error;
    }
    // The first value of a query as text ("" on failure).
    std::string value(const std::string& db, const std::string& text) const {
        PGconn* c = PQconnectdb(url(kAdmin, db).c_str());
        std::string v;
        PGresult* r = PQexec(c, text.c_str());
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0)
            v = PQgetvalue(r, 0, 0);
        PQclear(r);
        PQfinish(c);
        return v;
    }
    long count(const std::string& db, const std::string& text) const {
        return std::atol(value(db, text).c_str());
    }

    // Runs a psql script file as the superuser (the setup script uses \connect).
    bool psqlFile(const std::string& path, std::string& out) const {
        return shell("psql -X -q -v ON_ERROR_STOP=1 -d " + shellQuoted(url(kAdmin, "postgres")) + " -f " +
                         shellQuoted(path),
                     out, false);
    }

    void shutDown() {
        if (guardPipe_ < 0)
            return;
        std::string out;
        shell(tool("pg_ctl") + " -D " + shellQuoted(dir_ + "/data") + " stop -m fast", out);
        // The guard removes the folder once its pipe closes.
        close(guardPipe_);
        guardPipe_ = -1;
        waitpid(guard_, nullptr, 0);
    }

private:
    std::string tool(const std::string& name) const { return std::string(KV_PG_BINDIR) + "/" + name; }

    // As the server's user, from its folder (a folder it cannot enter makes initdb fail).
    bool shell(const std::string& command, std::string& out, bool asServer = true) const {
        const std::string line =
            "cd " + shellQuoted(dir_) + " && " + (asServer ? runAs_ : std::string()) + command + " 2>&1";
        FILE* p = popen(line.c_str(), "r");
        if (!p)
            return false;
        char buf[512];
        size_t n = 0;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        return pclose(p) == 0;
    }
    std::string readLog() const {
        std::ifstream in(dir_ + "/log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // A child that waits for its pipe to close (this process ended or shut down), then stops the
    // server and removes the folder.
    void startGuard() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        const std::string script = "cat >/dev/null; cd /tmp; " + runAs_ + tool("pg_ctl") + " -D " +
                                   shellQuoted(dir_ + "/data") +
                                   " stop -m immediate >/dev/null 2>&1; rm -rf " + shellQuoted(dir_);
        guard_ = fork();
        if (guard_ == 0) {
            dup2(fds[0], 0);
            setsid();
            execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[0]);
        guardPipe_ = fds[1];
    }

    bool durable_ = false;
    std::string dir_;
    std::string runAs_;
    pid_t guard_ = -1;
    int guardPipe_ = -1;
};

} // namespace pgtest
