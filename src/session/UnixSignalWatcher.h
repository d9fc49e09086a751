#pragma once

#include <QObject>

#include <initializer_list>
#include <memory>

class QSocketNotifier;

namespace jotbox {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the UI thread, so the
// program can end the way Quit does, pending save included.
class UnixSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit UnixSignalWatcher(std::initializer_list<int> which, QObject* parent = nullptr);
    ~UnixSignalWatcher() override;

signals:
    void received(int signal);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace jotbox
