#pragma once
#include "central/CentralPush.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// The window's push: on a thread of its own, with its own connections to the local archive and the
// database, so that reception never waits for the network. Each pushSoon() asks for a push; a
// failed one is tried again every retryMs until one succeeds.
class BackgroundPush {
public:
    static constexpr uint32_t kRetryMs = 60000;
    // What the destructor waits for a push to reach its end before leaving it to the process's end.
    static constexpr uint32_t kStopWaitMs = 2000;

    // report runs on the push's thread: after each batch and at the end of each push.
    BackgroundPush(std::string archivePath, std::string connection,
                   std::function<void(const PushReport&)> report, uint32_t retryMs = kRetryMs);
    // Stops a push at its next batch, cancelling a command in progress.
    ~BackgroundPush();
    BackgroundPush(const BackgroundPush&) = delete;
    BackgroundPush& operator=(const BackgroundPush&) = delete;

    void pushSoon();

private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    std::thread worker_;
};
