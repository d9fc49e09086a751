#pragma once

#include "platform/Menu.h"

#include <QObject>
#include <QRect>

namespace jotbox {

// The icon in the desktop's tray. A primary click toggles the panel, a
// secondary click opens the status menu; no menu stays attached to it.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    enum class Click { primary, secondary };

    using QObject::QObject;
    virtual void show() = 0;
    // The icon's rectangle on screen; empty when the tray host does not say.
    virtual QRect geometry() const = 0;
    // Opens the menu at the icon and returns once it has closed.
    virtual void showMenu(const Menu& menu) = 0;

signals:
    void clicked(jotbox::TrayIcon::Click click);
};

} // namespace jotbox
