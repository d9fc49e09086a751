#include "session/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

namespace jotbox {

namespace {

// Where the session set none (cron, some SSH logins), the runtime folder the
// login made is still the running Jotbox's.
QString defaultDirectory() {
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QFileInfo login(QStringLiteral("/run/user/%1").arg(getuid()));
        if (login.isDir() && login.ownerId() == getuid())
            return login.filePath();
    }
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return dir.isEmpty() ? QDir::tempPath() : dir;
}

} // namespace

SingleInstance::SingleInstance(QString directory, QObject* parent)
    : QObject(parent),
      m_directory(directory.isEmpty() ? defaultDirectory() : std::move(directory)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath() const {
    return QDir(m_directory).filePath(QStringLiteral("jotbox.socket"));
}

bool SingleInstance::lock() {
    QDir().mkpath(m_directory);
    m_lock = std::make_unique<QLockFile>(QDir(m_directory).filePath(QStringLiteral("jotbox.lock")));
    // Never stale by age: only a lock whose process is gone is taken over.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0))
        m_lock.reset();
    return m_lock != nullptr;
}

void SingleInstance::listen(std::function<QByteArray(const QByteArray&)> answer) {
    m_answer = std::move(answer);
    // Holding the lock, any socket file left is a crashed run's.
    QLocalServer::removeServer(socketPath());
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                while (peer->canReadLine()) {
                    const QByteArray line = peer->readLine();
                    peer->write(m_answer(line.chopped(1)) + '\n');
                }
                if (peer->bytesAvailable() > kMaxRequest)
                    peer->abort();
            });
        }
    });
    m_server->listen(socketPath());
}

SingleInstance::Asked SingleInstance::ask(const QByteArray& request, QByteArray* answer,
                                          int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(200))
        return Asked::unreached;
    socket.write(request + '\n');
    QDeadlineTimer deadline(timeoutMs);
    const auto left = [&] { return int(std::max<qint64>(1, deadline.remainingTime())); };
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired())
        if (!socket.waitForBytesWritten(left()))
            break;
    while (!socket.canReadLine())
        if (deadline.hasExpired() || !socket.waitForReadyRead(left()))
            if (!socket.canReadLine())
                return Asked::unanswered;
    *answer = socket.readLine().chopped(1);
    return Asked::answered;
}

} // namespace jotbox
