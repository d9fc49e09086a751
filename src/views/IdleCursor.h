#pragma once

#include "notes/SingleShotTimer.h"

#include <QObject>

#include <chrono>
#include <memory>

class QWidget;

namespace jotbox {

// Lets a text field's cursor blink at the desktop's pace only while the user
// works in it: 10 s after the last key or click it stops, visible, so an
// idle panel lets the process sleep; the next key or click starts it again.
class IdleCursor : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kIdleAfter{10};

    explicit IdleCursor(QWidget* field, std::unique_ptr<SingleShotTimer> timer = nullptr);
    ~IdleCursor() override;

    bool isBlinking() const { return m_blinking; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void wake();
    void rest();

    std::unique_ptr<SingleShotTimer> m_timer;
    int m_desktopFlashTime;
    bool m_blinking = true;
};

} // namespace jotbox
