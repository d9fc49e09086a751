#include "views/ContentView.h"
#include "notes/StoreFixture.h"
#include "support/QtPrinters.h"
#include "views/GlyphButton.h"
#include "views/IdleCursor.h"
#include "views/NoteEditorView.h"
#include "views/TabBarView.h"
#include "views/TabItemView.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

using namespace jotbox;
using namespace jotbox::testing;

namespace {

class ContentViewTest : public StoreFixture {
protected:
    void make(const QStringList& texts) {
        start(texts);
        view = std::make_unique<ContentView>(store.get());
        view->resize(464, 256);
        view->show();
        QApplication::processEvents();
    }
    QPlainTextEdit* text() const { return view->editor()->textView(); }
    // Types as a keyboard does, one key event per character; \r is Return, \b Backspace.
    void type(const QString& keys) { QTest::keyClicks(text(), keys); }
    TabItemView* tab(int i) const { return view->tabBar()->tabs().at(i); }
    void click(QWidget* w) {
        QTest::mouseClick(w, Qt::LeftButton);
        QApplication::processEvents();
    }

    std::unique_ptr<ContentView> view;
};

// Typing reaches the note key by key, each key asking for a save, and the
// breaks it did not touch stay as they were (every kind of edit is the editor
// model's); a click on the active tab replaces nothing: caret and undo stay.
TEST_F(ContentViewTest, TypingReachesTheNoteKeyByKeyAndAClickOnItsTabReplacesNothing) {
    make({"x", "a\r\nb\rc\r\nd"});
    click(tab(1));
    QTextCursor caret = text()->textCursor();
    caret.setPosition(3); // before the lone CR
    text()->setTextCursor(caret);
    const int requests = timer->starts;
    type("\rZ\b\b\r");
    EXPECT_EQ(std::pair(texts()[1], timer->starts - requests),
              std::pair(QString("a\r\nb\n\rc\r\nd"), 5));
    const int at = text()->textCursor().position();
    click(tab(1));
    EXPECT_EQ(text()->textCursor().position(), at);
    EXPECT_TRUE(text()->document()->isUndoAvailable());
    clock.advance(NoteStore::kSaveDelay);
    EXPECT_EQ(onDisk(), texts());
}

// Another note's text replaces the editor's with its undo history, even
// when it reads the same; the very same text is not laid out again.
TEST_F(ContentViewTest, UndoNeverCrossesNotesAndEachShowsItsOwnCharacters) {
    make({"x", u"caf\u00E9"_qs, u"cafe\u0301"_qs});
    click(tab(1));
    click(view->addButton());
    type("typed\b\b\b\b\b"); // in the new note, and gone again
    int replacements = 0;
    QObject::connect(text()->document(), &QTextDocument::contentsChanged, [&] { ++replacements; });
    click(view->addButton()); // the same text: no new layout, no history either
    QTest::keyClick(text(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(std::pair(texts(), replacements),
              std::pair(QStringList{"x", u"caf\u00E9"_qs, u"cafe\u0301"_qs, "", ""}, 0));
    click(tab(2)); // reads like note 1: shown as it is written
    EXPECT_EQ(text()->toPlainText(), u"cafe\u0301"_qs);
    EXPECT_FALSE(text()->document()->isUndoAvailable());
}

TEST_F(ContentViewTest, TheStripAddsClosesAndFollowsItsNotes) {
    make({"first"});
    EXPECT_FALSE(view->tabBar()->isVisible()); // one note: no strip
    click(view->addButton());
    ASSERT_TRUE(view->tabBar()->isVisible() && view->tabBar()->tabs().size() == 2);
    EXPECT_EQ(std::tuple(tab(0)->isActive(), tab(1)->isActive(), tab(1)->title()),
              std::tuple(false, true, QString("New Note")));
    type("  Shopping  ");
    EXPECT_EQ(texts(), (QStringList{"first", "  Shopping  "}));
    EXPECT_EQ(tab(1)->title(), "Shopping");
    ASSERT_TRUE(QAccessible::queryAccessibleInterface(tab(1))); // as a screen reader holds it
    click(tab(1)->closeButton());
    QApplication::processEvents(); // the closed tab's widget goes, and its interface
    EXPECT_FALSE(view->tabBar()->isVisible());
    // Hidden, it still holds just the notes there are: a screen reader lists its tabs.
    QAccessibleInterface* strip = QAccessible::queryAccessibleInterface(view->tabBar());
    ASSERT_EQ(strip->childCount(), 1);
    EXPECT_EQ(strip->child(0)->text(QAccessible::Name), "first");

    // The caption rule keeps CR LF, U+2028 and CR; the strip keeps to one line.
    make({"", "", "C", u"one\r\ntwo\u2028three\rfour\nfive"_qs});
    EXPECT_EQ(tab(3)->title(), "one two three four");
    EXPECT_EQ(tab(3)->height(), tab(0)->height());
    TabItemView* cTab = tab(2);
    const int before = changes;
    click(tab(0)->closeButton()); // closes without selecting first
    EXPECT_EQ(changes, before + 1);
    EXPECT_EQ(tab(1), cTab); // the same widget, now at position 1
    click(cTab);
    click(tab(1)->closeButton()); // the active one: the store picks the next
    EXPECT_EQ(texts().size(), 2);
    EXPECT_EQ(view->editor()->text(), texts()[1]);
    EXPECT_TRUE(tab(1)->isActive());

    // Reordered by another machine: the strip shows the new order.
    QStringList many;
    for (int i = 0; i < 12; ++i)
        many << QString("Note %1 with a long first line").arg(i, 2);
    make(many);
    QList<Note> reversed = store->notes();
    std::reverse(reversed.begin(), reversed.end());
    store->replaceNotes(reversed);
    QApplication::processEvents();
    EXPECT_LT(tab(0)->x(), tab(1)->x());
    EXPECT_EQ(tab(0)->title(), many.back());
    // From the editor, every way to another note brings its tab wholly into view.
    const auto activeInView = [this] {
        TabItemView* active = tab(int(store->activeTabIndex()));
        const QRect at(active->mapTo(view->tabBar()->viewport(), QPoint()), active->size());
        return active->isVisible() && view->tabBar()->viewport()->rect().contains(at);
    };
    const auto keyInView = [&](QKeyCombination combo) {
        QTest::keyClick(text(), combo.key(), combo.keyboardModifiers());
        QApplication::processEvents();
        return activeInView();
    };
    text()->setFocus();
    for (int i = 0; i < 13; ++i) // round the strip and over its end
        EXPECT_TRUE(keyInView(Qt::ControlModifier | Qt::Key_Tab)) << i + 1 << " Ctrl+Tab";
    for (const QKeyCombination combo :
         {Qt::AltModifier | Qt::Key_9, Qt::AltModifier | Qt::Key_1, Qt::ControlModifier | Qt::Key_T,
          Qt::ControlModifier | Qt::Key_Backtab, Qt::ControlModifier | Qt::Key_W,
          Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_T})
        EXPECT_TRUE(keyInView(combo)) << QKeySequence(combo).toString().toStdString();
    // Tabs made while the panel is hidden (and before it was ever shown) show
    // with it, the active one in view.
    for (const bool shownBefore : {true, false}) {
        view->hide();
        if (!shownBefore)
            view = std::make_unique<ContentView>(store.get()), view->resize(464, 256);
        store->addTab(), view->show(), QApplication::processEvents();
        EXPECT_TRUE(activeInView()) << shownBefore;
    }
    // The wheel turned towards the user scrolls towards the strip's end.
    QScrollBar* bar = view->tabBar()->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(0);
    QWheelEvent down({10, 10}, {10, 10}, {}, {0, -120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->tabBar()->viewport(), &down);
    EXPECT_GT(bar->value(), 0);
}

// The keys of tabbed editors do what the buttons and tabs do.
TEST_F(ContentViewTest, TabKeysWorkThroughTheStoreLikeTheButtons) {
    const QStringList two{"A", "B"}, three{"A", "B", "C"};
    const auto ctrl = Qt::ControlModifier, alt = Qt::AltModifier;
    const struct {
        const char* key;
        QKeyCombination combo;
        QStringList before;
        int active;
        QStringList after;
        int activeAfter;
    } cases[] = {
        // clang-format off
        {"Ctrl+Tab", ctrl | Qt::Key_Tab, three, 1, three, 2},
        {"Ctrl+Tab wraps", ctrl | Qt::Key_Tab, three, 2, three, 0},
        {"Ctrl+Page Down", ctrl | Qt::Key_PageDown, three, 0, three, 1},
        {"Ctrl+Shift+Tab wraps", ctrl | Qt::ShiftModifier | Qt::Key_Backtab, three, 0, three, 2},
        {"Ctrl+Page Up", ctrl | Qt::Key_PageUp, three, 2, three, 1},
        {"Alt+2", alt | Qt::Key_2, three, 0, three, 1},
        {"Alt+9 past the last tab", alt | Qt::Key_9, two, 0, two, 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        make(c.before);
        store->selectTab(c.active);
        text()->setFocus();
        QTest::keyClick(text(), c.combo.key(), c.combo.keyboardModifiers());
        clock.advance(NoteStore::kSaveDelay);
        EXPECT_EQ(texts(), c.after);
        EXPECT_EQ(store->activeTabIndex(), c.activeAfter);
        EXPECT_EQ(onDisk(), c.after);                             // saved
        EXPECT_EQ(text()->toPlainText(), c.after[c.activeAfter]); // no key reached the text
    }
}

// Blinking at the desktop's pace while in use, resting (shown) when idle.
TEST(IdleCursorTest, StopsBlinkingTenSecondsAfterTheLastKeyOrClickUntilTheNext) {
    ManualClock clock; // outlives the field and the timer it owns
    QPlainTextEdit field;
    field.show();
    new IdleCursor(&field, clock.makeTimer());
    const int desktop = QGuiApplication::styleHints()->cursorFlashTime();
    const auto flash = [] { return QGuiApplication::styleHints()->cursorFlashTime(); };
    QTest::keyClick(&field, 'a');
    clock.advance(IdleCursor::kIdleAfter - std::chrono::milliseconds(1));
    EXPECT_EQ(flash(), desktop);
    clock.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(flash(), 0);
    QTest::keyClick(&field, 'b');
    EXPECT_EQ(flash(), desktop);
}

} // namespace
