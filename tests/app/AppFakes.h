#pragma once

#include "session/OutsideClickWatcher.h"
#include "tray/TrayIcon.h"

#include <optional>

namespace jotbox::testing {

class FakeTrayIcon : public TrayIcon {
public:
    QRect rect{1000, 0, 24, 24};
    bool shown = false;
    std::optional<Menu> lastMenu;

    void show() override { shown = true; }
    QRect geometry() const override { return rect; }
    void showMenu(const Menu& menu) override { lastMenu = menu; }
    void setMenuSource(std::function<Menu()> source) override { menuSource = std::move(source); }
    bool clickOpensMenu() const override { return opensMenu; }
    std::function<Menu()> menuSource;
    bool opensMenu = false;
    void click(Click c) { emit clicked(c); }
};

class FakeWatcher : public OutsideClickWatcher {
public:
    int stops = 0;
    bool installed = false;
    std::function<void()> onOutside;
    std::function<bool(QPoint)> ignore;

    bool start(std::function<void()> outside, std::function<bool(QPoint)> ig) override {
        installed = true;
        onOutside = std::move(outside);
        ignore = std::move(ig);
        return true;
    }
    void stop() override { ++stops, installed = false; }
};

} // namespace jotbox::testing
