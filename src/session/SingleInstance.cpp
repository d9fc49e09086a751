#include "session/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

// False where the path does not fit a socket address.
bool addressOf(const QByteArray& path, sockaddr_un* address) {
    *address = {};
    address->sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof(address->sun_path)))
        return false;
    std::copy(path.begin(), path.end(), address->sun_path);
    return true;
}

// Waits for `events` on `fd` until the deadline; false when it passed.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline) {
    pollfd p{fd, events, 0};
    int ready;
    do
        ready = ::poll(&p, 1, int(std::max<qint64>(0, deadline.remainingTime())));
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace

// One caller: what it sent that is not a whole line yet, and what it is
// still to be sent back.
struct SingleInstance::Peer {
    QByteArray in, out;
    std::unique_ptr<QSocketNotifier> readable, writable;
};

SingleInstance::SingleInstance(QString directory, QObject* parent)
    : QObject(parent),
      m_directory(directory.isEmpty() ? defaultDirectory() : std::move(directory)) {}

SingleInstance::~SingleInstance() {
    m_peers.clear();
    m_accepting.reset();
    if (m_server >= 0)
        ::close(m_server);
}

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
    const QByteArray path = QFile::encodeName(socketPath());
    // Made in a folder of its own, the user's alone, then moved into place:
    // never reachable by others, not even for a moment.
    QByteArray folder = QFile::encodeName(m_directory) + "/.jotbox-XXXXXX";
    sockaddr_un address;
    if (!::mkdtemp(folder.data()) || !addressOf(folder + "/socket", &address))
        return;
    m_server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const bool bound =
        m_server >= 0 &&
        ::bind(m_server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::chmod(address.sun_path, 0700) == 0 && ::listen(m_server, SOMAXCONN) == 0 &&
        // Holding the lock, any socket file there is a crashed run's.
        ::rename(address.sun_path, path.constData()) == 0;
    ::unlink(address.sun_path);
    ::rmdir(folder.constData());
    if (!bound) {
        if (m_server >= 0)
            ::close(m_server);
        m_server = -1;
        return;
    }
    m_accepting = std::make_unique<QSocketNotifier>(m_server, QSocketNotifier::Read);
    connect(m_accepting.get(), &QSocketNotifier::activated, this, &SingleInstance::accept);
}

void SingleInstance::accept() {
    int fd;
    while ((fd = ::accept4(m_server, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
        auto peer = std::make_unique<Peer>();
        peer->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        peer->writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        peer->writable->setEnabled(false);
        connect(peer->readable.get(), &QSocketNotifier::activated, this, [this, fd] { serve(fd); });
        connect(peer->writable.get(), &QSocketNotifier::activated, this, [this, fd] { serve(fd); });
        m_peers[fd] = std::move(peer);
    }
}

// Reads what came, answers each whole line, and sends what the socket takes.
void SingleInstance::serve(int fd) {
    Peer& peer = *m_peers.at(fd);
    // An answer may run the event loop: not this caller again meanwhile.
    peer.readable->setEnabled(false);
    peer.writable->setEnabled(false);
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
        peer.in.append(buffer, got);
        for (qsizetype end; (end = peer.in.indexOf('\n')) >= 0; peer.in.remove(0, end + 1))
            peer.out += m_answer(peer.in.left(end)) + '\n';
        if (peer.in.size() > kMaxRequest)
            return drop(fd);
    }
    const bool closed = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    while (!peer.out.isEmpty()) {
        const ssize_t sent =
            ::send(fd, peer.out.constData(), size_t(peer.out.size()), MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (sent < 0)
            return drop(fd);
        peer.out.remove(0, sent);
    }
    if (closed && peer.out.isEmpty())
        return drop(fd);
    // Once gone for reading, only the answer is left to send.
    peer.readable->setEnabled(!closed);
    peer.writable->setEnabled(!peer.out.isEmpty());
}

void SingleInstance::drop(int fd) {
    // Notifiers first, then the descriptor they watch.
    const auto found = m_peers.find(fd);
    found->second->readable->setEnabled(false);
    found->second->writable->setEnabled(false);
    auto gone = std::move(found->second);
    m_peers.erase(found);
    gone->readable.release()->deleteLater();
    gone->writable.release()->deleteLater();
    ::close(fd);
}

SingleInstance::Asked SingleInstance::ask(const QByteArray& request, QByteArray* answer,
                                          int timeoutMs) {
    sockaddr_un address;
    if (!addressOf(QFile::encodeName(socketPath()), &address))
        return Asked::unreached;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Asked::unreached;
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    // A listener whose queue is full is given a moment, as a busy one is.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        !(errno == EAGAIN && waitFor(fd, POLLOUT, QDeadlineTimer(200))))
        return Asked::unreached;
    QDeadlineTimer deadline(timeoutMs);
    const QByteArray line = request + '\n';
    for (qsizetype sent = 0; sent < line.size();) {
        const ssize_t n =
            ::send(fd, line.constData() + sent, size_t(line.size() - sent), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return Asked::unanswered;
        else if (!waitFor(fd, POLLOUT, deadline))
            return Asked::unanswered;
    }
    QByteArray got;
    char buffer[65536];
    while (!got.contains('\n')) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return Asked::unanswered;
        else if (!waitFor(fd, POLLIN, deadline))
            return Asked::unanswered;
    }
    *answer = got.left(got.indexOf('\n'));
    return Asked::answered;
}

} // namespace jotbox
