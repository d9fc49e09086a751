#pragma once

#include "notes/SingleShotTimer.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace jotbox::testing {

// Time that moves only when a test says so. Timers made from it fire during
// advance(), in deadline order, so debounce tests never sleep or race.
class ManualClock {
public:
    using ms = std::chrono::milliseconds;

    class Timer final : public SingleShotTimer {
    public:
        explicit Timer(ManualClock& clock) : m_clock(clock) { clock.m_timers.push_back(this); }
        ~Timer() override { std::erase(m_clock.m_timers, this); }
        void start(ms interval) override {
            m_deadline = m_clock.m_now + interval;
            m_active = true;
            ++starts;
        }
        void stop() override { m_active = false; }
        bool isActive() const override { return m_active; }
        void setCallback(std::function<void()> callback) override { m_callback = callback; }
        int starts = 0;

    private:
        friend class ManualClock;
        ManualClock& m_clock;
        ms m_deadline{0};
        bool m_active = false;
        std::function<void()> m_callback;
    };

    std::unique_ptr<Timer> makeTimer() { return std::make_unique<Timer>(*this); }

    // Whether any timer is still to fire.
    bool busy() const {
        return std::any_of(m_timers.begin(), m_timers.end(), [](Timer* t) { return t->m_active; });
    }

    void advance(ms by) {
        const ms target = m_now + by;
        for (Timer* next = due(target); next; next = due(target)) {
            m_now = next->m_deadline;
            next->m_active = false;
            if (next->m_callback)
                next->m_callback();
        }
        m_now = target;
    }

private:
    // The active timer with the earliest deadline up to `target`.
    Timer* due(ms target) const {
        Timer* next = nullptr;
        for (Timer* t : m_timers)
            if (t->m_active && t->m_deadline <= target &&
                (!next || t->m_deadline < next->m_deadline))
                next = t;
        return next;
    }

    ms m_now{0};
    std::vector<Timer*> m_timers;
};

} // namespace jotbox::testing
