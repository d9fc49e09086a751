#include "notes/SingleShotTimer.h"

#include <QTimer>

namespace jotbox {

QtSingleShotTimer::QtSingleShotTimer() : m_timer(std::make_unique<QTimer>()) {
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
        if (m_callback)
            m_callback();
    });
}

QtSingleShotTimer::~QtSingleShotTimer() = default;

void QtSingleShotTimer::start(std::chrono::milliseconds interval) {
    m_timer->start(interval);
}

void QtSingleShotTimer::stop() {
    m_timer->stop();
}

bool QtSingleShotTimer::isActive() const {
    return m_timer->isActive();
}

void QtSingleShotTimer::setCallback(std::function<void()> callback) {
    m_callback = std::move(callback);
}

} // namespace jotbox
