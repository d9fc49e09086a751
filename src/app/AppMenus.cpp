#include "app/AppMenus.h"

namespace jotbox {

namespace {

MenuItem item(const QString& title, std::function<void()> action,
              const QString& keyEquivalent = {}) {
    MenuItem i;
    i.title = title;
    i.action = std::move(action);
    i.keyEquivalent = keyEquivalent;
    return i;
}

} // namespace

QString versionOrDefault(const QString& version) {
    return version.isEmpty() ? QStringLiteral("1.0") : version;
}

Menu makeStatusMenu(const QString& version, bool launchAtLoginEnabled, StatusMenuActions actions) {
    Menu menu;
    menu.itemArray.append(item(QStringLiteral("Jotbox v") + versionOrDefault(version),
                               std::move(actions.openWebsite)));
    menu.itemArray.append(MenuItem::separator());
    MenuItem login =
        item(QStringLiteral("Launch at Login"), std::move(actions.toggleLaunchAtLogin));
    login.checkable = true;
    login.state = launchAtLoginEnabled ? MenuItem::State::on : MenuItem::State::off;
    menu.itemArray.append(login);
    menu.itemArray.append(MenuItem::separator());
    menu.itemArray.append(
        item(QStringLiteral("Quit Jotbox"), std::move(actions.quit), QStringLiteral("q")));
    return menu;
}

MenuItem makeOpenItem(std::function<void()> open) {
    return item(QStringLiteral("Open Jotbox"), std::move(open));
}

std::shared_ptr<Menu> makeMainMenu(EditActions actions) {
    auto edit = std::make_shared<Menu>();
    edit->title = QStringLiteral("Edit");
    edit->itemArray = {
        item(QStringLiteral("Undo"), std::move(actions.undo), QStringLiteral("z")),
        item(QStringLiteral("Redo"), std::move(actions.redo), QStringLiteral("Z")),
        MenuItem::separator(),
        item(QStringLiteral("Cut"), std::move(actions.cut), QStringLiteral("x")),
        item(QStringLiteral("Copy"), std::move(actions.copy), QStringLiteral("c")),
        item(QStringLiteral("Paste"), std::move(actions.paste), QStringLiteral("v")),
        item(QStringLiteral("Select All"), std::move(actions.selectAll), QStringLiteral("a")),
    };
    auto main = std::make_shared<Menu>();
    MenuItem editItem = item(QStringLiteral("Edit"), {});
    editItem.submenu = edit;
    main->itemArray = {editItem};
    return main;
}

} // namespace jotbox
