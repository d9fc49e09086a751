#include "platform/LoginItemService.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace jotbox;

namespace {

class XdgAutostartTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString dir() const { return tmp.filePath("config/autostart"); }
    QByteArray entry() const {
        QFile f(dir() + "/jotbox.desktop");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeEntry(const QByteArray& content) {
        QDir().mkpath(dir());
        QFile f(dir() + "/jotbox.desktop");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
};

TEST_F(XdgAutostartTest, RegisterWritesAnEnabledEntryAndUnregisterRemovesIt) {
    qputenv("XDG_CONFIG_HOME", tmp.path().toUtf8());
    EXPECT_EQ(XdgAutostartLoginItem({}, "/bin/jotbox").entryPath(),
              tmp.filePath("autostart/jotbox.desktop"));
    qunsetenv("XDG_CONFIG_HOME");
    XdgAutostartLoginItem item(dir(), "/opt/jotbox/bin/jotbox");
    EXPECT_EQ(item.status(), LoginItemService::notRegistered);
    ASSERT_TRUE(item.registerItem()); // creates the missing folders
    EXPECT_EQ(item.status(), LoginItemService::enabled);
    const QByteArray e = entry();
    EXPECT_TRUE(e.startsWith("[Desktop Entry]\n"));
    for (const char* line : {"\nExec=\"/opt/jotbox/bin/jotbox\"\n", "\nHidden=false\n",
                             "\nX-GNOME-Autostart-enabled=true\n"})
        EXPECT_TRUE(e.contains(line)) << line;
    ASSERT_TRUE(item.unregisterItem());
    EXPECT_FALSE(QFile::exists(item.entryPath()));
    EXPECT_EQ(item.status(), LoginItemService::notRegistered);
    EXPECT_TRUE(item.unregisterItem()); // nothing there: already the wanted state
    // Paths with reserved characters are quoted.
    EXPECT_EQ(XdgAutostartLoginItem::execValue("/home/a b/jotbox"), "\"/home/a b/jotbox\"");
    EXPECT_EQ(XdgAutostartLoginItem::execValue("/x/50%/j\"o$b`"),
              "\"/x/50%%/j\\\\\"o\\\\$b\\\\`\"");
}

TEST_F(XdgAutostartTest, SwitchedOffEntriesAreNotEnabled) {
    XdgAutostartLoginItem item(dir(), "/bin/jotbox");
    writeEntry("[Desktop Entry]\nType=Application\nExec=jotbox\nHidden=true\n");
    EXPECT_EQ(item.status(), LoginItemService::notRegistered);
    writeEntry("[Desktop Entry]\nExec=jotbox\nX-GNOME-Autostart-enabled = false\n");
    EXPECT_EQ(item.status(), LoginItemService::notRegistered);
    // Keys of another group do not count.
    writeEntry("[Desktop Entry]\nExec=jotbox\n[Desktop Action x]\nHidden=true\n");
    EXPECT_EQ(item.status(), LoginItemService::enabled);
    // Registering again turns a switched-off entry back on.
    writeEntry("[Desktop Entry]\nExec=jotbox\nHidden=true\n");
    ASSERT_TRUE(item.registerItem());
    EXPECT_EQ(item.status(), LoginItemService::enabled);
}

TEST_F(XdgAutostartTest, FailuresAreReportedNotThrown) {
    // A plain file where the autostart folder should be.
    QFile blocker(tmp.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    XdgAutostartLoginItem item(tmp.filePath("blocked"), "/bin/jotbox");
    EXPECT_FALSE(item.registerItem());
    EXPECT_EQ(item.status(), LoginItemService::notRegistered);
    // No application object and no AppImage: no program to start, nothing written.
    XdgAutostartLoginItem unknown(dir(), QString());
    EXPECT_FALSE(unknown.registerItem());
    EXPECT_FALSE(QFile::exists(unknown.entryPath()));
}

} // namespace
