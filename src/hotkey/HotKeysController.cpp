#include "hotkey/HotKeysController.h"

#include "hotkey/HotKey.h"

namespace jotbox {

namespace {

struct ControllerState {
    std::map<std::uint32_t, std::unique_ptr<HotKeysController::HotKeyBox>> boxes;
    std::uint32_t lastHotKeyID = 0;
    std::optional<EventHandlerRef> eventHandler;
    std::shared_ptr<HotkeyService> service;
};

// Made on first use; a function-local static is safe against simultaneous first uses.
ControllerState& state() {
    static ControllerState s;
    return s;
}

} // namespace

void HotKeysController::setService(std::shared_ptr<HotkeyService> service) {
    state().service = std::move(service);
}

void HotKeysController::registerHotKey(const std::shared_ptr<HotKey>& hotKey) {
    if (boxForHotKey(*hotKey))
        return;
    ControllerState& s = state();
    const std::uint32_t id = ++s.lastHotKeyID;
    auto box = std::make_unique<HotKeyBox>(hotKey->identifier(), hotKey, id);
    HotKeyBox& stored = *box;
    s.boxes[id] = std::move(box);
    if (!s.service)
        return; // refused: nothing stands in for the desktop's hotkey calls

    EventHotKeyRef ref = 0;
    const KeyCombo& combo = hotKey->keyCombo();
    const OSStatus status = s.service->registerEventHotKey(
        combo.carbonKeyCode, combo.carbonModifiers, EventHotKeyID{signature, id}, 0, &ref);
    if (status != noErr || ref == 0)
        return; // refused: the box stays, without a registration
    stored.carbonEventHotKey = ref;
    if (!s.eventHandler) {
        EventHandlerRef handler = 0;
        const std::vector<EventTypeSpec> types = {{kEventClassKeyboard, kEventHotKeyPressed},
                                                  {kEventClassKeyboard, kEventHotKeyReleased}};
        if (s.service->installEventHandler(&HotKeysController::handleEvent, types, &handler) ==
            noErr)
            s.eventHandler = handler;
    }
}

void HotKeysController::unregisterHotKey(const HotKey& hotKey) {
    HotKeyBox* box = boxForHotKey(hotKey);
    if (!box)
        return;
    ControllerState& s = state();
    if (s.service)
        (void)s.service->unregisterEventHotKey(box->carbonEventHotKey.value_or(0));
    box->hotKey.reset();
    s.boxes.erase(box->carbonHotKeyID);
}

HotKeysController::HotKeyBox* HotKeysController::boxForHotKey(const HotKey& hotKey) {
    for (auto& [id, box] : state().boxes)
        if (box->identifier == hotKey.identifier())
            return box.get();
    return nullptr;
}

std::shared_ptr<HotKey> HotKeysController::hotKeyForID(std::uint32_t id) {
    auto& boxes = state().boxes;
    const auto it = boxes.find(id);
    if (it != boxes.end())
        if (auto hotKey = it->second->hotKey.lock())
            return hotKey;
    if (it != boxes.end())
        boxes.erase(it);
    return nullptr;
}

OSStatus HotKeysController::handleEvent(EventRef event) {
    if (!event)
        return eventNotHandledErr;
    EventHotKeyID identity{};
    const OSStatus status = HotkeyService::getEventParameter(event, &identity);
    if (status != noErr)
        return status;
    if (identity.signature != signature)
        return eventNotHandledErr;
    const std::shared_ptr<HotKey> hotKey = hotKeyForID(identity.id);
    if (!hotKey)
        return eventNotHandledErr;

    HotKey::Handler handler;
    switch (HotkeyService::getEventKind(event)) {
    case kEventHotKeyReleased:
        if (hotKey->isPaused())
            return eventNotHandledErr;
        handler = hotKey->keyUpHandler;
        break;
    case kEventHotKeyPressed:
        if (hotKey->isPaused())
            return eventNotHandledErr;
        handler = hotKey->keyDownHandler;
        break;
    default:
        return eventNotHandledErr;
    }
    if (!handler)
        return eventNotHandledErr;
    handler();
    return noErr;
}

std::uint32_t HotKeysController::lastHotKeyID() {
    return state().lastHotKeyID;
}

std::size_t HotKeysController::boxCount() {
    return state().boxes.size();
}

bool HotKeysController::hasEventHandler() {
    return state().eventHandler.has_value();
}

void HotKeysController::resetForTesting(std::shared_ptr<HotkeyService> service) {
    ControllerState& s = state();
    s.boxes.clear();
    s.lastHotKeyID = 0;
    s.eventHandler.reset();
    s.service = std::move(service);
}

} // namespace jotbox
