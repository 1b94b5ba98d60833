#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
constexpr int kAnswerMs = 1000;

QString userName() {
    const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    return user.isEmpty() ? QStringLiteral("user") : user;
}
} // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent) {
    // The socket lies in a folder shared by every user: the name is the user's and the key's.
    const QByteArray digest =
        QCryptographicHash::hash((userName() + '\n' + key).toUtf8(), QCryptographicHash::Sha1).toHex();
    name_ = QStringLiteral("kestrovane-") + QString::fromLatin1(digest.left(16));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim() {
    QLocalSocket probe;
    probe.connectToServer(name_);
    if (probe.waitForConnected(kAnswerMs)) {
        probe.write("raise\n");
        probe.waitForBytesWritten(kAnswerMs);
        probe.disconnectFromServer();
        return false;
    }
    // Nobody answered: a socket left by a program that crashed is in the way.
    QLocalServer::removeServer(name_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Without the guard the program still runs; only a second start is not noticed.
    if (!server_->listen(name_))
        return true;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            s->disconnectFromServer();
        }
        emit anotherStarted();
    });
    return true;
}
