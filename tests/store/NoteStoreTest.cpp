#include "store/NoteStore.h"
#include "notes/ActingAsNobody.h"
#include "notes/StoreFixture.h"
#include "sync/NotesLedger.h"
#include "sync/NotesSync.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utime.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace jotbox;
using namespace std::chrono_literals;
using namespace jotbox::testing;

namespace {

using NoteStoreTest = StoreFixture;

// A hand-made file may hold an id twice: each note keeps its own, the same
// on every machine, and the file is written again only when edited.
TEST_F(NoteStoreTest, NotesSharingAnIdInTheFileEachGetTheirOwn) {
    QList<Note> twice = notesWith({"first", "second", "third"});
    twice[2].id = twice[0].id;
    writeAll(persistence->filePath(), *NotesFile::encode(twice));
    const QByteArray bytes = readAll(persistence->filePath());
    start();
    const QUuid derived = QUuid::createUuidV5(twice[0].id, QString("2"));
    EXPECT_EQ(store->notes()[2].id, derived);
    store->selectTab(2);
    store->saveSubject().send();
    clock.advance(1s);
    EXPECT_EQ(readAll(persistence->filePath()), bytes);
    type("third, edited");
    clock.advance(1s);
    EXPECT_EQ(onDisk(), (QStringList{"first", "second", "third, edited"}));
    EXPECT_EQ(NotesFile::decode(readAll(persistence->filePath()))->at(2).id, derived);
}

TEST_F(NoteStoreTest, ClosingFollowsTheTable) {
    const struct {
        QStringList before;
        qint64 active, closed;
        QStringList after;
        qint64 activeAfter;
    } cases[] = {
        {{"A", "B", "C"}, 2, 2, {"A", "B"}, 1}, {{"A", "B", "C"}, 0, 0, {"B", "C"}, 0},
        {{"A", "B", "C"}, 2, 0, {"B", "C"}, 1}, {{"A", "B", "C", "D"}, 2, 0, {"B", "C", "D"}, 2},
        {{"A", "B", "C"}, 0, 2, {"A", "B"}, 0}, {{"A"}, 0, 0, {"A"}, 0},
        {{"A", "B"}, 1, -1, {"A", "B"}, 1},     {{"A", "B"}, 1, 2, {"A", "B"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before.join("") + " close " + QString::number(c.closed));
        start(c.before);
        store->selectTab(c.active);
        store->closeTab(c.closed);
        EXPECT_EQ(texts(), c.after);
        EXPECT_EQ(store->activeTabIndex(), c.activeAfter);
        EXPECT_EQ(timer->starts, c.after != c.before); // saved when something closed
        clock.advance(1s);
        EXPECT_EQ(onDisk(), c.after);
    }
}

// Closed notes come back latest first, as they were, at their place or the
// end, the last 20 of this run; one another machine brought back is skipped,
// and one brought back stays, whatever older file an engine lands, even one
// brought back before any save against a close of it elsewhere.
TEST_F(NoteStoreTest, ClosedNotesComeBackLatestFirstAsTheyWereEvenAfterAMerge) {
    start(QString("abcdefghijklmnopqrstuvwx").split("", Qt::SkipEmptyParts));
    const QList<Note> all = store->notes();
    for (int i = 0; i < 42; ++i) // close x, a, w, b, ..., then press Ctrl+Shift+T as often
        i < 21 ? store->closeTab(i % 2 ? 0 : store->notes().size() - 1) : store->reopenClosedTab();
    // Ids, texts and times; x, closed first, stays closed; a, back last, is active.
    EXPECT_EQ(std::pair(store->notes(), store->activeTabIndex()), std::pair(all.mid(0, 23), 0ll));

    start({"A", "B", "C", "D", "E"});
    store->watchFolder();
    store->selectTab(3);
    type("D2"); // a version of this machine's, which its close covers
    clock.advance(1s);
    const QString path = persistence->filePath();
    // Another machine, meanwhile, closes B and C and edits E.
    AncestorTexts cache({});
    NotesLedger ledger(cache);
    NotesDocument other = *NotesFile::decodeDocument(readAll(path));
    ledger.reset(other);
    other.notes[4].content = "E2";
    other.notes.remove(1, 2);
    ledger.record(other.notes);
    const auto land = [&](const QByteArray& bytes) {
        writeAll(path, bytes), (void)store->look(), clock.advance(60s);
    };
    store->closeTab(4);
    store->closeTab(3);
    clock.advance(1s);
    land(*NotesFile::encode(ledger.document(other.notes)));
    ASSERT_EQ(texts(), (QStringList{"A", "E2"})); // E edited there outlives its close
    const QByteArray withDClosed = readAll(path);
    store->reopenClosedTab(); // D2, at the end: its place went
    store->reopenClosedTab(); // E is back already: nothing
    clock.advance(1s);
    EXPECT_EQ(std::tuple(texts(), onDisk(), store->activeTabIndex()),
              std::tuple(QStringList{"A", "E2", "D2"}, QStringList{"A", "E2", "D2"}, 2));
    land(withDClosed); // a machine that saw the close, not the reopening
    EXPECT_EQ(std::pair(texts(), onDisk()),
              std::pair(QStringList{"A", "E2", "D2"}, QStringList{"A", "E2", "D2"}));
    // Closed there too, while here it is closed and taken back before any save.
    other = *NotesFile::decodeDocument(readAll(path));
    ledger.reset(other);
    ledger.record(other.notes.mid(0, 2));
    store->closeTab(2);
    store->reopenClosedTab();
    land(*NotesFile::encode(ledger.document(other.notes.mid(0, 2))));
    EXPECT_EQ(texts(), (QStringList{"A", "E2", "D2"}));
    // Taken back again, and saved though the texts read as they did: closed
    // there from that file, it is closed here too.
    store->closeTab(2);
    store->reopenClosedTab();
    clock.advance(1s);
    other = *NotesFile::decodeDocument(readAll(path));
    ledger.reset(other);
    ledger.record(other.notes.mid(0, 2));
    land(*NotesFile::encode(ledger.document(other.notes.mid(0, 2))));
    EXPECT_EQ(texts(), (QStringList{"A", "E2"}));
}

TEST_F(NoteStoreTest, ASave500msAfterTheLastRequestOr2sAfterTheFirstOfTheListAsItIsThen) {
    start();
    for (int i = 0; i < 5; ++i) {
        type(store->notes().front().content + QString::number(i));
        clock.advance(100ms);
    }
    // The fifth request came at 400 ms: nothing yet at 899 ms.
    clock.advance(399ms);
    EXPECT_EQ(onDisk(), QStringList{"<no file>"});
    clock.advance(1ms);
    EXPECT_EQ(onDisk(), QStringList{"01234"});
    EXPECT_FALSE(store->hasPendingSave());
    // The list is read when the timer fires, not when the request came.
    store->saveSubject().send();
    clock.advance(300ms);
    type("typed after the request", false);
    EXPECT_EQ(timer->starts, 6);
    clock.advance(200ms);
    EXPECT_EQ(onDisk(), QStringList{"typed after the request"});
    // Typing that never pauses for 500 ms is saved 2 s after its first key, again and again.
    QString typed;
    for (int key = 1; key <= 12; ++key) {
        type(typed += 'x');
        clock.advance(400ms); // the fifth key is 1.6 s after the first, the tenth 3.6 s
        if (key == 5 || key == 10) {
            EXPECT_EQ(onDisk(), QStringList{typed}) << key;
        }
    }
    EXPECT_EQ(onDisk(), QStringList{"xxxxxxxxxx"});
    clock.advance(100ms);
    EXPECT_EQ(onDisk(), QStringList{typed});
}

// Following the active tab, and a save request per key, are the view's tests.

// Another program (a sync engine, a user) changes the file while the store
// runs: what it wrote is merged, a file it left missing or half-written is
// waited for and never taken for no notes, nothing is written over an
// unreadable one, and nothing at all is written when nothing changed.
TEST_F(NoteStoreTest, WhatAnotherProgramDoesToTheFileIsMergedNeverTakenAsNoNotesNorWrittenOver) {
    const QString path = persistence->filePath();
    const auto replace = [&](const QByteArray& bytes) { // as Syncthing does: a temporary, renamed
        writeAll(tmp.filePath(".syncthing.notes.json.tmp"), bytes);
        std::filesystem::rename(tmp.filePath(".syncthing.notes.json.tmp").toStdString(),
                                path.toStdString());
    };
    // Another machine's version of the file: these texts, made from this one,
    // perhaps in the other order.
    const auto theirs = [&](const QStringList& texts, bool reversed = false) {
        AncestorTexts cache({});
        NotesLedger ledger(cache);
        NotesDocument document = *NotesFile::decodeDocument(readAll(path));
        ledger.reset(document);
        for (qsizetype i = 0; i < texts.size(); ++i)
            document.notes[i].content = texts[i];
        ledger.record(document.notes);
        NotesDocument out = ledger.document(document.notes);
        if (reversed) {
            std::reverse(out.notes.begin(), out.notes.end());
            std::reverse(out.ancestry.begin(), out.ancestry.end());
        }
        return *NotesFile::encode(out);
    };
    const auto waitOut = [&] { clock.advance(60s); }; // longer than a file is waited for
    // Another machine's version landing while a save is under way: just
    // before its rename, or just after, when it must not pass for the file saved.
    std::optional<std::pair<QString, QByteArray>> landing;
    fs->before = [&](const QString& call) {
        if (landing && call.startsWith(landing->first))
            replace(std::exchange(landing, std::nullopt)->second);
    };
    const auto save = [&] { clock.advance(1s); };
    const auto quit = [&] { store->flush(); };
    const auto nothing = [] {};
    QByteArray written; // a file another program writes in place
    const struct {
        const char* what;
        std::function<void()> act, then, end;
        QStringList texts; // in the store and on disk
        int setAside;      // files beside notes.json: set aside, or left alone
        bool written;
    } cases[] = {
        // clang-format off
        {"a touch", [&] { ::utime(QFile::encodeName(path), nullptr); }, nothing, waitOut,
         {"A", "B"}, 0, false},
        {"a tab switch, a save asked for", [&] { store->selectTab(1); }, nothing,
         [&] { store->saveSubject().send(), waitOut(); }, {"A", "B"}, 0, false},
        {"reordered there: the active tab stays on its note",
         [&] { store->selectTab(1), replace(theirs({"A", "B"}, true)); }, nothing, waitOut,
         {"B", "A"}, 0, false},
        {"written in place, seen half-done",
         [&] { written = theirs({"A4", "B"}), writeAll(path, written.left(30)); },
         [&] { writeAll(path, written); }, waitOut, {"A4", "B"}, 0, false},
        {"a version landing before the rename",
         [&] { landing = {"sync file", theirs({"A", "B2"})}, type("A3"); }, save, waitOut,
         {"A3", "B2"}, 0, true},
        {"an earlier Jotbox's landing after it", // no ancestry: "A" is an old version
         [&] {
             QList<Note> notes = store->notes();
             notes[1].content = "B2";
             landing = {"sync folder", *NotesFile::encode(notes)};
         },
         [&] { type("A3"), save(); }, waitOut, {"A3", "B2"}, 0, true},
        {"deleted, never back", [&] { QFile::remove(path); }, nothing, waitOut, {"A", "B"}, 0, true},
        {"deleted, back 20 s later (an engine's slow replace): waited for", [&] { written = readAll(path), QFile::remove(path); },
         [&] { clock.advance(20s), writeAll(path, written); }, waitOut, {"A", "B"}, 0, false},
        {"deleted, then a quit", [&] { QFile::remove(path); }, nothing, quit, {"A", "B"}, 1, true},
        {"deleted, typed on, then a crash 2 s later and a start: the typing is kept", [&] { QFile::remove(path); },
         [&] { type("A typed"), clock.advance(2s), store.reset(), start(), store->watchFolder(); }, waitOut,
         {"A typed", "B"}, 0, true},
        {"a quit while an engine replaces it, its rename last", // then the next start
         [&] { written = theirs({"A", "B2"}), QFile::remove(path); }, [&] { type("A3"); },
         [&] { quit(), replace(written), start(), store->watchFolder(), (void)store->look(), waitOut(); },
         {"A3", "B2"}, 0, true},
        {"unreadable for good", [&] { replace("{half"); }, nothing, waitOut, {"A", "B"}, 1, true},
        {"refused to read for good (EACCES): set aside too", [&] { replace(readAll(path)), fs->failOn = "read notes.json",
         fs->failError = EACCES, fs->failTimes = 8; }, nothing, waitOut, {"A", "B"}, 1, true},
        {"an unreadable conflict copy, left alone",
         [&] { writeAll(tmp.filePath("notes.sync-conflict-20261207-101500-ABCDEFG.json"), "{"); },
         nothing, waitOut, {"A", "B"}, 1, false},
        {"the engines' conflict copies, merged and removed (bisync's once its machine had time); a look-alike left", [&] {
             for (const char* name : {"notes.sync-conflict-20261207-101500-ABCDEFG.json", "notes.json..path1",
                  "notes (Ann's conflicted copy 2026-12-07).json", "notes (conflict_on_2026-12-07).json",
                  "notes (conflict #4_on_2026-12-07) (conflict_on_2026-12-08).json", "notes (2).json"})
                 writeAll(tmp.filePath(name), theirs({"A", "B2"}));
         }, nothing, [&] { clock.advance(NotesSync::kBisyncWait); }, {"A", "B2"}, 1, true},
        {"an engine's copy another Jotbox saved: merged, left for a minute for it to write", [&] {
             NotesDocument copy = *NotesFile::decodeDocument(theirs({"A", "B2"}));
             copy.savedBy = 0x5eed;
             writeAll(tmp.filePath("notes.sync-conflict-20261207-101500-ABCDEFG.json"), *NotesFile::encode(copy));
         }, [&] { EXPECT_EQ(std::pair(texts(), onDisk()), std::pair(QStringList{"A", "B2"}, QStringList{"A", "B"})); },
         [&] { clock.advance(NotesSync::kBisyncWait); }, {"A", "B2"}, 0, true},
        {"a text editor's file put over ours in a conflict, ours set aside: nothing typed here lost", [&] {
             type("A mine"), save();
             writeAll(tmp.filePath("notes (conflict_on_2026-12-07).json"), readAll(path));
             QList<Note> notes = store->notes();
             notes[0].content = "A theirs";
             replace(*NotesFile::encode(notes));
         }, nothing, waitOut, {"A mine theirs", "B"}, 0, true},
        {"unreadable, typed on, then a quit", [&] { replace("{half"); },
         [&] { type("A typed"); }, quit, {"A typed", "B"}, 2, true}, // and a copy
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(tmp.path()).removeRecursively();
        QDir().mkpath(tmp.path());
        start({"A", "B"});
        store->watchFolder();
        type("A"); // the file as this Jotbox writes it, ancestry and all
        clock.advance(1s);
        const auto writes = [&] { return fs->calls.filter("rename").size(); };
        const qsizetype before = writes();
        c.act();
        (void)store->look(); // as the folder watcher would, a moment later
        c.then();
        (void)store->look();
        c.end();
        EXPECT_EQ(std::pair(texts(), onDisk()), std::pair(c.texts, c.texts));
        EXPECT_EQ(entriesOf(tmp.path()).size() - 1, c.setAside);
        EXPECT_EQ(writes() > before, c.written);
        // The active tab stays on its note, wherever it went.
        const bool onB = QString(c.what).startsWith("reordered") || QString(c.what).contains("tab");
        EXPECT_EQ(store->notes()[store->activeTabIndex()].content.front(), onB ? 'B' : 'A');
    }
}

// A new machine: Jotbox starts before the sync engine makes its folder. The
// file the engine brings is taken as it lands; the blank note gives way.
TEST_F(NoteStoreTest, AFolderTheSyncEngineMakesAfterTheStartIsWatched) {
    const QString folder = tmp.filePath("data/Jotbox");
    persistence = std::make_shared<PersistenceManager>(folder, QString(), fs);
    start();
    store->watchFolder();
    QDir().mkpath(folder);
    writeAll(folder + "/notes.json", *NotesFile::encode(notesWith({"from the other machine"})));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        clock.advance(1s);
        return texts() == QStringList{"from the other machine"};
    }));
    type("from the other machine Z");
    clock.advance(1s);
    EXPECT_EQ(onDisk(), QStringList{"from the other machine Z"});
}

// The store and the real file system under faults: whatever happens to the
// disk or the file, the program keeps running, keeps the notes in memory,
// never destroys the previous file, and writes the notes once the fault is
// gone, by its retries or at quit.
TEST(NoteStoreFault, ThePreviousFileStaysUntilTheFaultIsGoneThenTheNotesAreWritten) {
    QTemporaryDir tmp;
    ManualClock clock;
    ::chmod(QFile::encodeName(tmp.path()).constData(), 0755);
    const QString folder = tmp.filePath("data/Jotbox"), file = folder + "/notes.json";
    const QString cache = tmp.filePath("cache");
    std::unique_ptr<NoteStore> store;
    const auto restart = [&](bool watching) {
        store = std::make_unique<NoteStore>(std::make_shared<PersistenceManager>(folder, cache),
                                            [&] { return clock.makeTimer(); });
        if (watching) // as the program does; the runs without it meet no waits for the file
            store->watchFolder();
    };
    const auto type = [&](const QString& text) { // a keystroke, and the save half a second later
        typeInto(*store, text);
        clock.advance(NoteStore::kSaveDelay);
    };
    const auto onDisk = [&] { return NotesFile::decode(readAll(file)); };
    const auto chmodFolder = [&](mode_t mode) { ::chmod(QFile::encodeName(folder), mode); };
    // A file-size limit stops a write as a full disk does, after part of it.
    rlimit unlimited{};
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, SIG_IGN);
    const auto limitFiles = [&](rlim_t bytes) {
        rlimit limit = unlimited;
        limit.rlim_cur = std::min(bytes, unlimited.rlim_cur);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    const struct {
        const char* what;
        std::function<void()> before, during, mend;
    } faults[] = {
        {"a read-only folder", [] {}, [&] { chmodFolder(0555); }, [&] { chmodFolder(0700); }},
        {"a full disk", [] {}, [&] { limitFiles(64); }, [&] { limitFiles(RLIM_INFINITY); }},
        // Neither replaced nor moved aside: a folder or a pipe is no notes file at all.
        {"a folder in the file's place",
         [&] { QFile::remove(file) && QDir().mkpath(file + "/something"); }, [] {},
         [&] { QDir(file).removeRecursively(); }},
        // Reading must not wait for a writer that never comes.
        {"a pipe in the file's place",
         [&] { QFile::remove(file) && ::mkfifo(QFile::encodeName(file), 0600); }, [] {},
         [&] { QFile::remove(file); }},
        // What cannot be set aside is not written over, now or once it can be set aside.
        {"an unreadable file in a read-only folder", [&] { writeAll(file, "{broken"); },
         [&] { chmodFolder(0555); }, [&] { chmodFolder(0700); }},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        QDir(folder).removeRecursively();
        ASSERT_FALSE(PersistenceManager(folder).save(notesWith({"before"})));
        fault.before();
        const auto previous = [&] { // what is there, without opening a pipe
            return QFileInfo(file).isFile() ? readAll(file) : QByteArray("not a file");
        };
        const QByteArray before = previous();
        const ActingAsNobody nobody(tmp.path());
        restart(false);
        fault.during();
        type(QString("during ") + fault.what);
        EXPECT_EQ(store->notes().front().content, QString("during ") + fault.what);
        EXPECT_EQ(previous(), before);
        EXPECT_TRUE(QDir(folder).entryList({"notes.json.unreadable-*"}).isEmpty());
        clock.advance(NoteStore::kRetryDelay); // the fault is still there
        // Written by the next retry once mended; or kept in the cache folder
        // by a quit meanwhile, and written by the next start.
        const bool quit = (&fault - faults) % 2 == 0; // a full disk keeps no copy either
        const QList<Note> notes = store->notes();
        if (quit)
            store->flush();
        EXPECT_EQ(QDir(cache).entryList({"notes.unsaved-*"}).size(), quit ? 1 : 0);
        fault.mend();
        if (quit)
            restart(true);
        clock.advance(NoteStore::kRetryDelay);
        EXPECT_EQ(std::pair(onDisk(), store->notes()), std::pair(std::optional(notes), notes));
        EXPECT_TRUE(QDir(cache).entryList({"notes.unsaved-*"}).isEmpty());
        EXPECT_FALSE(store->hasPendingSave());
        EXPECT_EQ(QDir(folder).entryList({"notes.json.unreadable-*"}).size(),
                  before == "{broken" ? 1 : 0);
    }
    // A folder removed while running is made again at once.
    restart(false);
    ASSERT_TRUE(QDir(tmp.filePath("data")).removeRecursively());
    type("after the folder went");
    EXPECT_EQ(onDisk(), store->notes());
}

} // namespace
