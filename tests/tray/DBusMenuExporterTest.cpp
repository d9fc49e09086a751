#include "tray/DBusMenuExporter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

using jotbox::DBusMenuExporter;
using jotbox::DBusMenuLayout;
using jotbox::Menu;
using jotbox::MenuItem;

namespace {

struct StatusMenu {
    bool on = false;
    int quits = 0;
    bool withQuit = true;
    bool withOpen = false; // the entry only GNOME's menu gets, first

    Menu operator()() {
        const auto item = [](const char* title, std::function<void()> action = {}) {
            MenuItem entry;
            entry.title = title;
            entry.action = std::move(action);
            return entry;
        };
        Menu menu;
        if (withOpen)
            menu.itemArray.append(item("Open Jotbox"));
        MenuItem login = item("Launch at Login");
        login.checkable = true;
        login.state = on ? MenuItem::State::on : MenuItem::State::off;
        menu.itemArray += {item("Jotbox v1_2"), login, MenuItem::separator()};
        if (withQuit)
            menu.itemArray.append(item("Quit Jotbox", [this] { ++quits; }));
        return menu;
    }
};

// What trays read, and what they are told as the menu changes: a change of
// state alone keeps the layout (LXQt closes a menu whose layout changes as
// it opens), one of entries bumps it.
TEST(DBusMenuExporter, ServesTheMenuAndTellsTraysWhatChangedAndHow) {
    StatusMenu model;
    DBusMenuExporter menu([&model] { return model(); });
    QSignalSpy layoutChanged(&menu, &DBusMenuExporter::LayoutUpdated);
    QSignalSpy propertiesChanged(&menu, &DBusMenuExporter::ItemsPropertiesUpdated);

    DBusMenuLayout root;
    const uint revision = menu.GetLayout(0, -1, {}, root);
    ASSERT_EQ(root.children.size(), 4);
    EXPECT_EQ(root.children[0].properties.value("label"), "Jotbox v1__2"); // not a mnemonic
    EXPECT_EQ(root.children[1].properties.value("toggle-type"), "checkmark");
    EXPECT_EQ(root.children[1].properties.value("toggle-state"), 0);
    EXPECT_EQ(root.children[2].properties.value("type"), "separator");
    DBusMenuLayout shallow;
    menu.GetLayout(0, 0, {QStringLiteral("label")}, shallow);
    EXPECT_TRUE(shallow.children.isEmpty());
    EXPECT_EQ(menu.GetGroupProperties({2, 99}, {QStringLiteral("label")}).size(), 1);

    model.on = true;
    EXPECT_FALSE(menu.AboutToShow(0));
    EXPECT_TRUE(layoutChanged.isEmpty());
    ASSERT_EQ(propertiesChanged.size(), 1);
    const auto updated = propertiesChanged[0][0].value<QList<jotbox::DBusMenuItem>>();
    ASSERT_EQ(updated.size(), 1);
    EXPECT_EQ(updated[0].id, 2);
    EXPECT_EQ(updated[0].properties, QVariantMap({{QStringLiteral("toggle-state"), 1}}));
    EXPECT_FALSE(menu.AboutToShow(0));
    EXPECT_EQ(propertiesChanged.size(), 1); // nothing new: nothing said

    model.withQuit = false;
    EXPECT_TRUE(menu.AboutToShow(0));
    ASSERT_EQ(layoutChanged.size(), 1);
    EXPECT_EQ(layoutChanged[0][0].toUInt(), revision + 1);
    EXPECT_EQ(menu.GetLayout(0, -1, {}, root), revision + 1);
    EXPECT_EQ(root.children.size(), 3);
}

TEST(DBusMenuExporter, AClickRunsItsEntryOnceTheCallIsAnswered) {
    StatusMenu model;
    DBusMenuExporter menu([&model] { return model(); });
    menu.Event(4, QStringLiteral("clicked"), {}, 0);
    menu.Event(4, QStringLiteral("hovered"), {}, 0);
    menu.Event(99, QStringLiteral("clicked"), {}, 0);
    EXPECT_EQ(menu.EventGroup({{4, QStringLiteral("clicked"), {}, 0}, {7, {}, {}, 0}}),
              QList<int>{7});
    EXPECT_EQ(model.quits, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(model.quits, 2);
    // An entry that comes first later renumbers none: a click read before lands.
    model.withOpen = true;
    EXPECT_TRUE(menu.AboutToShow(0));
    menu.Event(4, QStringLiteral("clicked"), {}, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(model.quits, 3);
    DBusMenuLayout root;
    menu.GetLayout(0, -1, {}, root);
    EXPECT_EQ(root.children.front().properties.value("label"), "Open Jotbox");
    EXPECT_EQ(root.children.back().id, 4);
}

} // namespace
