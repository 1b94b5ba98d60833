#include "central/BackgroundPush.h"

#include "archive/RecordArchive.h"
#include "central/CentralArchive.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

// The thread's state outlives the object when a stop has to leave a connection attempt behind.
struct BackgroundPush::Shared {
    std::string archivePath;
    std::string connection;
    std::function<void(const PushReport&)> report;
    std::chrono::milliseconds retry;

    std::mutex lock;
    std::condition_variable wake;
    bool requested = false;
    bool stopping = false;
    bool finished = false;
    CentralArchive* central = nullptr; // the one in use, for a stop to cancel
};

BackgroundPush::BackgroundPush(std::string archivePath, std::string connection,
                               std::function<void(const PushReport&)> report, uint32_t retryMs)
    : shared_(std::make_shared<Shared>()) {
    shared_->archivePath = std::move(archivePath);
    shared_->connection = std::move(connection);
    shared_->report = std::move(report);
    shared_->retry = std::chrono::milliseconds(retryMs);
    worker_ = std::thread(run, shared_);
}

BackgroundPush::~BackgroundPush() {
    std::unique_lock<std::mutex> lock(shared_->lock);
    shared_->stopping = true;
    if (shared_->central)
        shared_->central->cancel();
    shared_->wake.notify_all();
    // A connection attempt cannot be cancelled; the program does not wait out its time limit.
    const bool ended = shared_->wake.wait_for(lock, std::chrono::milliseconds(kStopWaitMs),
                                              [this] { return shared_->finished; });
    lock.unlock();
    if (ended)
        worker_.join();
    else
        worker_.detach();
}

void BackgroundPush::pushSoon() {
    std::lock_guard<std::mutex> lock(shared_->lock);
    shared_->requested = true;
    shared_->wake.notify_all();
}

void BackgroundPush::run(std::shared_ptr<Shared> s) {
    bool failed = false;
    std::string databaseId; // the last one reached: what waits for it can be told while it is away
    // Asks that come while a push runs make one round with it: a round tells what all its pushes sent.
    bool continuing = false;
    PushReport carried;
    std::unique_lock<std::mutex> lock(s->lock);
    for (;;) {
        const auto asked = [&] { return s->requested || s->stopping; };
        if (!continuing && failed)
            s->wake.wait_for(lock, s->retry, asked);
        else if (!continuing)
            s->wake.wait(lock, asked);
        if (s->stopping)
            break;
        if (!continuing)
            carried = PushReport{};
        s->requested = false;
        lock.unlock();

        auto withCarried = [&carried](PushReport r) {
            r.recordsSent += carried.recordsSent;
            r.recordsAdded += carried.recordsAdded;
            r.blocksSent += carried.blocksSent;
            return r;
        };
        PushReport report;
        RecordArchive local;
        CentralArchive central;
        std::error_code ec;
        const std::u8string path(s->archivePath.begin(), s->archivePath.end());
        if (!std::filesystem::exists(std::filesystem::path(path), ec)) {
            // No archive yet: nothing waits.
            report.ok = true;
            report.waiting = 0;
        } else if (!local.open(s->archivePath, RecordArchive::Mode::Push)) {
            report.errorText = local.errorText();
        } else {
            {
                std::lock_guard<std::mutex> held(s->lock);
                s->central = &central;
            }
            if (central.open(s->connection, CentralArchive::Mode::Push)) {
                databaseId = central.databaseId();
                PushOptions options;
                options.host = hostName();
                options.stop = [&] {
                    std::lock_guard<std::mutex> held(s->lock);
                    return s->stopping;
                };
                options.progress = [&](const PushReport& r) {
                    if (s->report)
                        s->report(withCarried(r));
                };
                report = pushArchive(local, central, options);
            } else {
                report.errorText = central.errorText();
                int64_t mark = 0, waiting = 0;
                if (!databaseId.empty() && local.pushedUpTo(databaseId, mark) &&
                    local.recordsAfter(mark, waiting))
                    report.waiting = waiting;
            }
        }
        report = withCarried(report);
        lock.lock();
        s->central = nullptr;
        failed = !report.ok && !report.stopped;
        continuing = report.ok && s->requested && !s->stopping;
        carried = report;
        if (!continuing && !report.stopped && s->report) {
            lock.unlock();
            s->report(report);
            lock.lock();
        }
    }
    s->finished = true;
    s->wake.notify_all();
}
