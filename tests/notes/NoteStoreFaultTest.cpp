// The store and the real file system under faults: whatever happens to the
// disk or the file, the program keeps running, keeps the notes in memory,
// never destroys the previous file, and writes the notes once the fault is gone.
#include "notes/ActingAsNobody.h"
#include "notes/FileContents.h"
#include "notes/ManualClock.h"
#include "notes/NoteStore.h"
#include "notes/NotesFile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace jotbox;
using namespace std::chrono_literals;
using jotbox::testing::ActingAsNobody;
using jotbox::testing::ManualClock;
using jotbox::testing::readAll;
using jotbox::testing::writeAll;

namespace {

QByteArray digest(const QString& path) {
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!f.open(QIODevice::ReadOnly) || !hash.addData(&f))
        return "<none>";
    return hash.result().toHex();
}

// Mounts made here vanish with the test's process: it gets its own namespace.
bool mountTmpfs(const QString& where, const char* options) {
    static const bool isolated = ::unshare(CLONE_NEWNS) == 0 &&
                                 ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return isolated &&
           ::mount("tmpfs", QFile::encodeName(where).constData(), "tmpfs", 0, options) == 0;
}

class NoteStoreFaultTest : public ::testing::Test {
protected:
    ~NoteStoreFaultTest() override {
        if (!m_unmount.isEmpty())
            ::umount2(QFile::encodeName(m_unmount).constData(), MNT_DETACH);
    }
    QString m_unmount;
    QTemporaryDir tmp;
    ManualClock clock;
    QString folder() const { return tmp.filePath("data/Jotbox"); }
    QString file() const { return folder() + "/notes.json"; }
    std::shared_ptr<PersistenceManager> persistence =
        std::make_shared<PersistenceManager>(folder());
    std::unique_ptr<NoteStore> store;

    void SetUp() override {
        ::chmod(QFile::encodeName(tmp.path()).constData(), 0755);
        ASSERT_TRUE(QDir().mkpath(tmp.filePath("data")));
    }

    // The notes of an earlier session, as "notes.json" holds them.
    void seedPrevious() {
        ASSERT_FALSE(PersistenceManager(folder()).save({Note{QUuid::createUuid(), "before", 1}}));
    }
    void start() { store = std::make_unique<NoteStore>(persistence, clock.makeTimer()); }

    // A keystroke, and the save it asks for half a second later.
    void type(const QString& text) {
        auto binding = store->activeNoteBinding();
        Note note = binding.get();
        note.content = text;
        binding.set(note);
        store->saveSubject().send();
        clock.advance(NoteStore::kSaveDelay);
    }
    QString typed() const { return store->notes().at(store->activeTabIndex()).content; }

    std::optional<QList<Note>> onDisk() const { return NotesFile::decode(readAll(file())); }
    void expectWrittenByTheNextRetry() {
        clock.advance(NoteStore::kRetryDelay);
        EXPECT_EQ(onDisk(), store->notes());
        EXPECT_FALSE(store->hasPendingSave());
    }
    QStringList setAside() const {
        return QDir(folder()).entryList({"notes.json.unreadable-*"}, QDir::Files);
    }
};

TEST_F(NoteStoreFaultTest, FullDisk) {
    const QString disk = tmp.filePath("data");
    const QByteArray big(256 * 1024, 'x');
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit unlimited = limit;

    QString filler;
    if (mountTmpfs(disk, "size=1m,mode=0755")) {
        seedPrevious();
        // Fill every last page of the small disk.
        m_unmount = disk;
        filler = disk + "/filler";
        QFile f(filler);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        while (f.write(big) > 0 && f.flush()) {
        }
        std::cout << "[ disk     ] a 1 MB tmpfs, filled\n";
    } else {
        // Without mounts, a file-size limit stops the write the same way.
        seedPrevious();
        std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = 64 * 1024;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        std::cout << "[ disk     ] no mounts allowed: a 64 KB file-size limit\n";
    }
    const QByteArray previous = readAll(file());

    start();
    type(QString::fromLatin1(big));
    EXPECT_EQ(typed().size(), big.size());
    EXPECT_EQ(readAll(file()), previous);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList{"notes.json"});

    clock.advance(NoteStore::kRetryDelay); // still full
    EXPECT_EQ(readAll(file()), previous);

    if (filler.isEmpty())
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    else
        ASSERT_TRUE(QFile::remove(filler));
    expectWrittenByTheNextRetry();
}

TEST_F(NoteStoreFaultTest, ReadOnlyFolder) {
    seedPrevious();
    const QByteArray previous = readAll(file());
    const ActingAsNobody nobody(tmp.path());
    start();
    ::chmod(QFile::encodeName(folder()).constData(), 0555);
    type("while read-only");
    EXPECT_EQ(typed(), "while read-only");
    EXPECT_EQ(readAll(file()), previous);
    ::chmod(QFile::encodeName(folder()).constData(), 0700);
    expectWrittenByTheNextRetry();
}

TEST_F(NoteStoreFaultTest, FolderRemovedWhileRunning) {
    seedPrevious();
    start();
    ASSERT_TRUE(QDir(tmp.filePath("data")).removeRecursively());
    type("after the folder went");
    EXPECT_EQ(onDisk(), store->notes()); // the folders are made again at once
}

TEST_F(NoteStoreFaultTest, FileIsADirectory) {
    ASSERT_TRUE(QDir().mkpath(file() + "/something"));
    start();
    EXPECT_EQ(store->notes().size(), 1);
    type("cannot replace a folder");
    EXPECT_EQ(typed(), "cannot replace a folder");
    // Neither replaced nor moved aside: it is not a notes file at all.
    EXPECT_TRUE(QFileInfo(file() + "/something").isDir());
    EXPECT_TRUE(setAside().isEmpty());
    ASSERT_TRUE(QDir(file()).removeRecursively());
    expectWrittenByTheNextRetry();
}

TEST_F(NoteStoreFaultTest, FileIsAPipe) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(file()).constData(), 0600), 0);
    start(); // reading must not wait for a writer that never comes
    EXPECT_EQ(store->notes().size(), 1);
    ASSERT_TRUE(QFile::remove(file()));
    type("after the pipe");
    EXPECT_EQ(onDisk(), store->notes());
}

TEST_F(NoteStoreFaultTest, FileLinksToAnotherUsersFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a file that belongs to another user";
    const QString theirs = tmp.filePath("theirs.json");
    writeAll(theirs, *NotesFile::encode({Note{QUuid::createUuid(), "their note", 1}}));
    ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), ActingAsNobody::kNobody,
                      ActingAsNobody::kNobody),
              0);
    const QByteArray before = readAll(theirs);
    ASSERT_TRUE(QDir().mkpath(folder()));
    ASSERT_TRUE(QFile::link(theirs, file()));

    start();
    type("mine");
    EXPECT_EQ(typed(), "mine");
    EXPECT_EQ(readAll(theirs), before);
    ASSERT_TRUE(QFile::remove(file()));
    expectWrittenByTheNextRetry();
    EXPECT_FALSE(QFileInfo(file()).isSymLink());
    EXPECT_EQ(readAll(theirs), before);
}

TEST_F(NoteStoreFaultTest, HundredMegabyteNoteLoadsEditsAndSaves) {
    // Big is not broken: a 100 MB note is the user's, kept and written as any other.
    const QString big(100 * 1024 * 1024, u'x');
    ASSERT_FALSE(PersistenceManager(folder()).save({Note{QUuid::createUuid(), big, 1}}));
    start();
    ASSERT_EQ(store->notes().size(), 1);
    EXPECT_EQ(typed().size(), big.size());
    type(big + "!");
    EXPECT_EQ(onDisk(), store->notes());
    EXPECT_TRUE(setAside().isEmpty());
}

// Hostile or broken files are rejected whole, kept byte for byte, and replaced.
class UnreadableFileTest : public NoteStoreFaultTest {
protected:
    void expectKeptAsideAndReplaced(const QByteArray& hash) {
        start();
        ASSERT_EQ(store->notes().size(), 1);
        EXPECT_EQ(store->notes().front().content, "");
        type("a fresh start");
        const QStringList aside = setAside();
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(digest(folder() + "/" + aside.front()), hash);
        EXPECT_EQ(onDisk(), store->notes());
    }
    void write(const QList<QByteArray>& pieces) {
        ASSERT_TRUE(QDir().mkpath(folder()));
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (const QByteArray& piece : pieces)
            ASSERT_EQ(f.write(piece), piece.size());
    }
};

TEST_F(UnreadableFileTest, HundredMegabytesCutShort) {
    // A note of 100 MB whose file ends before the array does.
    write({R"([{"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","createdAt":1,"content":")",
           QByteArray(100 * 1024 * 1024, 'x'), "\"}"});
    expectKeptAsideAndReplaced(digest(file()));
}

TEST_F(UnreadableFileTest, HundredThousandArraysDeep) {
    write({QByteArray(100'000, '['), QByteArray(100'000, ']')});
    expectKeptAsideAndReplaced(digest(file()));
}

} // namespace
