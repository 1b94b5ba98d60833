#pragma once
// One private server per test program, set up with the program's own setup script; each test
// gets a database of its own, copied from the script's, its tables made by the owner role.
#include "PgTestServer.h"
#include "central/CentralArchive.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

#ifndef KV_SOURCE_DIR
#define KV_SOURCE_DIR "."
#endif

namespace pgtest {

class Cluster {
public:
    // The server, or nullptr with why() telling what is missing or failed.
    static Cluster& get() {
        static Cluster c;
        return c;
    }
    bool ready() const { return ready_; }
    const std::string& why() const { return why_; }
    Server& server() { return server_; }

    // A new database like the script's, with the tables made by their owner unless bare.
    std::string freshDatabase(bool bare = false) {
        const std::string db = "t" + std::to_string(++databases_);
        why_ = server_.sql("postgres", "CREATE DATABASE " + db + " TEMPLATE kestrovane OWNER " + kOwner);
        CentralArchive owner;
        if (why_.empty() && !bare && !owner.open(server_.url(kOwner, db), CentralArchive::Mode::Push))
            why_ = owner.errorText();
        return db;
    }
    std::string pusherUrl(const std::string& db) const { return server_.url(kPusher, db); }
    std::string ownerUrl(const std::string& db) const { return server_.url(kOwner, db); }
    // The password file the pusher's logins read; a test may put a wrong one in its place.
    std::string passwordFile() const { return server_.folder() + "/pgpass"; }
    void writePasswordFile(const std::string& password) const {
        std::ofstream(passwordFile(), std::ios::trunc) << "*:*:*:" << kPusher << ":" << password << "\n";
        chmod(passwordFile().c_str(), 0600);
    }

private:
    Cluster() {
        why_ = Server::missing();
        if (!why_.empty())
            return;
        if (!server_.start(why_))
            return;
        std::string out;
        if (!server_.psqlFile(std::string(KV_SOURCE_DIR) + "/central/kestrovane-central.sql", out)) {
            why_ = "the setup script failed: " + out;
            return;
        }
        why_ = server_.sql("postgres",
                           std::string("ALTER ROLE ") + kPusher + " PASSWORD '" + kPusherPassword + "'");
        if (!why_.empty())
            return;
        writePasswordFile(kPusherPassword);
        setenv("PGPASSFILE", passwordFile().c_str(), 1);
        ready_ = true;
    }

    Server server_;
    bool ready_ = false;
    std::string why_;
    int databases_ = 0;
};

} // namespace pgtest

// Skips the test when the server binaries are missing, unless the run requires them (CI sets
// KV_REQUIRE_POSTGRES); fails it when the server could not be started.
#define REQUIRE_CLUSTER()                                                                                    \
    do {                                                                                                     \
        if (!pgtest::Server::missing().empty() && !std::getenv("KV_REQUIRE_POSTGRES"))                       \
            GTEST_SKIP() << pgtest::Server::missing();                                                       \
        ASSERT_TRUE(pgtest::Cluster::get().ready()) << pgtest::Cluster::get().why();                         \
    } while (0)
