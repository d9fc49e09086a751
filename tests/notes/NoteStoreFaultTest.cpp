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
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace jotbox;
using jotbox::testing::ActingAsNobody;
using jotbox::testing::ManualClock;
using jotbox::testing::readAll;
using jotbox::testing::writeAll;

namespace {

// Mounts made here vanish with the test's process: it gets its own namespace.
bool mountTmpfs(const QString& where, const char* options) {
    static const bool isolated = ::unshare(CLONE_NEWNS) == 0 &&
                                 ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return isolated &&
           ::mount("tmpfs", QFile::encodeName(where).constData(), "tmpfs", 0, options) == 0;
}

class NoteStoreFaultTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    ManualClock clock;
    QString folder() const { return tmp.filePath("data/Jotbox"); }
    QString file() const { return folder() + "/notes.json"; }
    std::unique_ptr<NoteStore> store;

    void SetUp() override {
        ::chmod(QFile::encodeName(tmp.path()).constData(), 0755);
        ASSERT_TRUE(QDir().mkpath(tmp.filePath("data")));
    }
    // The notes of an earlier session, as "notes.json" holds them.
    void seedPrevious(const QString& text = "before") {
        ASSERT_FALSE(PersistenceManager(folder()).save({Note{QUuid::createUuid(), text, 1}}));
    }
    void start() {
        store = std::make_unique<NoteStore>(std::make_shared<PersistenceManager>(folder()),
                                            clock.makeTimer());
    }
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

TEST_F(NoteStoreFaultTest, ThePreviousFileStaysUntilTheFaultIsGoneThenTheNotesAreWritten) {
    const auto chmodFolder = [this](mode_t mode) {
        ::chmod(QFile::encodeName(folder()).constData(), mode);
    };
    const struct {
        const char* what;
        std::function<void()> before, during, mend;
    } faults[] = {
        {"a read-only folder", [] {}, [&] { chmodFolder(0555); }, [&] { chmodFolder(0700); }},
        // Neither replaced nor moved aside: a folder or a pipe is no notes file at all.
        {"a folder in the file's place",
         [&] { QFile::remove(file()) && QDir().mkpath(file() + "/something"); }, [] {},
         [&] { QDir(file()).removeRecursively(); }},
        // Reading must not wait for a writer that never comes.
        {"a pipe in the file's place",
         [&] { QFile::remove(file()) && ::mkfifo(QFile::encodeName(file()).constData(), 0600); },
         [] {}, [&] { QFile::remove(file()); }},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        QDir(folder()).removeRecursively();
        seedPrevious();
        fault.before();
        const auto previous = [this] { // what is there, without opening a pipe
            return QFileInfo(file()).isFile() ? readAll(file()) : QByteArray("not a file");
        };
        const QByteArray before = previous();
        const ActingAsNobody nobody(tmp.path());
        start();
        fault.during();
        type(QString("during ") + fault.what);
        EXPECT_EQ(typed(), QString("during ") + fault.what);
        EXPECT_EQ(previous(), before);
        EXPECT_TRUE(setAside().isEmpty());
        clock.advance(NoteStore::kRetryDelay); // the fault is still there
        fault.mend();
        expectWrittenByTheNextRetry();
    }
    // A folder removed while running is made again at once.
    ASSERT_TRUE(QDir(tmp.filePath("data")).removeRecursively());
    type("after the folder went");
    EXPECT_EQ(onDisk(), store->notes());
}

TEST_F(NoteStoreFaultTest, FullDisk) {
    const QString disk = tmp.filePath("data");
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit unlimited = limit;
    const QByteArray big(256 * 1024, 'x');
    QString filler;
    if (mountTmpfs(disk, "size=1m,mode=0755")) {
        seedPrevious();
        filler = disk + "/filler"; // every last page of a small disk
        QFile f(filler);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        while (f.write(big) > 0 && f.flush()) {
        }
        std::cout << "[ disk     ] a 1 MB tmpfs, filled\n";
    } else {
        seedPrevious(); // without mounts, a file-size limit stops the write the same way
        std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = 64 * 1024;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        std::cout << "[ disk     ] no mounts allowed: a 64 KB file-size limit\n";
    }
    const QByteArray previous = readAll(file());
    start();
    type(QString::fromLatin1(big));
    EXPECT_EQ(typed().size(), big.size());
    clock.advance(NoteStore::kRetryDelay); // still full
    EXPECT_EQ(readAll(file()), previous);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList{"notes.json"});
    if (filler.isEmpty())
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    else
        ASSERT_TRUE(QFile::remove(filler));
    expectWrittenByTheNextRetry();
    if (!filler.isEmpty())
        ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH);
}

TEST_F(NoteStoreFaultTest, ALinkToAnotherUsersFileIsNeverWrittenThrough) {
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
    ASSERT_TRUE(QFile::remove(file()));
    expectWrittenByTheNextRetry();
    EXPECT_EQ(readAll(theirs), before);
}

// Big is not broken; broken or hostile files are set aside byte for byte.
TEST_F(NoteStoreFaultTest, AHundredMegabyteNoteIsKeptAndBrokenFilesAreSetAsideWhole) {
    const QByteArray big(100 * 1024 * 1024, 'x');
    ASSERT_FALSE(PersistenceManager(folder()).save({Note{QUuid::createUuid(), big, 1}}));
    start();
    EXPECT_EQ(typed().size(), big.size());
    type(big + "!");
    EXPECT_EQ(onDisk(), store->notes());
    EXPECT_TRUE(setAside().isEmpty());
    const auto digest = [](const QByteArray& bytes) {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    };
    for (const QByteArray& broken :
         {R"([{"id":"5F1D3C9A-0B7E-4C2D-9A8B-1E2F3A4B5C6D","createdAt":1,"content":")" + big +
              "\"}", // cut short
          QByteArray(100'000, '[') + QByteArray(100'000, ']')}) {
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        writeAll(file(), broken);
        start();
        EXPECT_EQ(store->notes().size(), 1);
        EXPECT_EQ(typed(), "");
        type("a fresh start");
        ASSERT_EQ(setAside().size(), 1);
        EXPECT_EQ(digest(readAll(folder() + "/" + setAside().front())), digest(broken));
        EXPECT_EQ(onDisk(), store->notes());
    }
}

} // namespace
