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

    void show() override { shown = true; }
    QRect geometry() const override { return rect; }
    void showMenu(const Menu& menu) override { lastMenu = menu; }
    void setMenuSource(std::function<Menu()> source) override { menuSource = std::move(source); }
    std::function<Menu()> menuSource;
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

// Each call flips the state unless told to fail; `calls` counts them.
class FakeLoginItem : public LoginItemService {
public:
    Status current = notRegistered;
    bool fail = false;
    int calls = 0;

    Status status() const override { return current; }
    bool registerItem() override { return set(enabled); }
    bool unregisterItem() override { return set(notRegistered); }

private:
    bool set(Status s) {
        ++calls;
        current = fail ? current : s;
        return !fail;
    }
};

} // namespace jotbox::testing
