#include "notes/FileContents.h"
#include "session/LoginItemService.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace jotbox;
using jotbox::testing::readAll;
using jotbox::testing::writeAll;

namespace {

// Switching the entry on and off, and a folder that cannot be made, are the
// delegate's test, with this item in a temporary folder; its place under
// $XDG_CONFIG_HOME is every end-to-end run's.
TEST(XdgAutostart, TheEntryItsQuotingAndTheWaysDesktopsSwitchItOff) {
    QTemporaryDir tmp;
    XdgAutostartLoginItem item(tmp.filePath("config/autostart"), "/opt/jotbox/bin/jotbox");
    ASSERT_TRUE(item.registerItem()); // creates the missing folders
    const QByteArray e = readAll(item.entryPath());
    for (const char* line : {"[Desktop Entry]\n", "\nExec=\"/opt/jotbox/bin/jotbox\"\n",
                             "\nTryExec=/opt/jotbox/bin/jotbox\n", "\nIcon=dev.jotbox.Jotbox\n",
                             "\nHidden=false\n", "\nX-GNOME-Autostart-enabled=true\n"})
        EXPECT_TRUE(e.contains(line)) << line;
    // Paths with reserved characters are quoted.
    EXPECT_EQ(XdgAutostartLoginItem::execValue("/home/a b/jotbox"), "\"/home/a b/jotbox\"");
    EXPECT_EQ(XdgAutostartLoginItem::execValue("/x/50%/j\"o$b`"),
              "\"/x/50%%/j\\\\\"o\\\\$b\\\\`\"");
    // Switched off in either desktop's way, and only in the entry's own group.
    const std::pair<QByteArray, LoginItemService::Status> entries[] = {
        {"Type=Application\nExec=jotbox\nHidden=true\n", LoginItemService::notRegistered},
        {"Exec=jotbox\nX-GNOME-Autostart-enabled = false\n", LoginItemService::notRegistered},
        {"Exec=jotbox\n[Desktop Action x]\nHidden=true\n", LoginItemService::enabled}};
    for (const auto& [entry, status] : entries) {
        writeAll(item.entryPath(), "[Desktop Entry]\n" + entry);
        EXPECT_EQ(item.status(), status) << entry.constData();
    }
    writeAll(item.entryPath(), "[Desktop Entry]\nExec=jotbox\nHidden=true\n");
    ASSERT_TRUE(item.registerItem()); // turns a switched-off entry back on
    EXPECT_EQ(item.status(), LoginItemService::enabled);
    ASSERT_TRUE(item.unregisterItem());
    EXPECT_TRUE(item.unregisterItem()); // nothing there: already the wanted state
    // Run from an AppImage, the program is a temporary mount: the entry starts the image.
    qputenv("APPIMAGE", "/home/u/Jotbox.AppImage");
    ASSERT_TRUE(XdgAutostartLoginItem(tmp.filePath("config/autostart")).registerItem());
    EXPECT_TRUE(readAll(item.entryPath()).contains("\nExec=\"/home/u/Jotbox.AppImage\"\n"));
    qunsetenv("APPIMAGE");
}

} // namespace
