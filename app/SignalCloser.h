#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QSocketNotifier;

// Turns the system's requests to end the program into a close of the main window that asks no
// one: SIGTERM, SIGINT and SIGHUP on POSIX; on Windows a console close, Ctrl+C, logoff or
// shutdown, and the session's end. The request is carried out on the user-interface thread
// (POSIX: the handler only writes a byte to a socket pair).
class SignalCloser : public QObject {
    Q_OBJECT
public:
    // stop closes the window without questions; it runs on the user-interface thread.
    SignalCloser(QWidget* window, std::function<void()> stop);
    ~SignalCloser() override;

private:
    Q_INVOKABLE void onSignal();
    QPointer<QWidget> window_;
    std::function<void()> stop_;
    QSocketNotifier* notifier_ = nullptr;
};
