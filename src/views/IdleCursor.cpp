#include "views/IdleCursor.h"

#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>
#include <QWidget>

namespace jotbox {

namespace {
// Qt's text fields read the flash time when they blink: 0 stops them with
// the cursor shown.
QStyleHints* hints() {
    return QGuiApplication::styleHints();
}
} // namespace

IdleCursor::IdleCursor(QWidget* field, std::unique_ptr<SingleShotTimer> timer)
    : QObject(field), m_timer(timer ? std::move(timer) : std::make_unique<QtSingleShotTimer>()),
      m_desktopFlashTime(hints()->cursorFlashTime()) {
    m_timer->setCallback([this] { rest(); });
    field->installEventFilter(this);
    for (QObject* child : field->children())
        if (child->isWidgetType())
            child->installEventFilter(this); // the viewport takes the clicks
}

IdleCursor::~IdleCursor() {
    m_timer->stop();
    if (!m_blinking)
        hints()->setCursorFlashTime(m_desktopFlashTime);
}

bool IdleCursor::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::InputMethod:
    case QEvent::FocusIn:
        wake();
        break;
    case QEvent::FocusOut:
        m_timer->stop();
        break;
    default:
        break;
    }
    return false;
}

void IdleCursor::wake() {
    if (!m_blinking) {
        m_blinking = true;
        hints()->setCursorFlashTime(m_desktopFlashTime);
    }
    m_timer->start(kIdleAfter);
}

void IdleCursor::rest() {
    m_blinking = false;
    hints()->setCursorFlashTime(0);
}

} // namespace jotbox
