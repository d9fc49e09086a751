#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

namespace jotbox {

// One Jotbox per user. The first launch holds a lock file and listens on a
// local socket; a later launch finds the lock held and asks the running one
// to toggle its panel. A lock left by a crashed process is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // Empty means the user's runtime folder ($XDG_RUNTIME_DIR).
    explicit SingleInstance(QString directory = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the one Jotbox.
    bool becomePrimary();
    // From a second launch: asks the running one to toggle; false if none answered.
    bool askPrimaryToToggle(int timeoutMs = 2000);

    QString socketPath() const;

signals:
    void toggleRequested();

private:
    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace jotbox
