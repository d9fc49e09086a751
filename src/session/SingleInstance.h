#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

class QLockFile;
class QSocketNotifier;

namespace jotbox {

// One Jotbox per user. The running one holds a lock file and answers on a
// local socket; a later launch finds the lock held and sends the running
// one its request, a line, and gets a line back. A lock left by a crashed
// process is taken over. Plain Unix sockets: Qt's own local sockets would
// load Qt Network and Kerberos at every start, for one line each way.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // A request longer than this is refused: the caller is not ours.
    static constexpr qint64 kMaxRequest = 64 << 20;

    enum class Asked { unreached, unanswered, answered };

    // Empty means the user's runtime folder ($XDG_RUNTIME_DIR).
    explicit SingleInstance(QString directory = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the per-user lock: true when no other Jotbox holds it.
    bool lock();
    // Holding the lock: answers each request line with `answer`'s line.
    void listen(std::function<QByteArray(const QByteArray&)> answer);
    // Sends one request to the running one; `answer` gets its reply when it
    // came within `timeoutMs`. Unreached when nobody listens.
    Asked ask(const QByteArray& request, QByteArray* answer, int timeoutMs);

    QString socketPath() const;

private:
    struct Peer;
    void accept();
    void serve(int fd);
    void drop(int fd);

    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    int m_server = -1;
    std::unique_ptr<QSocketNotifier> m_accepting;
    std::map<int, std::unique_ptr<Peer>> m_peers;
    std::function<QByteArray(const QByteArray&)> m_answer;
};

} // namespace jotbox
