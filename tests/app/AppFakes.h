#pragma once

#include "platform/LoginItemService.h"
#include "platform/OutsideClickWatcher.h"
#include "platform/TrayIcon.h"

#include <optional>

namespace jotbox::testing {

class FakeTrayIcon : public TrayIcon {
public:
    QRect rect{1000, 0, 24, 24};
    bool shown = false;
    std::optional<Menu> lastMenu;
    std::function<void(const Menu&)> whileMenuOpen; // picks an item, as a user would

    void show() override { shown = true; }
    QRect geometry() const override { return rect; }
    void showMenu(const Menu& menu) override {
        lastMenu = menu;
        if (whileMenuOpen)
            whileMenuOpen(menu);
    }
    void click(Click c) { emit clicked(c); }
};

class FakeWatcher : public OutsideClickWatcher {
public:
    int starts = 0, stops = 0;
    bool installed = false;
    std::function<void()> onOutside;
    std::function<bool(QPoint)> ignore;

    bool start(std::function<void()> outside, std::function<bool(QPoint)> ig) override {
        ++starts;
        installed = true;
        onOutside = std::move(outside);
        ignore = std::move(ig);
        return true;
    }
    void stop() override {
        ++stops;
        installed = false;
    }
};

class FakeLoginItem : public LoginItemService {
public:
    Status current = notRegistered;
    bool fail = false;
    int registers = 0, unregisters = 0;

    Status status() const override { return current; }
    bool registerItem() override {
        ++registers;
        if (!fail)
            current = enabled;
        return !fail;
    }
    bool unregisterItem() override {
        ++unregisters;
        if (!fail)
            current = notRegistered;
        return !fail;
    }
};

} // namespace jotbox::testing
