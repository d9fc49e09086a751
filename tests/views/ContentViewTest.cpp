#include "views/ContentView.h"
#include "notes/FileContents.h"
#include "notes/ManualClock.h"
#include "notes/NotesFile.h"
#include "support/QtPrinters.h"
#include "views/GlyphButton.h"
#include "views/IdleCursor.h"
#include "views/NoteEditorView.h"
#include "views/TabBarView.h"
#include "views/TabItemView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>

using namespace jotbox;
using jotbox::testing::ManualClock;
using jotbox::testing::readAll;

namespace {

// A store over a temporary folder whose save timer only counts requests.
class ContentViewTest : public ::testing::Test {
protected:
    void make(const QStringList& texts) {
        auto persistence = std::make_shared<PersistenceManager>(tmp.path());
        if (!texts.isEmpty()) {
            QList<Note> notes;
            for (const QString& t : texts)
                notes.append(Note{QUuid::createUuid(), t, 0});
            ASSERT_FALSE(persistence->save(notes));
        }
        auto timer = clock.makeTimer();
        saveTimer = timer.get();
        store = std::make_unique<NoteStore>(persistence, std::move(timer));
        view = std::make_unique<ContentView>(store.get());
        view->resize(464, 256);
        view->show();
        QApplication::processEvents();
    }

    QPlainTextEdit* text() const { return view->editor()->textView(); }
    int saveRequests() const { return saveTimer->starts; }
    QStringList contents() const {
        QStringList out;
        for (const Note& n : store->notes())
            out << n.content;
        return out;
    }
    // Types as a keyboard does, one key event per character.
    void type(const QString& s) {
        for (QChar c : s)
            QTest::keyClick(text(), c.toLatin1());
    }
    void moveCursorTo(int position) {
        QTextCursor cursor = text()->textCursor();
        cursor.setPosition(position);
        text()->setTextCursor(cursor);
    }
    TabItemView* tab(int i) const { return view->tabBar()->tabs().at(i); }

    QTemporaryDir tmp;
    ManualClock clock;
    ManualClock::Timer* saveTimer = nullptr;
    std::unique_ptr<NoteStore> store;
    std::unique_ptr<ContentView> view;
};

TEST_F(ContentViewTest, TypingInTheMiddleKeepsTheCaretAndWritesTheNote) {
    make({"hello world"});
    moveCursorTo(5);
    type(",");
    EXPECT_EQ(contents(), QStringList{"hello, world"});
    EXPECT_EQ(text()->toPlainText(), "hello, world");
    EXPECT_EQ(text()->textCursor().position(), 6);
    type("!");
    EXPECT_EQ(contents(), QStringList{"hello,! world"});
    EXPECT_EQ(text()->textCursor().position(), 7);
}

// The document shows CR LF, CR, LF and U+2029 alike as line breaks; the
// note keeps each as it was, and what is typed as typed (a line feed).
TEST_F(ContentViewTest, TypingLeavesEveryCharacterItDidNotTouchAsItWasOnDisk) {
    const QString thumb = QString::fromUtf8("\U0001F44D\U0001F3FD");
    const struct {
        QString text;
        int from, to; // the selection, in the editor's characters
        QString keys; // \n stands for Return, \b for Backspace
        QString expected;
    } cases[] = {
        {u"a\u00A0b\u00A0c"_qs, 2, 2, "Z", u"a\u00A0Zb\u00A0c"_qs},
        {u"line\u2028sep"_qs, 5, 5, "Z", u"line\u2028Zsep"_qs},
        {u"para\u2029graph"_qs, 5, 5, "Z", u"para\u2029Zgraph"_qs},
        {"old\rmac", 4, 4, "Z", "old\rZmac"},
        {"dos\r\nline\r\nend", 9, 9, "Z", "dos\r\nline\r\nZend"},
        {"tab\there " + thumb + " end", 13, 13, "Z", "tab\there " + thumb + "Z end"},
        {"dos\r\nline\r\nend", 3, 3, "\n", "dos\n\r\nline\r\nend"},
        {"dos\r\nline\r\nend", 4, 4, "\b", "dosline\r\nend"},
        {"a\r\nb\r\nc\r\nd", 1, 5, "Z", "aZ\r\nd"},
        {"a\r\nb\rc\r\nd", 3, 3, "\nZ\b\b", "a\r\nb\rc\r\nd"},
    };
    QStringList texts;
    for (const auto& c : cases)
        texts << c.text;
    make(texts);
    for (int i = 0; i < int(std::size(cases)); ++i) {
        SCOPED_TRACE(i);
        QTest::mouseClick(tab(i), Qt::LeftButton);
        EXPECT_EQ(view->editor()->text(), cases[i].text);
        QTextCursor cursor = text()->textCursor();
        cursor.setPosition(cases[i].from);
        cursor.setPosition(cases[i].to, QTextCursor::KeepAnchor);
        text()->setTextCursor(cursor);
        for (QChar key : cases[i].keys) {
            if (key == u'\n' || key == u'\b')
                QTest::keyClick(text(), key == u'\n' ? Qt::Key_Return : Qt::Key_Backspace);
            else
                QTest::keyClick(text(), key.toLatin1());
        }
        EXPECT_EQ(store->notes()[i].content, cases[i].expected);
        // A click on the active tab changes nothing: caret and undo survive it.
        const int caret = text()->textCursor().position();
        QTest::mouseClick(tab(i), Qt::LeftButton);
        EXPECT_EQ(text()->textCursor().position(), caret);
        EXPECT_TRUE(text()->document()->isUndoAvailable());
    }
    clock.advance(NoteStore::kSaveDelay);
    const auto saved = NotesFile::decode(readAll(tmp.filePath("notes.json")));
    ASSERT_TRUE(saved);
    for (int i = 0; i < int(std::size(cases)); ++i)
        EXPECT_EQ(saved->at(i).content, cases[i].expected) << i;
}

TEST_F(ContentViewTest, ExactlyOneSaveRequestPerTypedCharacter) {
    make({"x"});
    EXPECT_EQ(saveRequests(), 0); // none for the first value
    moveCursorTo(1);
    type("abc");
    EXPECT_EQ(saveRequests(), 3);
    QTest::keyClick(text(), Qt::Key_Backspace);
    EXPECT_EQ(saveRequests(), 4);
    EXPECT_EQ(contents(), QStringList{"xab"});
}

TEST_F(ContentViewTest, SwitchingTabsReplacesTextOnlyWhenItDiffers) {
    make({"same", "same", "other"});
    int replacements = 0;
    QObject::connect(text()->document(), &QTextDocument::contentsChanged, [&] { ++replacements; });
    QTest::mouseClick(tab(1), Qt::LeftButton);
    EXPECT_EQ(store->activeTabIndex(), 1);
    EXPECT_EQ(replacements, 0);
    EXPECT_EQ(saveRequests(), 0); // equal texts: no request from the watcher

    QTest::mouseClick(tab(2), Qt::LeftButton);
    EXPECT_EQ(store->activeTabIndex(), 2);
    EXPECT_EQ(text()->toPlainText(), "other");
    EXPECT_EQ(saveRequests(), 1);
}

TEST_F(ContentViewTest, CanonicallyEqualTextIsNotReplaced) {
    make({QString::fromUtf8("caf\u00E9"), QString::fromUtf8("cafe\u0301")});
    QTest::mouseClick(tab(1), Qt::LeftButton);
    EXPECT_EQ(text()->toPlainText(), QString::fromUtf8("caf\u00E9"));
    EXPECT_EQ(saveRequests(), 0);
}

TEST_F(ContentViewTest, AddingANoteEmptiesTheEditorAndTypingFillsTheNewNote) {
    make({"first"});
    EXPECT_FALSE(view->tabBar()->isVisible());
    QTest::mouseClick(view->addButton(), Qt::LeftButton);
    EXPECT_EQ(store->notes().size(), 2);
    EXPECT_TRUE(view->tabBar()->isVisible());
    EXPECT_EQ(view->tabBar()->tabs().size(), 2);
    EXPECT_FALSE(tab(0)->isActive());
    EXPECT_TRUE(tab(1)->isActive());
    EXPECT_EQ(tab(1)->title(), "New Note");
    EXPECT_TRUE(text()->toPlainText().isEmpty());
    type("second");
    EXPECT_EQ(contents(), (QStringList{"first", "second"}));
}

TEST_F(ContentViewTest, ClosingTheActiveTabShowsTheNoteTheStoreMakesActive) {
    make({"A", "B", "C"});
    QTest::mouseClick(tab(2), Qt::LeftButton);
    QTest::mouseClick(tab(2)->closeButton(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(contents(), (QStringList{"A", "B"}));
    EXPECT_EQ(store->activeTabIndex(), 1);
    EXPECT_EQ(text()->toPlainText(), "B");
    EXPECT_TRUE(tab(1)->isActive());
}

TEST_F(ContentViewTest, CrossClosesItsTabWithoutSelectingIt) {
    make({"A", "B", "C"});
    int changes = 0;
    QObject::connect(store.get(), &NoteStore::objectWillChange, [&] { ++changes; });
    QTest::mouseClick(tab(2)->closeButton(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(contents(), (QStringList{"A", "B"}));
    EXPECT_EQ(store->activeTabIndex(), 0);
    EXPECT_EQ(changes, 1); // the removal only, no selection before it
    EXPECT_EQ(text()->toPlainText(), "A");
}

TEST_F(ContentViewTest, StripAppearsAtTwoNotesAndGoesAtOne) {
    make({"A", "B"});
    EXPECT_TRUE(view->tabBar()->isVisible());
    QTest::mouseClick(tab(1)->closeButton(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_FALSE(view->tabBar()->isVisible());
    EXPECT_EQ(view->tabBar()->height(), 28);
    EXPECT_EQ(view->addButton()->size(), QSize(28, 28));
    // The add button sits at the right end of the row, inside its inset.
    EXPECT_EQ(view->addButton()->geometry().right(), view->width() - 8 - 1);
}

TEST_F(ContentViewTest, TabsFollowTheirNotesAndActionsUseTheVisiblePosition) {
    make({"A", "B", "C", "D"});
    TabItemView* cTab = tab(2);
    QTest::mouseClick(tab(0)->closeButton(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(tab(1), cTab); // the same widget, now at position 1
    EXPECT_EQ(cTab->title(), "C");
    QTest::mouseClick(cTab, Qt::LeftButton);
    EXPECT_EQ(store->activeTabIndex(), 1);
    EXPECT_EQ(text()->toPlainText(), "C");
}

TEST_F(ContentViewTest, EqualTitlesStillMakeDistinctTabs) {
    make({"", "", "x"});
    ASSERT_EQ(view->tabBar()->tabs().size(), 3);
    EXPECT_NE(tab(0), tab(1));
    EXPECT_EQ(tab(0)->title(), "New Note");
    EXPECT_EQ(tab(1)->title(), "New Note");
}

TEST_F(ContentViewTest, TitleFollowsTypingOnOneLine) {
    make({"", u"one\r\ntwo\u2028three\rfour\nfive"_qs});
    type("  Shopping  ");
    EXPECT_EQ(tab(0)->title(), "Shopping");
    // The caption rule keeps CR LF, U+2028 and CR; the strip keeps to one line.
    EXPECT_EQ(tab(1)->title(), "one two three four");
    EXPECT_EQ(tab(1)->height(), tab(0)->height());
}

TEST_F(ContentViewTest, UndoAfterATabSwitchCannotBringBackTheOtherNote) {
    make({"alpha", "beta"});
    moveCursorTo(5);
    type("!!");
    QTest::mouseClick(tab(1), Qt::LeftButton);
    EXPECT_EQ(text()->toPlainText(), "beta");
    EXPECT_FALSE(text()->document()->isUndoAvailable());
    text()->undo();
    QTest::keyClick(text(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(text()->toPlainText(), "beta");
    EXPECT_EQ(contents(), (QStringList{"alpha!!", "beta"}));
}

TEST_F(ContentViewTest, UndoWithinOneNoteStillWorksAndWritesBack) {
    make({"alpha"});
    moveCursorTo(5);
    type("!");
    text()->undo();
    EXPECT_EQ(contents(), QStringList{"alpha"});
}

TEST_F(ContentViewTest, PastedRichTextArrivesAsPlainText) {
    make({""});
    auto* mime = new QMimeData;
    mime->setHtml("<b>bold</b> <i>text</i>");
    mime->setText("bold text");
    QApplication::clipboard()->setMimeData(mime);
    text()->paste();
    EXPECT_EQ(contents(), QStringList{"bold text"});
    QTextCursor cursor(text()->document());
    cursor.setPosition(2);
    EXPECT_NE(cursor.charFormat().fontWeight(), QFont::Bold);
}

TEST_F(ContentViewTest, LongLinesWrapAndNeverScrollSideways) {
    make({QString(2000, QChar(u'w'))});
    EXPECT_EQ(text()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(text()->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(text()->verticalScrollBar()->maximum(), 0);
}

TEST_F(ContentViewTest, NotEditableMeansNeitherChangedNorSelected) {
    make({"fixed"});
    view->editor()->setEditable(false);
    view->editor()->updateFromNote();
    type("x");
    EXPECT_EQ(contents(), QStringList{"fixed"});
    EXPECT_EQ(text()->textInteractionFlags(), Qt::NoTextInteraction);
    view->editor()->setEditable(true);
    view->editor()->updateFromNote();
    EXPECT_TRUE(text()->textInteractionFlags() & Qt::TextEditable);
}

TEST_F(ContentViewTest, ManyTabsScrollWithoutAVisibleBar) {
    QStringList many;
    for (int i = 0; i < 30; ++i)
        many << QString("note number %1").arg(i);
    make(many);
    EXPECT_EQ(view->tabBar()->height(), 28);
    EXPECT_GT(view->tabBar()->horizontalScrollBar()->maximum(), 0);
    EXPECT_FALSE(view->tabBar()->horizontalScrollBar()->isVisible());
}

// Blinking at the desktop's pace while in use, resting (shown) when idle.
TEST(IdleCursorTest, StopsBlinkingTenSecondsAfterTheLastKeyOrClickUntilTheNext) {
    QPlainTextEdit field;
    field.show();
    ManualClock clock;
    new IdleCursor(&field, clock.makeTimer());
    const int desktop = QGuiApplication::styleHints()->cursorFlashTime();
    const auto flash = [] { return QGuiApplication::styleHints()->cursorFlashTime(); };
    QTest::keyClick(&field, 'a');
    clock.advance(IdleCursor::kIdleAfter - std::chrono::milliseconds(1));
    EXPECT_EQ(flash(), desktop);
    clock.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(flash(), 0);
    QTest::mouseClick(field.viewport(), Qt::LeftButton);
    EXPECT_EQ(flash(), desktop);
    clock.advance(IdleCursor::kIdleAfter);
    EXPECT_EQ(flash(), 0);
    QTest::keyClick(&field, 'b');
    EXPECT_EQ(flash(), desktop);
}

} // namespace
