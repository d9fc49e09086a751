#include "views/ContentView.h"
#include "notes/ManualClock.h"
#include "support/QtPrinters.h"
#include "views/GlyphButton.h"
#include "views/NoteEditorView.h"
#include "views/TabBarView.h"
#include "views/TabItemView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace jotbox;
using jotbox::testing::ManualClock;

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

TEST_F(ContentViewTest, TitleFollowsTyping) {
    make({"", "other"});
    type("  Shopping  ");
    EXPECT_EQ(tab(0)->title(), "Shopping");
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

} // namespace
