#include "app/AppDelegate.h"
#include "app/AppFakes.h"
#include "app/HotkeyManager.h"
#include "app/KeyablePanel.h"
#include "hotkey/FakeHotkeyService.h"
#include "hotkey/HotKeysController.h"
#include "hotkey/KeyCombo.h"
#include "notes/FileContents.h"
#include "notes/ManualClock.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace jotbox;
using namespace jotbox::testing;
using ms = std::chrono::milliseconds;

namespace {

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        HotKeysController::resetForTesting(hotkeys);
        make();
    }
    void TearDown() override {
        delegate.reset();
        MainMenu::set(nullptr);
        HotKeysController::resetForTesting(nullptr);
    }
    template <typename T> static std::unique_ptr<T> keep(T*& fake) {
        return std::unique_ptr<T>(fake = new T);
    }
    void make() {
        delegate = std::make_unique<AppDelegate>(AppServices{
            std::make_shared<PersistenceManager>(tmp.path()), [this] { return clock.makeTimer(); },
            [this] { return keep(tray); }, keep(watcher),
            std::make_unique<XdgAutostartLoginItem>(tmp.filePath("autostart"), "/opt/jotbox"),
            [this](const QUrl& url) { opened.append(url); }, [] { QCoreApplication::quit(); },
            [](auto, bool) {
                return ScreenArea{{0, 0, 2560, 1440}, {0, 0, 2560, 1440}};
            },
            [this] { return pointerAt; }, [this] { return time; }, QStringLiteral("2.3"), nullptr,
            nullptr, nullptr});
    }
    void launch() {
        delegate->applicationDidFinishLaunching();
        // The shared manager outlives a test; when an earlier test in this
        // process made it, register it again with this test's fake.
        const auto& hotKey = HotkeyManager::shared().hotKey();
        if (!HotKeysController::boxForHotKey(*hotKey))
            hotKey->setIsPaused(true), hotKey->setIsPaused(false);
        QApplication::processEvents();
    }
    bool panelShown() const { return delegate->panel()->isVisible(); }

    QTemporaryDir tmp;
    ManualClock clock;
    std::shared_ptr<FakeHotkeyService> hotkeys = std::make_shared<FakeHotkeyService>();
    FakeTrayIcon* tray = nullptr;
    FakeWatcher* watcher = nullptr;
    QList<QUrl> opened;
    std::optional<QPoint> pointerAt = QPoint(10, 10);
    ms time{0};
    std::unique_ptr<AppDelegate> delegate;
};

// Placement, focus and hiding on a press elsewhere are the end-to-end runs' part.
TEST_F(AppDelegateTest, TheShortcutTogglesOnItsPressAndAHiddenPanelWatchesNothing) {
    launch();
    clock.advance(std::chrono::seconds(10)); // the blank first note is not written until typed in
    EXPECT_TRUE(QDir(tmp.path()).isEmpty());
    EXPECT_EQ(hotkeys->send(1, kEventHotKeyPressed), noErr); // the press toggles, the release not
    EXPECT_EQ(hotkeys->send(1, kEventHotKeyReleased), eventNotHandledErr);
    EXPECT_TRUE(panelShown() && delegate->hasMonitor() && watcher->installed);
    // Presses on the icon are the icon's own.
    EXPECT_TRUE(watcher->ignore(QPoint(1010, 10)) && !watcher->ignore(QPoint(500, 500)));
    watcher->onOutside();
    delegate->hidePanel(); // hiding a hidden panel changes nothing
    EXPECT_FALSE(panelShown() || delegate->hasMonitor() || watcher->installed);
    EXPECT_EQ(watcher->stops, 1);
}

// Read as a right click opens it, or as a tray drawing it itself reads it;
// Ctrl+Q quitting from Jotbox's own menu is the journey's.
TEST_F(AppDelegateTest, TheStatusMenuItsEntriesAndTheLoginItemsState) {
    const auto titles = [this](bool rightClick = false) {
        rightClick ? tray->click(TrayIcon::Click::secondary)
                   : void(tray->lastMenu = tray->menuSource());
        QStringList out;
        for (const MenuItem& i : tray->lastMenu->itemArray)
            out << (i.isSeparator ? "---"
                                  : i.title + (i.state == MenuItem::State::on ? " on" : "") +
                                        (i.keyEquivalent.isEmpty() ? "" : " ^" + i.keyEquivalent));
        return out.join(", ");
    };
    launch();
    EXPECT_EQ(titles(true), "Jotbox v2.3, ---, Launch at Login, ---, Quit Jotbox ^q");
    tray->lastMenu->itemArray[0].action();
    EXPECT_EQ(opened.value(0).scheme(), "https");
    // The switch reads the login item's state each time the menu is built.
    tray->lastMenu->itemArray[2].action();
    EXPECT_TRUE(QFile::exists(tmp.filePath("autostart/jotbox.desktop")));
    EXPECT_EQ(titles(), "Jotbox v2.3, ---, Launch at Login on, ---, Quit Jotbox ^q");
    tray->lastMenu->itemArray[2].action();
    EXPECT_EQ(titles(), "Jotbox v2.3, ---, Launch at Login, ---, Quit Jotbox ^q");
    ASSERT_TRUE(QDir(tmp.filePath("autostart")).removeRecursively());
    writeAll(tmp.filePath("autostart"), ""); // a file where the folder should be
    tray->lastMenu->itemArray[2].action();   // a failure is dropped: the menu reads the truth
    EXPECT_EQ(titles(), "Jotbox v2.3, ---, Launch at Login, ---, Quit Jotbox ^q");
    tray->opensMenu = true; // GNOME's: a click opens the menu, which leads to the panel
    EXPECT_TRUE(titles().startsWith("Open Jotbox, ---, Jotbox v2.3, ---, Launch at Login"));
    tray->lastMenu->itemArray[0].action();
    EXPECT_TRUE(panelShown());
}

} // namespace

namespace {

// The panel's edge is one device pixel on all four sides at every scale,
// with the window's colour straight inside it.
TEST(KeyablePanelTest, ItsEdgeIsOneDevicePixelOnEverySideAtEveryScale) {
    KeyablePanel panel(new QWidget);
    const QColor edge = panel.palette().color(QPalette::Mid);
    const QColor inside = panel.palette().color(QPalette::Window);
    for (const qreal scale : {1.0, 1.5, 2.0}) {
        QImage image((QSizeF(KeyablePanel::kSize) * scale).toSize(), QImage::Format_RGB32);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::magenta);
        panel.render(&image);
        const int w = image.width(), h = image.height();
        for (const auto& [outer, inner] : {std::pair{QPoint(w / 2, 0), QPoint(w / 2, 1)},
                                           {QPoint(w / 2, h - 1), QPoint(w / 2, h - 2)},
                                           {QPoint(0, h / 2), QPoint(1, h / 2)},
                                           {QPoint(w - 1, h / 2), QPoint(w - 2, h / 2)}}) {
            EXPECT_EQ(image.pixel(outer), edge.rgb())
                << scale << "x at " << outer.x() << "," << outer.y();
            EXPECT_EQ(image.pixel(inner), inside.rgb())
                << scale << "x at " << inner.x() << "," << inner.y();
        }
    }
}

} // namespace
