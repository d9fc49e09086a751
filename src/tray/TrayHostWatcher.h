#pragma once

#include <QObject>

namespace jotbox {

// Whether a tray host of one kind is there to show an icon, and when that
// changes. The program watches for StatusNotifierItem hosts on D-Bus and
// for an XEmbed tray on the X server.
class TrayHostWatcher : public QObject {
    Q_OBJECT
public:
    // `starting`: the kind's service runs but no host has joined it yet.
    enum class State { absent, starting, present };

    using QObject::QObject;
    virtual State state() const = 0;
    // The state asked for this moment, as a program deciding now would see
    // it; where only the watcher's last report is known, that one.
    virtual State stateNow() { return state(); }
    // Whether the host opens an icon's menu at a primary click.
    virtual bool hostOpensMenuOnClick() { return false; }

signals:
    void stateChanged();
};

} // namespace jotbox
