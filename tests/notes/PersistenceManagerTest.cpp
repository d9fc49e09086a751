#include "notes/PersistenceManager.h"
#include "notes/FileContents.h"
#include "notes/NoteTexts.h"
#include "notes/NotesFile.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <csignal>
#include <iostream>
#include <random>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
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
        EXPECT_EQ(entriesOf(folder()), QStringList{"notes.json"}); // nothing else left behind
    }
    // The user's own folder keeps its mode; a loose file is made private at the next change.
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    ::chmod(QFile::encodeName(file()).constData(), 0644);
    EXPECT_FALSE(manager.save(notesWith({"changed"})));
    EXPECT_EQ(std::pair(modeOf(folder()), modeOf(file())), std::pair(0755u, 0600u));
}

// A save killed at any moment leaves "notes.json" holding a whole list, and
// what the killed save was writing is cleared away by the next start.
// Save number `k`: lists differ in length and size, up to about 1.5 MB, so
// that a save takes long enough for kills to land in every part of it.
QList<Note> listFor(qint64 k) {
    QList<Note> notes;
    for (int i = 0; i < 1 + int(k % 5); ++i)
        notes.append(Note{
            QUuid(uint(k), ushort(i), ushort(0x4000), uchar(0x80), 0, 0, 0, 0, 0, 0, 0),
            QString("save %1, note %2: ").arg(k).arg(i) +
                QString((k * 7919 + i * 104729) % 300'000, QChar(char16_t(u'a' + (k + i) % 26))),
            double(k)});
    return notes;
}

TEST(PersistenceManagerCrash, KilledSavesNeverLeaveAPartialFileOrPileUpTemporaries) {
    QTemporaryDir tmp;
    const QString folder = tmp.filePath("Jotbox");
    const auto temporaries = [&] { return QDir(folder).entryList({"notes.json.saving-*"}); };
    PersistenceManager seed(folder);
    QElapsedTimer clock; // how long a save of such lists takes here, to spread the kills over one
    clock.start();
    for (qint64 k = 40; k >= 0; k -= 10) // the last one holds what the run starts from
        ASSERT_FALSE(seed.save(listFor(k)));
    std::uniform_int_distribution<qint64> at(0, clock.nsecsElapsed() / 5 * 13 / 10);
    std::mt19937_64 random(20261206);
    qint64 done = 0; // the newest list known to be whole on disk
    int midWrite = 0;
    constexpr int kKills = 60; // the writer's step order is AtomicFileWriterTest's
    for (int kill = 0; kill < kKills; ++kill) {
        int reports[2];
        ASSERT_EQ(::pipe(reports), 0);
        const pid_t child = ::fork();
        if (child == 0) { // saves the next lists one after another, reporting each done
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            PersistenceManager manager(folder);
            manager.load(); // as Jotbox does at start
            for (qint64 k = done + 1;; ++k)
                if (!manager.save(listFor(k)))
                    (void)!::write(reports[1], &k, sizeof k);
        }
        ::close(reports[1]);
        // Let 0 to 2 saves finish, then kill at a random point of the next.
        for (int finish = int(random() % 3); finish > 0; --finish)
            ASSERT_EQ(::read(reports[0], &done, sizeof done), ssize_t(sizeof done));
        std::this_thread::sleep_for(std::chrono::nanoseconds(at(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        for (qint64 k = 0; ::read(reports[0], &k, sizeof k) == sizeof k;)
            done = k;
        ::close(reports[0]);
        const auto onDisk = NotesFile::decode(readAll(folder + "/notes.json"));
        ASSERT_TRUE(onDisk) << "kill " << kill << ": the file is not a whole list";
        // The save it was killed in counts once its rename is done.
        if (*onDisk == listFor(done + 1))
            ++done;
        else
            ASSERT_EQ(*onDisk, listFor(done)) << "kill " << kill;
        ASSERT_LE(temporaries().size(), 1) << "kill " << kill << ": temporary files pile up";
        midWrite += !temporaries().isEmpty();
    }
    EXPECT_EQ(PersistenceManager(folder).load(), listFor(done)); // a restart clears them
    EXPECT_TRUE(temporaries().isEmpty());
    std::cout << "[ kills    ] " << kKills << " survived, " << midWrite
              << " of them while writing\n";
    EXPECT_GT(midWrite, 0); // kills that left a temporary file hit the write itself
}

} // namespace
