#pragma once

#include <chrono>
#include <functional>
#include <memory>

class QTimer;

namespace jotbox {

// A restartable one-shot timer on the UI thread's event loop. The program
// uses Qt's; tests use a clock they advance themselves.
class SingleShotTimer {
public:
    virtual ~SingleShotTimer() = default;
    // (Re)starts the countdown; an earlier pending timeout is dropped.
    virtual void start(std::chrono::milliseconds interval) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    // Called on the UI thread when the countdown ends.
    virtual void setCallback(std::function<void()> callback) = 0;
};

class QtSingleShotTimer final : public SingleShotTimer {
public:
    QtSingleShotTimer();
    ~QtSingleShotTimer() override;
    void start(std::chrono::milliseconds interval) override;
    void stop() override;
    bool isActive() const override;
    void setCallback(std::function<void()> callback) override;

private:
    std::unique_ptr<QTimer> m_timer;
    std::function<void()> m_callback;
};

} // namespace jotbox
