#include "notes/PersistenceManager.h"
#include "notes/ActingAsNobody.h"
#include "notes/FileContents.h"
#include "notes/NotesFile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace jotbox;
using jotbox::testing::ActingAsNobody;
using jotbox::testing::readAll;
using jotbox::testing::writeAll;

namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : m_old(::umask(mask)) {}
    ~ScopedUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

class PersistenceManagerTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString folder() const { return tmp.filePath("deep/er/Jotbox"); }
    QString file() const { return folder() + "/notes.json"; }
    QList<Note> sample() const {
        return {Note{QUuid::createUuid(), "first", 1}, Note{QUuid::createUuid(), "second", 2}};
    }
};

TEST_F(PersistenceManagerTest, DefaultFolderIsJotboxInTheDataFolder) {
    qputenv("XDG_DATA_HOME", tmp.path().toUtf8());
    EXPECT_EQ(PersistenceManager().directoryPath(), tmp.filePath("Jotbox"));
    EXPECT_EQ(PersistenceManager().filePath(), tmp.filePath("Jotbox/notes.json"));
    qunsetenv("XDG_DATA_HOME");
    // A given folder is used as it is, with no sub-folder added.
    EXPECT_EQ(PersistenceManager(tmp.path()).filePath(), tmp.filePath("notes.json"));
}

TEST_F(PersistenceManagerTest, FreshAccountLoadsNothingAndCreatesNothing) {
    PersistenceManager manager(folder());
    EXPECT_TRUE(manager.load().isEmpty());
    EXPECT_TRUE(QDir(tmp.path()).isEmpty());
}

TEST_F(PersistenceManagerTest, SaveCreatesMissingParentsAndRoundTrips) {
    PersistenceManager manager(folder());
    const auto notes = sample();
    EXPECT_FALSE(manager.save(notes));
    EXPECT_EQ(PersistenceManager(folder()).load(), notes);
    // Nothing but the notes file is left behind.
    EXPECT_EQ(QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"notes.json"});
}

TEST_F(PersistenceManagerTest, FolderAndFileArePrivateWhateverTheUmask) {
    for (mode_t mask : {mode_t(0), mode_t(022), mode_t(0777)}) {
        QTemporaryDir dir;
        const QString path = dir.filePath("Jotbox");
        {
            ScopedUmask scoped(mask);
            ASSERT_FALSE(PersistenceManager(path).save(sample())) << mask;
        }
        EXPECT_EQ(modeOf(path), 0700u) << mask;
        EXPECT_EQ(modeOf(path + "/notes.json"), 0600u) << mask;
    }
}

TEST_F(PersistenceManagerTest, ExistingFolderAndLooseFileModesAreTightenedOnlyForTheFile) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    writeAll(file(), *NotesFile::encode(sample()));
    ::chmod(QFile::encodeName(file()).constData(), 0644);
    PersistenceManager manager(folder());
    manager.load();
    EXPECT_FALSE(manager.save(sample()));
    EXPECT_EQ(modeOf(folder()), 0755u); // the user's own folder is left as it is
    EXPECT_EQ(modeOf(file()), 0600u);
}

TEST_F(PersistenceManagerTest, PlainFileWhereTheFolderShouldBe) {
    ASSERT_TRUE(QDir().mkpath(tmp.filePath("deep/er")));
    writeAll(folder(), "I am a file");
    PersistenceManager manager(folder());
    EXPECT_TRUE(manager.load().isEmpty());
    EXPECT_TRUE(manager.save(sample()));
    EXPECT_EQ(readAll(folder()), "I am a file");
}

TEST_F(PersistenceManagerTest, WhatAKilledSaveLeftIsClearedAtStartOrFirstSave) {
    const QString leftover = folder() + "/notes.json.saving-k1lled";
    for (bool loadFirst : {true, false}) {
        ASSERT_TRUE(QDir().mkpath(folder()));
        writeAll(leftover, "half a list");
        PersistenceManager manager(folder());
        if (loadFirst) {
            manager.load();
            EXPECT_FALSE(QFileInfo::exists(leftover));
        }
        EXPECT_FALSE(manager.save(sample()));
        EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList{"notes.json"}) << loadFirst;
    }
}

TEST_F(PersistenceManagerTest, EmptyArrayLoadsAsEmpty) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    writeAll(file(), "[]");
    EXPECT_TRUE(PersistenceManager(folder()).load().isEmpty());
}

TEST_F(PersistenceManagerTest, UnreadableFileIsMovedAsideNeverDestroyed) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QByteArray garbage = R"([{"id":"not a uuid","content":"precious","createdAt":1}])";
    writeAll(file(), garbage);

    PersistenceManager manager(folder());
    EXPECT_TRUE(manager.load().isEmpty());
    EXPECT_EQ(readAll(file()), garbage); // loading touches nothing

    const auto notes = sample();
    EXPECT_FALSE(manager.save(notes));
    const QStringList aside = QDir(folder()).entryList({"notes.json.unreadable-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(folder() + "/" + aside.front()), garbage);
    EXPECT_EQ(PersistenceManager(folder()).load(), notes);

    // Later saves replace the new file as usual; nothing more is set aside.
    EXPECT_FALSE(manager.save({Note::make()}));
    EXPECT_EQ(QDir(folder()).entryList({"notes.json.unreadable-*"}, QDir::Files).size(), 1);
}

TEST_F(PersistenceManagerTest, TwoUnreadableFilesInOneSecondBothSurvive) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    for (const QByteArray& garbage : {QByteArray("one"), QByteArray("two")}) {
        writeAll(file(), garbage);
        PersistenceManager manager(folder());
        manager.load();
        EXPECT_FALSE(manager.save(sample()));
    }
    QStringList contents;
    for (const QString& name : QDir(folder()).entryList({"notes.json.unreadable-*"}, QDir::Files))
        contents << readAll(folder() + "/" + name);
    contents.sort();
    EXPECT_EQ(contents, (QStringList{"one", "two"}));
}

TEST_F(PersistenceManagerTest, UnreadableFileThatCannotBeMovedAsideFailsTheSave) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    writeAll(file(), "{broken");
    const ActingAsNobody nobody(tmp.path());
    PersistenceManager manager(folder());
    manager.load();
    ::chmod(QFile::encodeName(folder()).constData(), 0555);
    EXPECT_TRUE(manager.save(sample()));
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    EXPECT_EQ(readAll(file()), "{broken");
}

} // namespace
