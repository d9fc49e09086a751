#include "notes/AtomicFileWriter.h"
#include "notes/ActingAsNobody.h"
#include "notes/FileContents.h"
#include "notes/RecordingFileSystem.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

using namespace jotbox;
using jotbox::testing::ActingAsNobody;
using jotbox::testing::readAll;
using jotbox::testing::RecordingFileSystem;
using jotbox::testing::writeAll;

namespace {

class AtomicFileWriterTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    RecordingFileSystem fs;
    AtomicFileWriter writer{fs};
    QString file() const { return tmp.filePath("notes.json"); }

    QStringList entries(const QString& folder) const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    }
};

TEST_F(AtomicFileWriterTest, EachStepIsOnDiskBeforeTheNextDependsOnIt) {
    writeAll(file(), "old");
    ASSERT_FALSE(writer.write(file(), "new"));
    // The data is flushed before the rename can expose it, and the folder
    // after the rename, or a power cut could bring back the old file or none.
    EXPECT_EQ(fs.calls,
              QStringList({"open folder", "create notes.json.saving-…", "write", "sync file",
                           "close file", "rename notes.json.saving-… notes.json", "sync folder",
                           "close folder"}));
    EXPECT_EQ(readAll(file()), "new");
}

TEST_F(AtomicFileWriterTest, AFailureAtAnyStepKeepsTheOldFileAndLeavesNoTemporary) {
    const struct {
        const char* step;
        int error;
    } faults[] = {{"open folder", ENOENT}, {"create", EACCES}, {"create", ENOSPC},
                  {"write", ENOSPC},       {"write", EFBIG},   {"sync file", EIO},
                  {"close file", EDQUOT},  {"rename", EXDEV}};
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.step);
        writeAll(file(), "old");
        fs.failOn = fault.step;
        fs.failError = fault.error;
        const auto error = writer.write(file(), "new");
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->contains(QString::fromLocal8Bit(strerror(fault.error)))) << *error;
        EXPECT_EQ(readAll(file()), "old");
        EXPECT_EQ(entries(tmp.path()), QStringList{"notes.json"});
    }
}

TEST_F(AtomicFileWriterTest, AnUnflushedFolderIsReportedAsAFailedSave) {
    // The new file is in place, but not surely on disk: the caller must try again.
    fs.failOn = "sync folder";
    EXPECT_TRUE(writer.write(file(), "new"));
    EXPECT_EQ(readAll(file()), "new");
    EXPECT_EQ(entries(tmp.path()), QStringList{"notes.json"});
}

TEST_F(AtomicFileWriterTest, ATakenTemporaryNameIsNotReused) {
    fs.failOn = "create";
    fs.failError = EEXIST;
    EXPECT_FALSE(writer.write(file(), "new"));
    EXPECT_EQ(fs.calls.count("create notes.json.saving-…"), 2);
    EXPECT_EQ(readAll(file()), "new");
}

TEST_F(AtomicFileWriterTest, LeftoversOfAKilledSaveAreRemovedAndNothingElse) {
    const QString prefix = tmp.filePath("notes.json.saving-");
    for (const char* name : {"notes.json", "notes.json.saving-Ab3xY9", "notes.json.saving-000000",
                             "notes.json.saving-short", "notes.json.unreadable-20261206T101500Z",
                             "other.json.saving-Ab3xY9", "notes.json.saving-Ab3xY9.keep"})
        writeAll(tmp.filePath(name), "x");
    writer.removeLeftovers(file());
    EXPECT_EQ(entries(tmp.path()),
              QStringList({"notes.json", "notes.json.saving-Ab3xY9.keep", "notes.json.saving-short",
                           "notes.json.unreadable-20261206T101500Z", "other.json.saving-Ab3xY9"}));
}

class LinkedFileTest : public AtomicFileWriterTest {
protected:
    QTemporaryDir elsewhere;
    void SetUp() override { ::chmod(QFile::encodeName(elsewhere.path()).constData(), 0755); }
    QString target() const { return elsewhere.filePath("real.json"); }
    void link(const QString& to) { ASSERT_TRUE(QFile::link(to, file())); }

    // Root owns every file it makes; hand one to another user.
    static void giveAway(const QString& path) {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), ActingAsNobody::kNobody,
                          ActingAsNobody::kNobody),
                  0);
    }
};

TEST_F(LinkedFileTest, OurTargetIsReplacedAndTheLinkKept) {
    writeAll(target(), "old");
    link(target());
    ASSERT_FALSE(writer.write(file(), "new"));
    EXPECT_TRUE(QFileInfo(file()).isSymLink());
    EXPECT_EQ(readAll(target()), "new");
    EXPECT_EQ(entries(elsewhere.path()), QStringList{"real.json"});
    // A chain of links ends at the same file.
    ASSERT_TRUE(QFile::link(target(), elsewhere.filePath("second")));
    ASSERT_TRUE(QFile::remove(file()));
    link(elsewhere.filePath("second"));
    ASSERT_FALSE(writer.write(file(), "newer"));
    EXPECT_EQ(readAll(target()), "newer");
}

TEST_F(LinkedFileTest, AMissingTargetInOurFolderIsCreated) {
    link(target());
    ASSERT_FALSE(writer.write(file(), "new"));
    EXPECT_EQ(readAll(target()), "new");
}

TEST_F(LinkedFileTest, NoFileIsCreatedInAnotherUsersFolder) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a folder that belongs to another user";
    link(target());
    giveAway(elsewhere.path());
    EXPECT_TRUE(writer.write(file(), "new"));
    EXPECT_FALSE(QFileInfo::exists(target()));
    EXPECT_EQ(entries(elsewhere.path()), QStringList());
}

TEST_F(LinkedFileTest, ALoopOfLinksFailsCleanly) {
    ASSERT_TRUE(QFile::link(file(), elsewhere.filePath("back")));
    link(elsewhere.filePath("back"));
    EXPECT_TRUE(writer.write(file(), "new"));
    EXPECT_TRUE(QFileInfo(file()).isSymLink());
}

} // namespace
