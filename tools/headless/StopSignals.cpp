#include "tools/headless/StopSignals.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

namespace headless {
namespace {
// Lock-free, hence safe to set from a signal handler or the console's handler thread.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32
HANDLE g_ended = nullptr;

BOOL WINAPI onConsoleEvent(DWORD type) {
    g_stop = true;
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(g_ended, 4500);
    return TRUE;
}
#else
void onSignal(int) {
    g_stop = true;
}
#endif
} // namespace

void installStopHandlers() {
#ifdef _WIN32
    if (g_ended == nullptr)
        g_ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &sa, nullptr);
#endif
}

bool stopRequested() {
    return g_stop;
}

void runEnded() {
#ifdef _WIN32
    if (g_ended != nullptr)
        SetEvent(g_ended);
#endif
}

} // namespace headless
