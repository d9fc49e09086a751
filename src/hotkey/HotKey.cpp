#include "hotkey/HotKey.h"

#include "hotkey/HotKeysController.h"

namespace jotbox {

std::shared_ptr<HotKey> HotKey::make(KeyCombo keyCombo, Handler keyDownHandler,
                                     Handler keyUpHandler) {
    auto hotKey = std::make_shared<HotKey>(Private{}, keyCombo, std::move(keyDownHandler),
                                           std::move(keyUpHandler));
    // Whether the desktop accepted the shortcut is not the maker's concern.
    HotKeysController::registerHotKey(hotKey);
    return hotKey;
}

std::shared_ptr<HotKey> HotKey::make(std::uint32_t carbonKeyCode, std::uint32_t carbonModifiers,
                                     Handler keyDownHandler, Handler keyUpHandler) {
    return make(KeyCombo(carbonKeyCode, carbonModifiers), std::move(keyDownHandler),
                std::move(keyUpHandler));
}

std::shared_ptr<HotKey> HotKey::make(Key key, ModifierFlags modifiers, Handler keyDownHandler,
                                     Handler keyUpHandler) {
    return make(KeyCombo(key, modifiers), std::move(keyDownHandler), std::move(keyUpHandler));
}

HotKey::HotKey(Private, KeyCombo keyCombo, Handler down, Handler up)
    : keyDownHandler(std::move(down)), keyUpHandler(std::move(up)),
      m_identifier(QUuid::createUuid()), m_keyCombo(keyCombo) {}

HotKey::~HotKey() {
    HotKeysController::unregisterHotKey(*this);
}

void HotKey::setIsPaused(bool paused) {
    m_isPaused = paused;
    if (paused)
        HotKeysController::unregisterHotKey(*this);
    else
        HotKeysController::registerHotKey(shared_from_this());
}

} // namespace jotbox
