#pragma once

#include "hotkey/KeyCombo.h"

#include <QUuid>

#include <functional>
#include <memory>

namespace jotbox {

// One system-wide shortcut. Registered when made, unregistered when paused
// or destroyed. Always held by shared_ptr: the controller refers to it weakly.
class HotKey : public std::enable_shared_from_this<HotKey> {
    struct Private {};

public:
    using Handler = std::function<void()>;

    static std::shared_ptr<HotKey> make(KeyCombo keyCombo, Handler keyDownHandler = {},
                                        Handler keyUpHandler = {});
    static std::shared_ptr<HotKey> make(std::uint32_t carbonKeyCode, std::uint32_t carbonModifiers,
                                        Handler keyDownHandler = {}, Handler keyUpHandler = {});
    static std::shared_ptr<HotKey> make(Key key, ModifierFlags modifiers,
                                        Handler keyDownHandler = {}, Handler keyUpHandler = {});

    HotKey(Private, KeyCombo keyCombo, Handler keyDownHandler, Handler keyUpHandler);
    ~HotKey();
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    const QUuid& identifier() const { return m_identifier; }
    const KeyCombo& keyCombo() const { return m_keyCombo; }

    // Replacing a handler takes effect at the next event; the registration is untouched.
    Handler keyDownHandler;
    Handler keyUpHandler;

    bool isPaused() const { return m_isPaused; }
    // Every write acts: true unregisters, false registers (again, under a new ID).
    void setIsPaused(bool paused);

private:
    const QUuid m_identifier;
    const KeyCombo m_keyCombo;
    bool m_isPaused = false;
};

} // namespace jotbox
