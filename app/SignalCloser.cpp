#include "app/SignalCloser.h"

#include <QApplication>

#ifdef _WIN32
#include <QElapsedTimer>
#include <QSessionManager>
#include <atomic>
#include <windows.h>
#else
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifdef _WIN32

namespace {
std::atomic<SignalCloser*> g_closer{nullptr};
HANDLE g_closed = nullptr;

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD type) {
    SignalCloser* closer = g_closer.load();
    if (closer == nullptr)
        return FALSE;
    ResetEvent(g_closed);
    QMetaObject::invokeMethod(closer, "onSignal", Qt::QueuedConnection);
    // For these the system ends the process as soon as the handler returns: wait for the close,
    // within the five seconds the system allows.
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(g_closed, 4500);
    return TRUE;
}
} // namespace

SignalCloser::SignalCloser(QWidget* window, std::function<void()> stop)
    : QObject(window), window_(window), stop_(std::move(stop)) {
    if (g_closed == nullptr)
        g_closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_closer = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#if QT_CONFIG(sessionmanager)
    // WM_QUERYENDSESSION: the session ends when this returns, so the close happens inside it.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { onSignal(); });
#endif
}

SignalCloser::~SignalCloser() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    g_closer = nullptr;
}

void SignalCloser::onSignal() {
    if (window_)
        stop_();
    // A box that was open delays the close until its loop has unwound; the system does not wait
    // for the event loop, so this does.
    QElapsedTimer waited;
    waited.start();
    while (window_ && window_->isVisible() && waited.elapsed() < 4000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    SetEvent(g_closed);
}

#else

namespace {
int g_fds[2] = {-1, -1};

void onPosixSignal(int) {
    const char b = 1;
    // Nothing else is safe in a signal handler; a full pipe just means a close is already pending.
    [[maybe_unused]] ssize_t n = ::write(g_fds[0], &b, 1);
}
} // namespace

SignalCloser::SignalCloser(QWidget* window, std::function<void()> stop)
    : QObject(window), window_(window), stop_(std::move(stop)) {
    if (g_fds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0)
        return;
    notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalCloser::onSignal);
    struct sigaction sa {};
    sa.sa_handler = onPosixSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &sa, nullptr);
}

SignalCloser::~SignalCloser() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &sa, nullptr);
}

void SignalCloser::onSignal() {
    char buf[16];
    while (::read(g_fds[1], buf, sizeof buf) > 0) {
    }
    if (window_)
        stop_();
}

#endif
