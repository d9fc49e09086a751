#include "notes/AtomicFileWriter.h"
#include "notes/ActingAsNobody.h"
#include "notes/FileContents.h"
#include "notes/RecordingFileSystem.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

using namespace jotbox;
using jotbox::testing::entriesOf;
using jotbox::testing::readAll;
using jotbox::testing::RecordingFileSystem;
using jotbox::testing::writeAll;

namespace {

class AtomicFileWriterTest : public ::testing::Test {
protected:
    QTemporaryDir tmp, elsewhere;
    RecordingFileSystem fs;
    AtomicFileWriter writer{fs};
    QString file() const { return tmp.filePath("notes.json"); }
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
    // A taken temporary name is not reused.
    std::tie(fs.failOn, fs.failError) = std::pair("create", EEXIST);
    EXPECT_FALSE(writer.write(file(), "newer"));
    EXPECT_EQ(fs.calls.count("create notes.json.saving-…"), 3);
}

TEST_F(AtomicFileWriterTest, AFailureAtAnyStepKeepsTheOldFileAndLeavesNoTemporary) {
    const struct {
        const char* step;
        int error;
    } faults[] = {{"open folder", ENOENT}, {"create", EACCES}, {"create", ENOSPC},
                  {"write", ENOSPC},       {"write", EFBIG},   {"sync file", EIO},
                  {"close file", EDQUOT},  {"rename", EXDEV},  {"sync folder", EIO}};
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.step);
        writeAll(file(), "old");
        std::tie(fs.failOn, fs.failError) = std::pair(fault.step, fault.error);
        const auto error = writer.write(file(), "new");
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->contains(QString::fromLocal8Bit(strerror(fault.error)))) << *error;
        // An unflushed folder fails the save though the new file is in place:
        // it is not surely on disk, and the caller must try again.
        EXPECT_EQ(readAll(file()), fault.step == std::string("sync folder") ? "new" : "old");
        EXPECT_EQ(entriesOf(tmp.path()), QStringList{"notes.json"});
    }
}

// In a shared folder a fresh temporary file may be another machine's save
// in progress: only this machine's of a process that is gone, and old ones, go.
TEST_F(AtomicFileWriterTest, LeftoversOfAKilledSaveAreRemovedAndNothingElse) {
    const QByteArray machine = AtomicFileWriter::ownerTag().split('-').front();
    const QString me = QString::number(::getpid());
    const struct {
        QString name;
        bool old, removed;
    } files[] = {
        {"notes.json.saving-" + machine + "-999999999-Ab3xY9", false, true},
        {"notes.json.saving-" + machine + "-" + me + "-Ab3xY9", false, false},
        {"notes.json.saving-0ther000-12-Ab3xY9", false, false},
        {"notes.json.saving-Ab3xY9", true, true},
        {"notes.json.saving-Ab3xY9.keep", false, false},
        {"notes.json.saving-short", true, false},
        {"notes.json.unreadable-20261206T101500Z", true, false},
        {"other.json.saving-Ab3xY9", true, false},
    };
    QStringList kept{"notes.json"};
    writeAll(file(), "x");
    for (const auto& f : files) {
        QFile made(tmp.filePath(f.name));
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
        made.setFileTime(QDateTime::currentDateTime().addSecs(f.old ? -7200 : -60),
                         QFileDevice::FileModificationTime);
        if (!f.removed)
            kept << f.name;
    }
    writer.removeLeftovers(file());
    kept.sort();
    EXPECT_EQ(entriesOf(tmp.path()), kept);
}

TEST_F(AtomicFileWriterTest, ALinkKeepsItsPlaceAndOnlyOurTargetIsReplaced) {
    const QString target = elsewhere.filePath("real.json");
    ::chmod(QFile::encodeName(elsewhere.path()).constData(), 0755);
    ASSERT_TRUE(QFile::link(target, file()));
    ASSERT_FALSE(writer.write(file(), "new")); // a missing target in our folder is made
    EXPECT_EQ(readAll(target), "new");
    // A chain of links ends at the same file, which is replaced; the links stay.
    ASSERT_TRUE(QFile::link(target, elsewhere.filePath("second")));
    ASSERT_TRUE(QFile::remove(file()) && QFile::link(elsewhere.filePath("second"), file()));
    ASSERT_FALSE(writer.write(file(), "newer"));
    EXPECT_TRUE(QFileInfo(file()).isSymLink());
    EXPECT_EQ(readAll(target), "newer");
    EXPECT_EQ(entriesOf(elsewhere.path()), (QStringList{"real.json", "second"}));
    // A loop of links fails cleanly.
    ASSERT_TRUE(QFile::remove(elsewhere.filePath("second")) &&
                QFile::link(file(), elsewhere.filePath("second")));
    EXPECT_TRUE(writer.write(file(), "loop"));
    EXPECT_TRUE(QFileInfo(file()).isSymLink());
    // Nothing is made in another user's folder.
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a folder that belongs to another user";
    const auto giveAway = [](const QString& path) {
        const uid_t nobody = jotbox::testing::ActingAsNobody::kNobody;
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), nobody, nobody), 0);
    };
    ASSERT_TRUE(QFile::remove(file()) && QFile::remove(target) && QFile::link(target, file()));
    giveAway(elsewhere.path());
    EXPECT_TRUE(writer.write(file(), "new"));
    EXPECT_FALSE(QFileInfo::exists(target));
    // Nor is another user's file written through a link to it.
    writeAll(target, "theirs");
    giveAway(target);
    EXPECT_TRUE(writer.write(file(), "new"));
    EXPECT_EQ(readAll(target), "theirs");
}

} // namespace
