#include "hotkey/HotKeysController.h"
#include "hotkey/FakeHotkeyService.h"
#include "hotkey/HotKey.h"

#include <gtest/gtest.h>

using namespace jotbox;
using jotbox::testing::FakeHotkeyService;

namespace {

class HotKeysControllerTest : public ::testing::Test {
protected:
    void SetUp() override { HotKeysController::resetForTesting(service); }
    void TearDown() override { HotKeysController::resetForTesting(nullptr); }

    std::shared_ptr<FakeHotkeyService> service = std::make_shared<FakeHotkeyService>();
    int downs = 0, ups = 0;
    std::shared_ptr<HotKey> makeCounting() {
        return HotKey::make(
            Key::n, ModifierFlags(ModifierFlags::command | ModifierFlags::option),
            [this] { ++downs; }, [this] { ++ups; });
    }
};

TEST_F(HotKeysControllerTest, FirstRegistrationIsIdOneUnderTheSignature) {
    auto hotKey = makeCounting();
    ASSERT_EQ(service->registrations.size(), 1u);
    const auto& r = service->registrations.front();
    EXPECT_EQ(r.identity, (EventHotKeyID{0x516D7A74, 1}));
    EXPECT_EQ(HotKeysController::signature, 1366129268u);
    EXPECT_EQ(r.keyCode, 45u);
    EXPECT_EQ(r.modifiers, 2304u);
    EXPECT_EQ(service->installedTypes.size(), 2u);
    EXPECT_EQ(service->installedTypes[0].eventKind, kEventHotKeyPressed);
    EXPECT_EQ(service->installedTypes[1].eventKind, kEventHotKeyReleased);
}

TEST_F(HotKeysControllerTest, IdsAreNeverReusedAcrossPauseAndResume) {
    auto hotKey = makeCounting();
    hotKey->setIsPaused(true);
    hotKey->setIsPaused(true); // a second pause finds no box
    EXPECT_EQ(service->unregistered.size(), 1u);
    EXPECT_EQ(HotKeysController::boxCount(), 0u);
    hotKey->setIsPaused(false);
    hotKey->setIsPaused(false); // already registered: nothing
    ASSERT_EQ(service->registrations.size(), 2u);
    EXPECT_EQ(service->registrations[1].identity.id, 2u);
    auto second = makeCounting();
    EXPECT_EQ(service->registrations.back().identity.id, 3u);
}

TEST_F(HotKeysControllerTest, PressAndReleaseReachTheirHandlersOnce) {
    auto hotKey = makeCounting();
    EXPECT_EQ(service->send(1, kEventHotKeyPressed), noErr);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 0);
    EXPECT_EQ(service->send(1, kEventHotKeyReleased), noErr);
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(service->send(1, 7), eventNotHandledErr);
    EXPECT_EQ(downs + ups, 2);
}

TEST_F(HotKeysControllerTest, MissingHandlerOrForeignEventsAreNotHandled) {
    auto hotKey = HotKey::make(Key::n, ModifierFlags(ModifierFlags::command), [this] { ++downs; });
    EXPECT_EQ(service->send(1, kEventHotKeyReleased), eventNotHandledErr);
    EXPECT_EQ(service->send(1, kEventHotKeyPressed, 0x41424344), eventNotHandledErr);
    EXPECT_EQ(service->send(99, kEventHotKeyPressed), eventNotHandledErr);
    EXPECT_EQ(HotKeysController::handleEvent(nullptr), eventNotHandledErr);
    EXPECT_EQ(downs, 0);
    // A failing parameter read reports that call's own status.
    const HotKeyEvent broken{{0x516D7A74, 1}, kEventHotKeyPressed, -50};
    EXPECT_EQ(HotKeysController::handleEvent(&broken), -50);
    EXPECT_EQ(downs, 0);
}

TEST_F(HotKeysControllerTest, HandlersAreReadAtEachEvent) {
    auto hotKey = makeCounting();
    int replaced = 0;
    hotKey->keyDownHandler = [&] { ++replaced; };
    service->send(1, kEventHotKeyPressed);
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(downs, 0);
    EXPECT_EQ(service->registrations.size(), 1u); // no new registration
}

TEST_F(HotKeysControllerTest, RoutingByIdWithTwoHotKeys) {
    int first = 0, second = 0;
    auto a = HotKey::make(Key::a, ModifierFlags(ModifierFlags::command), [&] { ++first; });
    auto b = HotKey::make(Key::b, ModifierFlags(ModifierFlags::command), [&] { ++second; });
    service->send(2, kEventHotKeyPressed);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    a.reset(); // releasing the first unregisters it only
    EXPECT_EQ(service->unregistered, std::vector<EventHotKeyRef>{101});
    EXPECT_EQ(service->send(1, kEventHotKeyPressed), eventNotHandledErr);
    EXPECT_EQ(service->send(2, kEventHotKeyPressed), noErr);
    EXPECT_EQ(second, 2);
}

TEST_F(HotKeysControllerTest, PausedHotKeyGetsNothing) {
    auto hotKey = makeCounting();
    hotKey->setIsPaused(true);
    EXPECT_EQ(service->send(1, kEventHotKeyPressed), eventNotHandledErr);
    EXPECT_EQ(downs, 0);
}

TEST_F(HotKeysControllerTest, RefusedRegistrationStaysSilentUntilPauseThenResume) {
    service->refuseWith = -9878;
    auto hotKey = makeCounting();
    EXPECT_EQ(HotKeysController::boxCount(), 1u); // Refused: a box without a registration
    EXPECT_FALSE(HotKeysController::hasEventHandler());
    EXPECT_FALSE(hotKey->isPaused());

    service->refuseWith = noErr;
    hotKey->setIsPaused(false); // does not retry
    EXPECT_TRUE(service->registrations.empty());
    hotKey->setIsPaused(true);
    EXPECT_EQ(service->unregistered, std::vector<EventHotKeyRef>{0}); // a null ref, ignored
    hotKey->setIsPaused(false);
    ASSERT_EQ(service->registrations.size(), 1u);
    EXPECT_EQ(service->registrations[0].identity.id, 2u);
    EXPECT_EQ(service->send(2, kEventHotKeyPressed), noErr);
    EXPECT_EQ(downs, 1);
}

TEST_F(HotKeysControllerTest, NullRefCountsAsRefused) {
    service->giveNullRef = true;
    auto hotKey = makeCounting();
    EXPECT_FALSE(HotKeysController::hasEventHandler());
    EXPECT_EQ(service->handlerInstalls, 0);
}

TEST_F(HotKeysControllerTest, HandlerInstalledOnceAndRetriedAfterAFailedInstall) {
    service->installStatus = -1;
    auto a = makeCounting();
    EXPECT_FALSE(HotKeysController::hasEventHandler());
    service->installStatus = noErr;
    auto b = makeCounting();
    auto c = makeCounting();
    auto d = makeCounting();
    EXPECT_EQ(service->handlerInstalls, 2);
    EXPECT_TRUE(HotKeysController::hasEventHandler());
    // Stays installed when no hotkeys remain.
    a.reset(), b.reset(), c.reset(), d.reset();
    EXPECT_TRUE(HotKeysController::hasEventHandler());
}

TEST_F(HotKeysControllerTest, EventForAHotKeyThatIsGoneDropsItsEntry) {
    auto hotKey = makeCounting();
    // Simulate a hotkey that vanished without unregistering: clear its weak link.
    HotKeysController::boxForHotKey(*hotKey)->hotKey.reset();
    EXPECT_EQ(HotKeysController::boxCount(), 1u);
    EXPECT_EQ(service->send(1, kEventHotKeyPressed), eventNotHandledErr);
    EXPECT_EQ(HotKeysController::boxCount(), 0u);
    EXPECT_FALSE(HotKeysController::hotKeyForID(1));
}

TEST_F(HotKeysControllerTest, NoServiceRefusesEverything) {
    HotKeysController::resetForTesting(nullptr);
    auto hotKey = makeCounting();
    EXPECT_EQ(HotKeysController::boxCount(), 1u);
    EXPECT_FALSE(HotKeysController::hasEventHandler());
    hotKey.reset();
    EXPECT_EQ(HotKeysController::boxCount(), 0u);
}

} // namespace
