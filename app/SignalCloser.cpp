#include "app/SignalCloser.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};

void onPosixSignal(int) {
    const char b = 1;
    // Nothing else is safe in a signal handler; a full pipe just means a close is already pending.
    [[maybe_unused]] ssize_t n = ::write(g_fds[0], &b, 1);
}
} // namespace

SignalCloser::SignalCloser(QWidget* window) : QObject(window), window_(window) {
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
    if (!window_)
        return;
    // A modal box open at that moment runs its own loop; close it first so that the window's
    // close is not refused and the settings are still written.
    if (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
    QTimer::singleShot(0, window_, [w = window_] {
        if (w)
            w->close();
    });
}
