// The store and the real file system under faults: whatever happens to the
// disk or the file, the program keeps running, keeps the notes in memory,
// never destroys the previous file, and writes the notes once the fault is gone.
#include "notes/ActingAsNobody.h"
#include "notes/FileContents.h"
#include "notes/ManualClock.h"
#include "notes/NoteStore.h"
#include "notes/NoteTexts.h"
#include "notes/NotesFile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace jotbox;
using jotbox::testing::ActingAsNobody;
using jotbox::testing::ManualClock;
using jotbox::testing::readAll;
using jotbox::testing::typeInto;
using jotbox::testing::writeAll;

namespace {

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
        typeInto(*store, text);
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

} // namespace
