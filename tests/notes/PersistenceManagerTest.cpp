#include "notes/PersistenceManager.h"
#include "notes/FileContents.h"
#include "notes/NoteTexts.h"
#include "notes/NotesFile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace jotbox;
using namespace jotbox::testing;

namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class PersistenceManagerTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString folder() const { return tmp.filePath("deep/er/Jotbox"); }
    QString file() const { return folder() + "/notes.json"; }
    const QList<Note> sample = notesWith({"first", "second"});
    QStringList entries(const QString& pattern = "*") const {
        return QDir(folder()).entryList({pattern},
                                        QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

// Where the file lives, $XDG_DATA_HOME/Jotbox, is what every end-to-end run reads.
TEST_F(PersistenceManagerTest, SaveMakesThePrivateFolderAndFileAndLoadReadsThemBack) {
    PersistenceManager manager(folder());
    EXPECT_TRUE(manager.load().isEmpty() && QDir(tmp.path()).isEmpty()); // loading creates nothing
    for (mode_t mask : {mode_t(0), mode_t(022), mode_t(0777)}) {
        QDir(tmp.filePath("deep")).removeRecursively();
        const mode_t old = ::umask(mask);
        EXPECT_FALSE(manager.save(sample)) << mask;
        ::umask(old);
        EXPECT_EQ(std::pair(modeOf(folder()), modeOf(file())), std::pair(0700u, 0600u)) << mask;
        EXPECT_EQ(PersistenceManager(folder()).load(), sample);
        EXPECT_EQ(entries(), QStringList{"notes.json"}); // nothing else left behind
    }
    // The user's own folder keeps its mode; a loose file is made private.
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    ::chmod(QFile::encodeName(file()).constData(), 0644);
    EXPECT_FALSE(manager.save(sample));
    EXPECT_EQ(std::pair(modeOf(folder()), modeOf(file())), std::pair(0755u, 0600u));
}

TEST_F(PersistenceManagerTest, AnUnreadableFileIsMovedAsideBeforeTheFirstSaveNeverDestroyed) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    // Two in the same second both survive.
    for (const QByteArray& garbage :
         {QByteArray(R"([{"id":"not a uuid","content":"precious","createdAt":1}])"),
          QByteArray("two")}) {
        writeAll(file(), garbage);
        PersistenceManager manager(folder());
        EXPECT_TRUE(manager.load().isEmpty());
        EXPECT_EQ(readAll(file()), garbage); // loading touches nothing
        EXPECT_FALSE(manager.save(sample));
        EXPECT_EQ(PersistenceManager(folder()).load(), sample);
        EXPECT_FALSE(manager.save({Note::make()})); // later saves set nothing more aside
    }
    QStringList kept;
    for (const QString& name : entries("notes.json.unreadable-*"))
        kept << readAll(folder() + "/" + name);
    EXPECT_EQ(kept.size(), 2);
    EXPECT_TRUE(kept.contains("two") &&
                kept.contains(R"([{"id":"not a uuid","content":"precious","createdAt":1}])"));
}

} // namespace
