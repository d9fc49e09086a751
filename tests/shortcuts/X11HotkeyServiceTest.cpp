// Runs the X11 hotkey service against a real X server (xvfb-run starts one
// for this test) and presses keys with xdotool, as a user's keyboard would.
#include "shortcuts/X11HotkeyService.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

#include <xcb/xcb.h>

using namespace jotbox;

namespace {

constexpr std::uint32_t kN = 45;
constexpr std::uint32_t kCtrlAlt = 256 | 2048; // command + option: Ctrl+Alt here
using Kinds = std::vector<std::uint32_t>;
const Kinds kPressRelease{kEventHotKeyPressed, kEventHotKeyReleased};

class X11HotkeyServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.isConnected()) << "no X server at DISPLAY";
        EventHandlerRef handler = 0;
        service.installEventHandler(
            [this](EventRef e) {
                kinds.push_back(e->kind);
                return noErr;
            },
            {}, &handler);
    }
    // Runs xdotool, then lets what it caused arrive (two seconds at most for
    // `expected` events, then a moment more so that "no more" means something).
    void xdotool(const QStringList& args, std::size_t expected = 0) {
        ASSERT_EQ(QProcess::execute("xdotool", args), 0);
        (void)QTest::qWaitFor([&] { return kinds.size() >= expected; }, 2000);
        QTest::qWait(300);
    }

    X11HotkeyService service{qgetenv("DISPLAY")};
    Kinds kinds;
    EventHotKeyRef ref = 0;
};

// Another program holds Ctrl+Alt+N with NumLock on only: the registration is
// refused, and the grabs it took before it met that one are given back.
TEST_F(X11HotkeyServiceTest, ACombinationAlreadyGrabbedIsRefusedLeavingNoGrabBehind) {
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    const auto grab = [&](std::uint16_t mods) {
        const auto cookie = xcb_grab_key_checked(other, 0, root, XCB_MOD_MASK_CONTROL | mods, 57,
                                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        return std::unique_ptr<xcb_generic_error_t, decltype(&free)>(
                   xcb_request_check(other, cookie), &free) == nullptr;
    };
    ASSERT_TRUE(grab(XCB_MOD_MASK_1 | XCB_MOD_MASK_2));
    EXPECT_NE(service.registerEventHotKey(kN, kCtrlAlt, {0x516D7A74, 1}, 0, &ref), noErr);
    EXPECT_EQ(ref, 0u);
    EXPECT_TRUE(grab(XCB_MOD_MASK_1)) << "a grab of the refused registration was kept";
    xcb_disconnect(other);
}

// Ctrl+Alt+N goes by the letter, as desktops bind shortcuts: in Dvorak the
// key that types N, not the US N's place (where Dvorak has B); in a layout
// without Latin letters, N's key in the Latin layout beside it. Held while
// the same keymap comes again (XWayland sends it at each focus change) and
// the focus moves to another window, it is one press and one release.
TEST_F(X11HotkeyServiceTest, TheLetterNInTheLayoutOfTheMomentHeldAcrossAFocusChange) {
    ASSERT_EQ(service.registerEventHotKey(kN, kCtrlAlt, {0x516D7A74, 1}, 0, &ref), noErr);
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window,
                      xcb_setup_roots_iterator(xcb_get_setup(c)).data->root, 0, 0, 50, 50, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_map_window(c, window);
    xcb_flush(c);
    const QString usN = "57", dvorakN = "46"; // keycodes: Dvorak's N sits at the US L
    const struct {
        QStringList layout;
        QString ours, notOurs;
    } layouts[] = {{{"-layout", "us", "-variant", "dvorak"}, dvorakN, usN},
                   {{"-layout", "ru,us"}, usN, dvorakN},
                   {{"-layout", "us"}, usN, dvorakN}};
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.layout.join(' ').toStdString());
        ASSERT_EQ(QProcess::execute("setxkbmap", l.layout), 0);
        QTest::qWait(300); // the keymap change reaches the service
        kinds.clear();
        // Other keys and other modifiers of this one are not ours.
        xdotool({"key", "ctrl+alt+" + l.notOurs, "ctrl+" + l.ours, "alt+" + l.ours, l.ours});
        // Past the server's auto-repeat (600 ms, then 25 a second), the focus moving meanwhile.
        xdotool({"keydown", "ctrl+alt+" + l.ours, "sleep", "0.15"});
        ASSERT_EQ(QProcess::execute("setxkbmap", l.layout), 0);
        xdotool({"windowfocus", QString::number(window), "sleep", "0.8", "keyup", l.ours, "keyup",
                 "ctrl+alt"});
        xdotool({"key", "ctrl+alt+" + l.ours}, 4);
        EXPECT_EQ(kinds, (Kinds{kEventHotKeyPressed, kEventHotKeyReleased, kEventHotKeyPressed,
                                kEventHotKeyReleased}));
    }
    xcb_disconnect(c);
    // Unregistered: silent.
    EXPECT_EQ(service.unregisterEventHotKey(ref), noErr);
    xdotool({"key", "ctrl+alt+n"});
    EXPECT_EQ(kinds.size(), 4u);
}

// A keymap that gives ScrollLock a modifier of its own, changed while Jotbox
// runs: the shortcut works under every state of the three locks.
TEST_F(X11HotkeyServiceTest, EveryLockStateCountsEvenWithScrollLockMapped) {
    ASSERT_EQ(service.registerEventHotKey(kN, kCtrlAlt, {0x516D7A74, 1}, 0, &ref), noErr);
    ASSERT_EQ(QProcess::execute("xmodmap", {"-e", "add mod3 = Scroll_Lock"}), 0);
    QTest::qWait(300); // the mapping change reaches the service
    for (int locks = 1; locks < 8; ++locks) {
        const char* toggles[] = {"Num_Lock", "Caps_Lock", "Scroll_Lock"};
        for (int i = 0; i < 3; ++i) // from the previous lock state to this one
            if ((locks ^ (locks - 1)) & (1 << i))
                xdotool({"key", toggles[i]});
        kinds.clear();
        xdotool({"key", "ctrl+alt+n"}, 2);
        EXPECT_EQ(kinds, kPressRelease) << "locks " << locks;
    }
    xdotool({"key", "Num_Lock", "Caps_Lock", "Scroll_Lock"}); // all off again
    ASSERT_EQ(QProcess::execute("xmodmap", {"-e", "remove mod3 = Scroll_Lock"}), 0);
}

} // namespace
