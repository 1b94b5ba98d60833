#pragma once
#include <QObject>
#include <QString>

class QLocalServer;

// One program per settings file: two would take the modem's port from each other and write the
// same settings at close. A later start hands over to the first one, which comes forward.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // key: what the programs must not share (the settings file's path).
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True for the first program: it hears later starts from now on. False when another one runs;
    // that one has been asked to come forward.
    bool claim();

signals:
    void anotherStarted();

private:
    QString name_;
    QLocalServer* server_ = nullptr;
};
