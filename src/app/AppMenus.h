#pragma once

#include "desktop/Menu.h"

#include <functional>
#include <memory>

namespace jotbox {

inline constexpr auto kWebsite = "https://jotbox.dev";

struct StatusMenuActions {
    std::function<void()> openWebsite;
    std::function<void()> toggleLaunchAtLogin;
    std::function<void()> quit;
};

// "Jotbox v<version>", "Launch at Login" (checked when enabled), "Quit Jotbox".
Menu makeStatusMenu(const QString& version, bool launchAtLoginEnabled, StatusMenuActions actions);
// "Open Jotbox": the status menu's first entry where a click opens the menu.
MenuItem makeOpenItem(std::function<void()> open);

struct EditActions {
    std::function<void()> undo, redo, cut, copy, paste, selectAll;
};

// The main menu: one "Edit" item whose submenu holds the editing commands.
std::shared_ptr<Menu> makeMainMenu(EditActions actions);

// The application version, or "1.0" when none is set.
QString versionOrDefault(const QString& version);

} // namespace jotbox
