#pragma once

#include "desktop/ActivationProof.h"
#include "desktop/Menu.h"

#include <QObject>
#include <QRect>

#include <functional>

namespace jotbox {

// The icon in the desktop's tray. A primary click toggles the panel, a
// secondary click opens the status menu. Trays that draw an icon's menu
// themselves (over DBusMenu, as waybar does) read it from the menu source
// whenever they open it; the others ask for it with a secondary click.
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
    // The status menu as it should read at this moment.
    virtual void setMenuSource(std::function<Menu()> source) = 0;
    // Whether the tray opens the menu at a primary click (GNOME's AppIndicator
    // extension does, once the menu has entries), so that the menu must also
    // hold a way to the panel.
    virtual bool clickOpensMenu() const { return false; }
    // What the tray host gave to show that the last primary click was the
    // user's, taken once.
    virtual ActivationProof takeActivation() { return {}; }

signals:
    void clicked(jotbox::TrayIcon::Click click);
};

} // namespace jotbox
