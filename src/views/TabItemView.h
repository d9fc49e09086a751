#pragma once

#include <QWidget>

#include <functional>

class QLabel;

namespace jotbox {

class GlyphButton;

// One tab: the note's title and a close cross on a rounded chip, tinted when
// active, outlined when it has the keyboard focus. Knows nothing of notes or
// positions; it only calls its actions.
class TabItemView : public QWidget {
    Q_OBJECT
public:
    using Action = std::function<void()>;

    explicit TabItemView(QWidget* parent = nullptr);

    // The four constants of one evaluation; cheap when nothing changed.
    void set(const QString& title, bool isActive, Action onSelect, Action onClose);

    // As shown: on one line.
    QString title() const;
    bool isActive() const { return m_isActive; }
    // What a click does (a screen reader's press, too).
    void activate();
    GlyphButton* closeButton() const { return m_close; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* m_title;
    QString m_rawTitle;
    GlyphButton* m_close;
    bool m_isActive = false;
    bool m_pressed = false;
    Action m_onSelect;
    Action m_onClose;
};

} // namespace jotbox
