// Runs the X11 hotkey service against a real X server (its own Xvfb) and
// presses keys with xdotool, as a user's keyboard would.
#include "platform/X11HotkeyService.h"
#include "support/Xvfb.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace jotbox;
using jotbox::testing::Xvfb;

namespace {

constexpr std::uint32_t kN = 45;
constexpr std::uint32_t kCtrlAlt = 256 | 2048; // command + option: Ctrl+Alt here

class X11HotkeyServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "x11_hotkey_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);
    }

    void SetUp() override {
        ASSERT_TRUE(xvfb.isRunning()) << "Xvfb did not start";
        service = std::make_unique<X11HotkeyService>(xvfb.display());
        ASSERT_TRUE(service->isConnected());
        EventHandlerRef handler = 0;
        service->installEventHandler(
            [this](EventRef e) {
                kinds.push_back(e->kind);
                ids.push_back(e->identity.id);
                return noErr;
            },
            {}, &handler);
    }

    void xdotool(const QStringList& args) {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromLatin1(xvfb.display()));
        p.setProcessEnvironment(env);
        p.start("xdotool", args);
        ASSERT_TRUE(p.waitForFinished(10000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }

    // Processes events until `count` events have arrived, for at most two seconds.
    bool waitForEvents(std::size_t count) {
        QDeadlineTimer deadline(2000);
        while (kinds.size() < count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return kinds.size() >= count;
    }

    // Lets anything still in flight arrive, so that "no more events" means something.
    void settle() {
        QDeadlineTimer deadline(300);
        while (!deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    Xvfb xvfb;
    std::unique_ptr<X11HotkeyService> service;
    std::vector<std::uint32_t> kinds;
    std::vector<std::uint32_t> ids;
};

TEST_F(X11HotkeyServiceTest, CtrlAltNGivesOnePressAndOneRelease) {
    EventHotKeyRef ref = 0;
    ASSERT_EQ(service->registerEventHotKey(kN, kCtrlAlt, {0x516D7A74, 1}, 0, &ref), noErr);
    ASSERT_NE(ref, 0u);
    xdotool({"key", "ctrl+alt+n"});
    ASSERT_TRUE(waitForEvents(2));
    settle();
    EXPECT_EQ(kinds, (std::vector<std::uint32_t>{kEventHotKeyPressed, kEventHotKeyReleased}));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 1}));

    // Other combinations of the same key are not ours.
    xdotool({"key", "ctrl+n", "alt+n", "n", "ctrl+alt+m"});
    settle();
    EXPECT_EQ(kinds.size(), 2u);

    // Unregistered: silent.
    EXPECT_EQ(service->unregisterEventHotKey(ref), noErr);
    xdotool({"key", "ctrl+alt+n"});
    settle();
    EXPECT_EQ(kinds.size(), 2u);
}

TEST_F(X11HotkeyServiceTest, StillFiresWithNumLockAndCapsLockOn) {
    EventHotKeyRef ref = 0;
    ASSERT_EQ(service->registerEventHotKey(kN, kCtrlAlt, {0x516D7A74, 1}, 0, &ref), noErr);
    xdotool({"key", "Num_Lock", "Caps_Lock"});

    // Check that the locks really are on, so this tests what it says.
    xcb_connection_t* c = xcb_connect(xvfb.display().constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto* pointer = xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr);
    ASSERT_TRUE(pointer);
    EXPECT_TRUE(pointer->mask & XCB_MOD_MASK_LOCK);
    EXPECT_TRUE(pointer->mask & XCB_MOD_MASK_2); // NumLock on Xvfb's default map
    std::free(pointer);
    xcb_disconnect(c);

    xdotool({"key", "ctrl+alt+n"});
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(kinds, (std::vector<std::uint32_t>{kEventHotKeyPressed, kEventHotKeyReleased}));
}

TEST_F(X11HotkeyServiceTest, HeldShortcutTogglesOnce) {
    EventHotKeyRef ref = 0;
    ASSERT_EQ(service->registerEventHotKey(kN, kCtrlAlt, {0x516D7A74, 1}, 0, &ref), noErr);
    // Long enough for the server's auto-repeat (600 ms delay, then 25 per second).
    xdotool({"keydown", "ctrl+alt+n", "sleep", "1.2", "keyup", "n", "keyup", "ctrl+alt"});
    ASSERT_TRUE(waitForEvents(2));
    settle();
    EXPECT_EQ(kinds, (std::vector<std::uint32_t>{kEventHotKeyPressed, kEventHotKeyReleased}));
}

TEST_F(X11HotkeyServiceTest, CombinationHeldByAnotherClientIsRefused) {
    xcb_connection_t* other = xcb_connect(xvfb.display().constData(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    const auto cookie = xcb_grab_key_checked(other, 0, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1,
                                             57, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    ASSERT_EQ(xcb_request_check(other, cookie), nullptr);

    EventHotKeyRef ref = 0;
    EXPECT_NE(service->registerEventHotKey(kN, kCtrlAlt, {0x516D7A74, 1}, 0, &ref), noErr);
    EXPECT_EQ(ref, 0u);
    // A different combination is still free, and works.
    ASSERT_EQ(service->registerEventHotKey(kN, 256 | 512, {0x516D7A74, 2}, 0, &ref), noErr);
    xdotool({"key", "ctrl+shift+n"});
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(ids.front(), 2u);
    xcb_disconnect(other);
}

TEST_F(X11HotkeyServiceTest, SameCombinationTwiceIsRefused) {
    EventHotKeyRef first = 0, second = 0;
    ASSERT_EQ(service->registerEventHotKey(kN, kCtrlAlt, {0x516D7A74, 1}, 0, &first), noErr);
    EXPECT_NE(service->registerEventHotKey(kN, kCtrlAlt, {0x516D7A74, 2}, 0, &second), noErr);
    EXPECT_EQ(second, 0u);
}

TEST(X11HotkeyServiceWithoutServer, RefusesEverythingQuietly) {
    X11HotkeyService service("unix:/nonexistent/display:99");
    EXPECT_FALSE(service.isConnected());
    EventHotKeyRef ref = 1;
    EXPECT_NE(service.registerEventHotKey(kN, kCtrlAlt, {0x516D7A74, 1}, 0, &ref), noErr);
    EXPECT_EQ(ref, 0u);
    EXPECT_NE(service.unregisterEventHotKey(1), noErr);
}

} // namespace
