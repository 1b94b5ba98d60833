// The collector's push to the team's central database: after a download, or alone (--push-only).
#include "archive/RecordArchive.h"
#include "central/CentralArchive.h"
#include "central/CentralPush.h"
#include "tools/headless/HeadlessDownload.h"
#include "tools/headless/StopSignals.h"

#include <filesystem>

namespace headless {

int pushToCentral(const Options& options, std::FILE* log) {
    auto say = [log](const std::string& line) {
        if (log)
            std::fprintf(log, "central: %s\n", line.c_str());
    };
    // The database first: its owner makes or brings up the tables even from a computer without an
    // archive of its own.
    CentralArchive central;
    if (!central.open(options.central, CentralArchive::Mode::Push)) {
        say("error: " + central.errorText() + "; the records wait in the archive for the next push");
        return kCentralIncomplete;
    }
    std::error_code ec;
    const std::u8string path(options.archivePath.begin(), options.archivePath.end());
    if (!std::filesystem::exists(std::filesystem::path(path), ec)) {
        say("no record archive at " + options.archivePath + ": nothing to push");
        return kOk;
    }
    // Opened for writing, so that an archive of an earlier version is brought up to date first.
    RecordArchive local;
    if (!local.open(options.archivePath)) {
        say("error: " + local.errorText());
        return kCentralIncomplete;
    }
    PushOptions push;
    push.host = hostName();
    push.stop = [] { return stopRequested(); };
    push.progress = [&](const PushReport& r) {
        say(std::to_string(r.recordsSent) + " records sent, " + std::to_string(r.waiting) + " waiting");
    };
    const PushReport report = pushArchive(local, central, push);
    const std::string sent = std::to_string(report.recordsSent) + " records sent (" +
                             std::to_string(report.recordsAdded) + " new to the database)";
    if (report.ok && report.waiting == 0) {
        say(sent + ", none waiting");
        return kOk;
    }
    const std::string waiting =
        report.waiting >= 0 ? std::to_string(report.waiting) + " records wait" : std::string("records wait");
    say(sent + "; " + (report.stopped ? std::string("stopped by a signal") : "error: " + report.errorText) +
        "; " + waiting + " in the archive for the next push");
    return kCentralIncomplete;
}

} // namespace headless
