#include "notes/NoteStore.h"
#include "notes/ManualClock.h"
#include "notes/NotesFile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace jotbox;
using namespace std::chrono_literals;
using jotbox::testing::ManualClock;

namespace {

// Counts saves by watching the file on disk: every save rewrites it whole.
class NoteStoreTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    ManualClock clock;
    std::shared_ptr<PersistenceManager> persistence =
        std::make_shared<PersistenceManager>(tmp.path());
    ManualClock::Timer* timer = nullptr;

    std::unique_ptr<NoteStore> makeStore() {
        auto t = clock.makeTimer();
        timer = t.get();
        return std::make_unique<NoteStore>(persistence, std::move(t));
    }

    // Seeds the file with notes named by the given texts.
    void seed(const QStringList& texts) {
        QList<Note> notes;
        for (const QString& t : texts)
            notes.append(Note{QUuid::createUuid(), t, 0});
        ASSERT_FALSE(persistence->save(notes));
    }

    QStringList onDisk() const {
        QFile f(persistence->filePath());
        if (!f.open(QIODevice::ReadOnly))
            return {"<no file>"};
        const auto notes = NotesFile::decode(f.readAll());
        if (!notes)
            return {"<unreadable>"};
        QStringList texts;
        for (const Note& n : *notes)
            texts << n.content;
        return texts;
    }

    // What the editor does on a keystroke: write the whole text through the binding.
    static void setActiveText(NoteStore& store, const QString& text) {
        auto binding = store.activeNoteBinding();
        Note n = binding.get();
        n.content = text;
        binding.set(n);
    }

    static QStringList texts(const NoteStore& store) {
        QStringList out;
        for (const Note& n : store.notes())
            out << n.content;
        return out;
    }
};

TEST_F(NoteStoreTest, FreshStartHasOneBlankActiveNoteAndWritesNothing) {
    auto store = makeStore();
    ASSERT_EQ(store->notes().size(), 1);
    EXPECT_TRUE(store->notes().front().content.isEmpty());
    EXPECT_EQ(store->activeTabIndex(), 0);
    clock.advance(10s);
    EXPECT_FALSE(QFile::exists(persistence->filePath()));
}

TEST_F(NoteStoreTest, RestartShowsTheSavedNotesWithTheFirstTabActive) {
    seed({"A", "B", "C"});
    auto store = makeStore();
    EXPECT_EQ(texts(*store), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(store->activeTabIndex(), 0);
}

TEST_F(NoteStoreTest, AddTabAppendsActivatesAndRequestsOneSave) {
    seed({"A", "B", "C"});
    auto store = makeStore();
    int changes = 0;
    QObject::connect(store.get(), &NoteStore::objectWillChange, [&] { ++changes; });
    store->addTab();
    EXPECT_EQ(store->notes().size(), 4);
    EXPECT_EQ(store->activeTabIndex(), 3);
    EXPECT_TRUE(store->notes().back().content.isEmpty());
    EXPECT_EQ(changes, 2); // the list, then the index
    EXPECT_EQ(timer->starts, 1);
    clock.advance(500ms);
    EXPECT_EQ(onDisk(), (QStringList{"A", "B", "C", ""}));
}

struct CloseCase {
    QStringList before;
    qint64 active;
    qint64 closed;
    QStringList after;
    qint64 activeAfter;
    bool saved;
};

TEST_F(NoteStoreTest, ClosingFollowsTheTable) {
    const CloseCase cases[] = {
        {{"A", "B", "C"}, 2, 2, {"A", "B"}, 1, true},
        {{"A", "B", "C"}, 0, 0, {"B", "C"}, 0, true},
        {{"A", "B", "C"}, 2, 0, {"B", "C"}, 1, true},
        {{"A", "B", "C", "D"}, 2, 0, {"B", "C", "D"}, 2, true},
        {{"A", "B", "C"}, 0, 2, {"A", "B"}, 0, true},
        {{"A"}, 0, 0, {"A"}, 0, false},
        {{"A", "B"}, 1, -1, {"A", "B"}, 1, false},
        {{"A", "B"}, 1, 2, {"A", "B"}, 1, false},
    };
    for (const CloseCase& c : cases) {
        seed(c.before);
        auto store = makeStore();
        store->selectTab(c.active);
        store->closeTab(c.closed);
        EXPECT_EQ(texts(*store), c.after) << c.before.join("") << " close " << c.closed;
        EXPECT_EQ(store->activeTabIndex(), c.activeAfter)
            << c.before.join("") << " close " << c.closed;
        EXPECT_EQ(timer->starts, c.saved ? 1 : 0);
        clock.advance(1s);
        EXPECT_EQ(onDisk(), c.saved ? c.after : c.before);
    }
}

TEST_F(NoteStoreTest, SelectTabSignalsEvenForTheSameIndexAndNeverSaves) {
    seed({"A", "B"});
    auto store = makeStore();
    int changes = 0;
    QObject::connect(store.get(), &NoteStore::objectWillChange, [&] { ++changes; });
    store->selectTab(0);
    EXPECT_EQ(changes, 1);
    store->selectTab(1);
    EXPECT_EQ(store->activeTabIndex(), 1);
    store->selectTab(2);
    store->selectTab(-1);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(store->activeTabIndex(), 1);
    EXPECT_EQ(timer->starts, 0);
}

TEST_F(NoteStoreTest, ChangeSignalFiresBeforeTheChange) {
    seed({"A", "B"});
    auto store = makeStore();
    qint64 seenBefore = -1;
    QObject::connect(store.get(), &NoteStore::objectWillChange,
                     [&] { seenBefore = store->activeTabIndex(); });
    store->selectTab(1);
    EXPECT_EQ(seenBefore, 0);
}

TEST_F(NoteStoreTest, DebounceSavesOnce500msAfterTheLastRequest) {
    auto store = makeStore();
    for (int i = 0; i < 5; ++i) {
        setActiveText(*store, store->notes().front().content + QString::number(i));
        store->saveSubject().send();
        clock.advance(100ms);
    }
    // Fifth request at 400 ms: nothing yet at 899 ms.
    clock.advance(399ms);
    EXPECT_FALSE(QFile::exists(persistence->filePath()));
    clock.advance(1ms);
    EXPECT_EQ(onDisk(), QStringList{"01234"});
    EXPECT_FALSE(store->hasPendingSave());
}

TEST_F(NoteStoreTest, SaveWritesTheListAsItIsWhenTheTimerFires) {
    auto store = makeStore();
    store->saveSubject().send();
    clock.advance(300ms);
    setActiveText(*store, "typed after the request"); // no request of its own
    EXPECT_EQ(timer->starts, 1);
    clock.advance(200ms);
    EXPECT_EQ(onDisk(), QStringList{"typed after the request"});
}

class FailingSaveTest : public NoteStoreTest {
protected:
    // A plain file where the folder should be makes every save fail.
    void SetUp() override {
        persistence = std::make_shared<PersistenceManager>(blocker());
        QFile file(blocker());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QString blocker() const { return tmp.filePath("blocked"); }
    void unblock() { ASSERT_TRUE(QFile::remove(blocker())); }

    std::unique_ptr<NoteStore> storeWithFailedSave(const QString& text) {
        auto store = makeStore();
        setActiveText(*store, text);
        store->saveSubject().send();
        clock.advance(500ms);
        EXPECT_EQ(texts(*store), QStringList{text});
        EXPECT_EQ(onDisk(), QStringList{"<no file>"});
        return store;
    }
};

TEST_F(FailingSaveTest, RetriesOnItsOwnUntilTheFaultIsGone) {
    auto store = storeWithFailedSave("kept");
    clock.advance(NoteStore::kRetryDelay); // still blocked: tries, fails, waits again
    EXPECT_EQ(onDisk(), QStringList{"<no file>"});
    unblock();
    clock.advance(NoteStore::kRetryDelay - 1ms);
    EXPECT_EQ(onDisk(), QStringList{"<no file>"});
    clock.advance(1ms);
    EXPECT_EQ(onDisk(), QStringList{"kept"});
    EXPECT_FALSE(store->hasPendingSave()); // and stops once it is written
}

TEST_F(FailingSaveTest, ARequestMeanwhileWritesTheNewerListSooner) {
    auto store = storeWithFailedSave("kept");
    unblock();
    setActiveText(*store, "kept, then more");
    store->saveSubject().send();
    clock.advance(500ms);
    EXPECT_EQ(onDisk(), QStringList{"kept, then more"});
}

TEST_F(FailingSaveTest, QuittingWritesWhatAFailedSaveCouldNot) {
    auto store = storeWithFailedSave("kept");
    unblock();
    store->flush();
    EXPECT_EQ(onDisk(), QStringList{"kept"});
}

TEST_F(NoteStoreTest, BindingFollowsTheActiveTab) {
    seed({"A", "B"});
    auto store = makeStore();
    auto binding = store->activeNoteBinding();
    EXPECT_EQ(binding.get().content, "A");
    store->selectTab(1);
    EXPECT_EQ(binding.get().content, "B");
    Note n = binding.get();
    n.content = "B!";
    binding.set(n);
    EXPECT_EQ(texts(*store), (QStringList{"A", "B!"}));
    EXPECT_EQ(timer->starts, 0); // writing does not request a save by itself
}

TEST_F(NoteStoreTest, BindingHoldsTheStoreWeakly) {
    auto store = makeStore();
    auto binding = store->activeNoteBinding();
    store.reset();
    const Note a = binding.get();
    const Note b = binding.get();
    EXPECT_TRUE(a.content.isEmpty());
    EXPECT_NE(a.id, b.id);                                // a fresh placeholder at every read
    binding.set(Note{QUuid::createUuid(), "dropped", 0}); // does nothing, does not crash
}

TEST_F(NoteStoreTest, FlushWritesAPendingSaveAtOnceAndOnlyThen) {
    auto store = makeStore();
    store->flush();
    EXPECT_FALSE(QFile::exists(persistence->filePath()));

    setActiveText(*store, "last words");
    store->saveSubject().send();
    store->flush();
    EXPECT_EQ(onDisk(), QStringList{"last words"});
    EXPECT_FALSE(store->hasPendingSave());

    // The timer no longer fires a second, stale save.
    QFile::remove(persistence->filePath());
    clock.advance(1s);
    EXPECT_FALSE(QFile::exists(persistence->filePath()));
}

TEST_F(NoteStoreTest, PendingSaveOfAStoreThatIsGoneDoesNothing) {
    auto store = makeStore();
    store->saveSubject().send();
    store.reset();
    clock.advance(1s);
    EXPECT_FALSE(QFile::exists(persistence->filePath()));
}

} // namespace
