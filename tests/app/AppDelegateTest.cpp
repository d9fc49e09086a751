#include "app/AppDelegate.h"
#include "app/AppFakes.h"
#include "app/HotkeyManager.h"
#include "app/KeyablePanel.h"
#include "hotkey/FakeHotkeyService.h"
#include "hotkey/HotKeysController.h"
#include "hotkey/KeyCombo.h"
#include "notes/ManualClock.h"
#include "support/QtPrinters.h"
#include "views/ContentView.h"
#include "views/NoteEditorView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace jotbox;
using namespace jotbox::testing;

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

    void make(QString version = QStringLiteral("2.3")) {
        AppServices s;
        s.persistence = std::make_shared<PersistenceManager>(tmp.path());
        auto timer = clock.makeTimer();
        s.saveTimer = std::move(timer);
        s.makeTrayIcon = [this] {
            auto t = std::make_unique<FakeTrayIcon>();
            tray = t.get();
            return t;
        };
        auto w = std::make_unique<FakeWatcher>();
        watcher = w.get();
        s.outsideClickWatcher = std::move(w);
        auto l = std::make_unique<FakeLoginItem>();
        login = l.get();
        s.loginItem = std::move(l);
        s.openUrl = [this](const QUrl& url) { opened.append(url); };
        s.quit = [] { QCoreApplication::quit(); };
        s.screenAt = [](std::optional<QPoint>) {
            return ScreenArea{{0, 0, 2560, 1440}, {0, 0, 2560, 1440}};
        };
        s.pointer = [this] { return pointerAt; };
        s.now = [this] { return time; };
        s.version = version;
        delegate = std::make_unique<AppDelegate>(std::move(s));
    }

    void launch() {
        delegate->applicationDidFinishLaunching();
        // The shared manager outlives a test; when an earlier test in this
        // process made it, register it again with this test's fake.
        const auto& hotKey = HotkeyManager::shared().hotKey();
        if (!HotKeysController::boxForHotKey(*hotKey)) {
            hotKey->setIsPaused(true);
            hotKey->setIsPaused(false);
        }
        QApplication::processEvents();
    }

    QStringList titles(const Menu& menu) const {
        QStringList out;
        for (const MenuItem& i : menu.itemArray)
            out << (i.isSeparator ? QStringLiteral("---") : i.title);
        return out;
    }

    bool panelShown() const { return delegate->panel()->isVisible(); }

    QTemporaryDir tmp;
    ManualClock clock;
    std::shared_ptr<FakeHotkeyService> hotkeys = std::make_shared<FakeHotkeyService>();
    FakeTrayIcon* tray = nullptr;
    FakeWatcher* watcher = nullptr;
    FakeLoginItem* login = nullptr;
    QList<QUrl> opened;
    std::optional<QPoint> pointerAt = QPoint(10, 10);
    std::chrono::milliseconds time{0};
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, StoreIsLoadedBeforeLaunchAndNothingElseExistsYet) {
    EXPECT_EQ(delegate->store().notes().size(), 1);
    EXPECT_EQ(tray, nullptr);
    EXPECT_EQ(delegate->panel(), nullptr);
    EXPECT_TRUE(hotkeys->registrations.empty());
    EXPECT_TRUE(QDir(tmp.path()).isEmpty());
}

TEST_F(AppDelegateTest, LaunchMakesIconHiddenPanelEditShortcutsAndTheHotkey) {
    launch();
    ASSERT_NE(tray, nullptr);
    EXPECT_TRUE(tray->shown);
    ASSERT_NE(delegate->panel(), nullptr);
    EXPECT_FALSE(panelShown());
    EXPECT_EQ(delegate->panel()->size(), QSize(464, 256));
    EXPECT_TRUE(delegate->panel()->windowFlags() & Qt::Tool);
    EXPECT_TRUE(delegate->panel()->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(delegate->panel()->windowFlags() & Qt::WindowStaysOnTopHint);
    // The Edit menu's equivalents: an upper-case Z reads as z, shift not added.
    EXPECT_EQ(KeyCombo::mainMenuKeyCombos(),
              (QList<KeyCombo>{{6, 256}, {6, 256}, {7, 256}, {8, 256}, {9, 256}, {0, 256}}));
    ASSERT_EQ(hotkeys->registrations.size(), 1u);
    EXPECT_EQ(hotkeys->registrations[0].keyCode, 45u);
    EXPECT_EQ(hotkeys->registrations[0].modifiers, 2304u);
}

TEST_F(AppDelegateTest, LaunchStepsRunInOrder) {
    QStringList steps;
    AppDelegate* d = delegate.get();
    hotkeys->onRegister = [&] {
        steps << "hotkey";
        // By then the icon, the hidden panel and the Edit menu all exist.
        if (tray && tray->shown)
            steps << "after icon";
        if (d->panel() && !d->panel()->isVisible())
            steps << "after panel";
        if (MainMenu::get())
            steps << "after Edit menu";
    };
    MainMenu::set(nullptr);
    launch();
    EXPECT_EQ(steps, (QStringList{"hotkey", "after icon", "after panel", "after Edit menu"}));
}

TEST_F(AppDelegateTest, HotkeyPressTogglesAndReleaseDoesNothing) {
    launch();
    EXPECT_EQ(hotkeys->send(1, kEventHotKeyPressed), noErr);
    EXPECT_TRUE(panelShown());
    EXPECT_EQ(hotkeys->send(1, kEventHotKeyReleased), eventNotHandledErr);
    EXPECT_TRUE(panelShown());
    hotkeys->send(1, kEventHotKeyPressed);
    EXPECT_FALSE(panelShown());
    // A replaced onToggle is the only one called.
    int calls = 0;
    HotkeyManager::shared().onToggle = [&] { ++calls; };
    hotkeys->send(1, kEventHotKeyPressed);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(panelShown());
}

TEST_F(AppDelegateTest, ClicksRouteByButton) {
    launch();
    tray->click(TrayIcon::Click::secondary);
    EXPECT_TRUE(tray->lastMenu.has_value());
    EXPECT_FALSE(panelShown());
    tray->click(TrayIcon::Click::primary);
    EXPECT_TRUE(panelShown());
    tray->click(TrayIcon::Click::secondary); // the menu leaves the panel as it was
    EXPECT_TRUE(panelShown());
    tray->click(TrayIcon::Click::primary);
    EXPECT_FALSE(panelShown());
}

TEST_F(AppDelegateTest, ShowingPlacesTheFocusedPanelUnderTheIconAndWatchesOutside) {
    launch();
    tray->rect = QRect(1000, 0, 24, 24);
    delegate->showPanel();
    EXPECT_EQ(delegate->panel()->pos(), QPoint(780, 29));
    EXPECT_TRUE(delegate->hasMonitor());
    EXPECT_TRUE(watcher->installed);
    // Presses on the icon are the icon's own.
    EXPECT_TRUE(watcher->ignore(QPoint(1010, 10)));
    EXPECT_FALSE(watcher->ignore(QPoint(500, 500)));

    delegate->togglePanel();
    EXPECT_FALSE(panelShown());
    EXPECT_FALSE(delegate->hasMonitor());
    EXPECT_FALSE(watcher->installed);
    // Hiding a hidden panel changes nothing.
    delegate->hidePanel();
    EXPECT_EQ(watcher->stops, 1);
}

// Trays that keep the icon's place to themselves: the press of a click on
// the icon reaches the outside watcher first, then the icon's activation.
TEST_F(AppDelegateTest, AClickOnTheIconThatAPressOutsideAlreadyHidItsPanelForHidesItOnce) {
    using std::chrono::milliseconds;
    const QPoint icon(2500, 12), elsewhere(600, 700);
    const struct {
        const char* what;
        QRect geometry;
        std::optional<QPoint> press, activation; // the pointer then
        milliseconds after;                      // from press to activation
        bool shown;
    } cases[] = {
        {"the click that hid it", {}, icon, icon, milliseconds(120), false},
        {"a slow click that hid it", {}, icon, icon, milliseconds(650), false},
        {"a click on the icon well after", {}, icon, icon, milliseconds(800), true},
        {"a click on the icon after a press elsewhere",
         {},
         elsewhere,
         icon,
         milliseconds(120),
         true},
        {"no pointer to compare (Wayland)",
         {},
         std::nullopt,
         std::nullopt,
         milliseconds(120),
         false},
        {"a tray that tells the icon's place",
         {2490, 0, 24, 24},
         elsewhere,
         icon,
         milliseconds(120),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        delegate.reset();
        make();
        launch();
        tray->rect = c.geometry;
        pointerAt = icon;
        tray->click(TrayIcon::Click::primary);
        ASSERT_TRUE(panelShown());
        pointerAt = c.press;
        watcher->onOutside();
        ASSERT_FALSE(panelShown());
        time += c.after;
        pointerAt = c.activation;
        tray->click(TrayIcon::Click::primary);
        EXPECT_EQ(panelShown(), c.shown);
        // Whatever it was, the next click toggles.
        tray->click(TrayIcon::Click::primary);
        EXPECT_EQ(panelShown(), !c.shown);
    }
}

TEST_F(AppDelegateTest, WithoutTheIconsPlaceTheLastClickOnItStandsForIt) {
    launch();
    tray->rect = QRect();
    hotkeys->send(1, kEventHotKeyPressed); // no click yet: the top right corner
    EXPECT_EQ(delegate->panel()->pos(), QPoint(2560 - 5 - 464, 5));
    hotkeys->send(1, kEventHotKeyPressed);
    pointerAt = QPoint(1200, 10);
    tray->click(TrayIcon::Click::primary);
    EXPECT_EQ(delegate->panel()->pos(), QPoint(1200 - 232, 15));
    tray->click(TrayIcon::Click::primary);
    pointerAt = QPoint(40, 900); // the shortcut, pressed wherever the pointer is
    hotkeys->send(1, kEventHotKeyPressed);
    EXPECT_EQ(delegate->panel()->pos(), QPoint(1200 - 232, 15));
}

TEST_F(AppDelegateTest, TypingGoesToTheEditorOnceShown) {
    launch();
    delegate->showPanel();
    QApplication::processEvents();
    QPlainTextEdit* editor = delegate->contentView()->editor()->textView();
    EXPECT_EQ(QApplication::focusWidget(), editor);
    QTest::keyClicks(QApplication::focusWidget(), "hi");
    EXPECT_EQ(delegate->store().notes().front().content, "hi");
}

TEST_F(AppDelegateTest, PressOutsideHidesAndRemovesTheWatcher) {
    launch();
    tray->click(TrayIcon::Click::primary);
    ASSERT_TRUE(panelShown());
    watcher->onOutside();
    EXPECT_FALSE(panelShown());
    EXPECT_FALSE(delegate->hasMonitor());
    EXPECT_FALSE(watcher->installed);
    // The very next click on the icon opens it again.
    tray->click(TrayIcon::Click::primary);
    EXPECT_TRUE(panelShown());
    EXPECT_TRUE(watcher->installed);
}

TEST_F(AppDelegateTest, StatusMenuTitlesOrderEquivalentsAndCheckMark) {
    launch();
    delegate->showStatusMenu();
    ASSERT_TRUE(tray->lastMenu);
    const Menu& menu = *tray->lastMenu;
    EXPECT_EQ(titles(menu),
              (QStringList{"Jotbox v2.3", "---", "Launch at Login", "---", "Quit Jotbox"}));
    EXPECT_EQ(menu.itemArray[0].keyEquivalent, "");
    EXPECT_EQ(menu.itemArray[2].keyEquivalent, "");
    EXPECT_EQ(menu.itemArray[4].keyEquivalent, "q");
    EXPECT_EQ(menu.itemArray[4].keyEquivalentModifierMask, ModifierFlags(ModifierFlags::command));
    EXPECT_EQ(menu.itemArray[2].state, MenuItem::State::off);

    login->current = LoginItemService::enabled;
    delegate->showStatusMenu(); // built afresh, reading the status again
    EXPECT_EQ(tray->lastMenu->itemArray[2].state, MenuItem::State::on);
}

TEST_F(AppDelegateTest, MissingVersionReadsOnePointZero) {
    delegate.reset();
    make(QString());
    launch();
    delegate->showStatusMenu();
    EXPECT_EQ(tray->lastMenu->itemArray[0].title, "Jotbox v1.0");
}

TEST_F(AppDelegateTest, MenuItemsDoWhatTheySay) {
    launch();
    delegate->showStatusMenu();
    tray->lastMenu->itemArray[0].action();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.front().scheme(), "https");

    tray->lastMenu->itemArray[2].action();
    EXPECT_EQ(login->registers, 1);
    EXPECT_EQ(login->current, LoginItemService::enabled);
    delegate->toggleLaunchAtLogin();
    EXPECT_EQ(login->unregisters, 1);
    EXPECT_EQ(login->current, LoginItemService::notRegistered);

    // A failure is dropped; the next menu shows the real state.
    login->fail = true;
    delegate->toggleLaunchAtLogin();
    delegate->showStatusMenu();
    EXPECT_EQ(tray->lastMenu->itemArray[2].state, MenuItem::State::off);
}

TEST_F(AppDelegateTest, QuitWritesTheLastEditBeforeTheProcessEnds) {
    launch();
    auto binding = delegate->store().activeNoteBinding();
    Note n = binding.get();
    n.content = "typed just before quitting";
    binding.set(n); // the content view requests the save
    ASSERT_TRUE(delegate->store().hasPendingSave());
    tray->whileMenuOpen = [](const Menu& menu) { menu.itemArray[4].action(); };
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, delegate.get(),
                     [this] { delegate->flush(); });
    QTimer::singleShot(0, [this] { tray->click(TrayIcon::Click::secondary); });
    QApplication::exec();
    QFile f(tmp.filePath("notes.json"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("typed just before quitting"));
}

TEST_F(AppDelegateTest, EditShortcutsReachTheEditorAndCtrlQDoesNotQuit) {
    launch();
    delegate->showPanel();
    QPlainTextEdit* editor = delegate->contentView()->editor()->textView();
    editor->setFocus();
    QTest::keyClicks(editor, "abc");
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(editor->textCursor().selectedText(), "abc");
    QTest::keyClick(editor, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(editor->toPlainText(), "");
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor->toPlainText(), "abc");
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor->toPlainText(), "");
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(editor->toPlainText(), "abc");
    bool quit = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quit = true; });
    QTest::keyClick(editor, Qt::Key_Q, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_FALSE(quit);
    EXPECT_EQ(delegate->store().notes().front().content, "abc");
}

} // namespace
