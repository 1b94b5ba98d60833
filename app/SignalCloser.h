#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a close of the main window, as if the user had closed it,
// so that a logout or a kill still writes the settings. The signal handler only writes a byte to
// a socket pair; the close runs later on the user-interface thread.
class SignalCloser : public QObject {
    Q_OBJECT
public:
    explicit SignalCloser(QWidget* window);
    ~SignalCloser() override;

private:
    void onSignal();
    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
};
