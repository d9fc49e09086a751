#pragma once

#include "desktop/ModifierFlags.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace jotbox {

struct Menu;

// One entry of a menu: what the app builds, before it is rendered as a QMenu.
struct MenuItem {
    enum class State { off = 0, on = 1 };

    QString title;
    std::function<void()> action;
    QString keyEquivalent; // "q", "z", ... empty when none
    ModifierFlags keyEquivalentModifierMask{ModifierFlags::command};
    State state = State::off;
    bool checkable = false; // shown as a switch, on or off
    std::shared_ptr<Menu> submenu;
    bool isSeparator = false;

    static MenuItem separator() {
        MenuItem item;
        item.isSeparator = true;
        item.keyEquivalentModifierMask = ModifierFlags();
        return item;
    }
};

struct Menu {
    QString title;
    QList<MenuItem> itemArray;
};

// The menu the application installs as its main menu; none until it does.
namespace MainMenu {
void set(std::shared_ptr<Menu> menu);
std::shared_ptr<Menu> get();
} // namespace MainMenu

} // namespace jotbox
