#pragma once

#include <QPoint>

#include <functional>

namespace jotbox {

// While installed, reports a mouse press outside Jotbox's windows, or focus
// moving to another application.
class OutsideClickWatcher {
public:
    virtual ~OutsideClickWatcher() = default;
    // `ignore` says which presses belong to us anyway (the tray icon). False
    // when nothing could be installed.
    virtual bool start(std::function<void()> onOutside, std::function<bool(QPoint)> ignore) = 0;
    virtual void stop() = 0;
};

} // namespace jotbox
