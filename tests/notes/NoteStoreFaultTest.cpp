// The store and the real file system under faults: whatever happens to the
// disk or the file, the program keeps running, keeps the notes in memory,
// never destroys the previous file, and writes the notes once the fault is
// gone, by its retries or at quit.
#include "notes/ActingAsNobody.h"
#include "notes/FileContents.h"
#include "notes/ManualClock.h"
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

using namespace jotbox;
using namespace jotbox::testing;

namespace {

TEST(NoteStoreFault, ThePreviousFileStaysUntilTheFaultIsGoneThenTheNotesAreWritten) {
    QTemporaryDir tmp;
    ManualClock clock;
    ::chmod(QFile::encodeName(tmp.path()).constData(), 0755);
    const QString folder = tmp.filePath("data/Jotbox"), file = folder + "/notes.json";
    std::unique_ptr<NoteStore> store;
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
        store = std::make_unique<NoteStore>(std::make_shared<PersistenceManager>(folder),
                                            clock.makeTimer());
        fault.during();
        type(QString("during ") + fault.what);
        EXPECT_EQ(store->notes().front().content, QString("during ") + fault.what);
        EXPECT_EQ(previous(), before);
        EXPECT_TRUE(QDir(folder).entryList({"notes.json.unreadable-*"}).isEmpty());
        clock.advance(NoteStore::kRetryDelay); // the fault is still there
        fault.mend();
        // Written at quit, or by the next retry; either way the last.
        (&fault - faults) % 2 ? store->flush() : clock.advance(NoteStore::kRetryDelay);
        EXPECT_EQ(onDisk(), store->notes());
        EXPECT_FALSE(store->hasPendingSave());
        EXPECT_EQ(QDir(folder).entryList({"notes.json.unreadable-*"}).size(),
                  before == "{broken" ? 1 : 0);
    }
    // A folder removed while running is made again at once.
    ASSERT_TRUE(QDir(tmp.filePath("data")).removeRecursively());
    type("after the folder went");
    EXPECT_EQ(onDisk(), store->notes());
}

} // namespace
