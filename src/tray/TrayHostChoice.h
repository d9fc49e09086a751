#pragma once

#include "tray/TrayHostWatcher.h"

#include <QTimer>

#include <chrono>
#include <memory>

namespace jotbox {

// Which kind of tray the icon goes in, chosen once a host is there to show
// it: a StatusNotifierItem host where its service runs, else an XEmbed tray;
// after waiting too long, XEmbed, whose icon still docks in a tray that
// comes later.
class TrayHostChoice final : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kHostWait{30};
    struct Choice {
        bool statusNotifier = false;
        bool clickOpensMenu = false; // the host opens the menu at a primary click
    };

    TrayHostChoice(std::unique_ptr<TrayHostWatcher> statusNotifierHost,
                   std::unique_ptr<TrayHostWatcher> xembedHost, QObject* parent = nullptr);

    // Starts waiting; `chosen` comes at once where a host is there already,
    // and only ever once.
    void start();

signals:
    void chosen(jotbox::TrayHostChoice::Choice choice);

private:
    bool hostReady() const;
    // `askAgain`: the state known may be older than the moment.
    void choose(bool askAgain = true);

    std::unique_ptr<TrayHostWatcher> m_statusNotifierHost;
    std::unique_ptr<TrayHostWatcher> m_xembedHost;
    QTimer m_wait;
    bool m_started = false;
    bool m_chosen = false;
};

} // namespace jotbox
