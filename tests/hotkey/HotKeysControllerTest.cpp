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

TEST_F(HotKeysControllerTest, RegistersUnderTheSignatureWithIdsNeverReused) {
    auto hotKey = makeCounting();
    ASSERT_EQ(service->registrations.size(), 1u);
    const auto& r = service->registrations.front();
    EXPECT_EQ(std::tuple(r.identity, r.keyCode, r.modifiers),
              std::tuple(EventHotKeyID{1366129268u, 1}, 45u, 2304u)); // "Qmzt"
    hotKey->setIsPaused(true);
    hotKey->setIsPaused(true); // a second pause finds no box
    EXPECT_EQ(std::pair(service->unregistered.size(), HotKeysController::boxCount()),
              std::pair(std::size_t(1), std::size_t(0)));
    hotKey->setIsPaused(false);
    hotKey->setIsPaused(false); // already registered: nothing
    auto second = makeCounting();
    EXPECT_EQ(service->registrations.back().identity.id, 3u); // the third: no id used twice
    EXPECT_EQ(service->handlerInstalls, 1);                   // installed once, and kept
    hotKey.reset(), second.reset();
    EXPECT_TRUE(HotKeysController::hasEventHandler());
}

TEST_F(HotKeysControllerTest, EventsReachTheLiveUnpausedHotKeyTheirIdNamesOnce) {
    auto hotKey = makeCounting();
    int other = 0;
    auto b = HotKey::make(Key::b, ModifierFlags(ModifierFlags::command), [&] { ++other; });
    EXPECT_EQ(service->send(1, kEventHotKeyPressed), noErr);
    EXPECT_EQ(service->send(1, kEventHotKeyReleased), noErr);
    EXPECT_EQ(service->send(2, kEventHotKeyPressed), noErr);
    EXPECT_EQ(std::tuple(downs, ups, other), std::tuple(1, 1, 1));
    EXPECT_EQ(service->send(2, kEventHotKeyReleased), eventNotHandledErr); // no key-up handler
    EXPECT_EQ(service->send(99, kEventHotKeyPressed), eventNotHandledErr);
    EXPECT_EQ(service->send(1, kEventHotKeyPressed, 0x4F746872), eventNotHandledErr); // not ours
    hotKey->setIsPaused(true);
    EXPECT_EQ(service->send(1, kEventHotKeyPressed), eventNotHandledErr);
    b.reset(); // releasing one unregisters it only
    EXPECT_EQ(service->unregistered, (std::vector<EventHotKeyRef>{101, 102}));
    EXPECT_EQ(service->send(2, kEventHotKeyPressed), eventNotHandledErr);
    // A hotkey that vanished without unregistering loses its entry at its next event.
    hotKey->setIsPaused(false);
    HotKeysController::boxForHotKey(*hotKey)->hotKey.reset();
    EXPECT_EQ(service->send(3, kEventHotKeyPressed), eventNotHandledErr);
    EXPECT_EQ(HotKeysController::boxCount(), 0u);
    EXPECT_FALSE(HotKeysController::hotKeyForID(3));
}

} // namespace
