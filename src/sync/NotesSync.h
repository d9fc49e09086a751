#pragma once

#include "notes/NotesFolderWatcher.h"
#include "notes/PersistenceManager.h"
#include "notes/SingleShotTimer.h"
#include "sync/AncestorTexts.h"
#include "sync/NotesLedger.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

namespace jotbox {

// Makes the timers the notes run on: Qt's in the program, a clock the test
// moves in tests.
using TimerFactory = std::function<std::unique_ptr<SingleShotTimer>()>;

// What the sync needs of the notes' owner, the store.
class NotesOwner {
public:
    virtual const QList<Note>& notes() const = 0;
    // A merged list: the active tab stays on its note.
    virtual void replaceNotes(const QList<Note>& notes) = 0;
    // A write the owner did not ask for failed: it writes again later.
    virtual void retryLater() = 0;

protected:
    ~NotesOwner() = default;
};

// Keeps the store's notes and "notes.json" in step when other programs (a
// sync engine) change the file too: every save first merges what arrived,
// and never lands over a version it has not seen; what arrives while
// nobody types is merged once it has been quiet for a moment, and written
// back when the merge changed it; sync engines' conflict copies are merged
// the same way and removed once their notes are on disk.
class NotesSync : public QObject {
    Q_OBJECT
public:
    // A change to the folder is looked at once it has been quiet this long.
    // A file left missing or half-written is looked at again after twice
    // that, and so on, this many times, before it is taken as it is.
    static constexpr std::chrono::milliseconds kLookDelay{500};
    static constexpr int kLookAgain = 6;
    // How long an engine's conflict copies wait for the machine that saved
    // them (a running one settles them within seconds), and the longest a
    // machine that removed its bisync copy holds its notes out of the file.
    static constexpr std::chrono::minutes kBisyncWait{1};

    enum class Saved { yes, later, failed };

    NotesSync(NotesOwner& owner, PersistenceManager& persistence, TimerFactory makeTimer);
    ~NotesSync() override;

    // The notes on disk, at start.
    QList<Note> load();
    // Writes the store's notes, merging what arrived first. `later` while
    // the file is missing or half-written, unless `final`: then it is taken
    // as it is (an unreadable one set aside first). While this machine holds
    // its notes in its own copy (see holdInCopy), they go there, at a quit too.
    Saved save(bool final = false);
    // Takes what changed in the store's notes as versions and closes now.
    void record();
    // From now on notices what other programs do to the folder.
    void watch();
    // Merges what changed on disk; false while a changed file is missing or
    // half-written (it is looked at again), or while the notes are held.
    bool look();
    // Whether the file went missing or unreadable and is being waited for:
    // the notes here are not on disk meanwhile.
    bool waiting() const { return m_lookedAgain > 0; }

private:
    Saved settle(bool save, bool final);
    enum class Merged { nothing, something, waiting };
    Merged mergeDisk();
    void adopt(const NotesDocument& theirs, bool isTheFile, bool overOurs = false);
    bool oursLost(const QStringList& copies) const;
    PersistenceManager::Written write();
    void countVersion();
    void keepUnsaved();
    QStringList mergeConflictCopies(const QStringList& present, bool writer);
    enum class Bisync { none, oursToWrite, theirsToWrite };
    Bisync bisyncConflict(QStringList copies);
    SingleShotTimer& bisyncTimer();
    void holdInCopy();
    bool isOthersToWrite(const QString& path, const NotesDocument& copy) const;
    SingleShotTimer& othersTimer();
    static bool isBisyncCopy(const QString& path);
    static QString bisyncSibling(const QString& path); // ..path1 for ..path2, and back
    // The notes as this machine writes them.
    NotesDocument ours() const;

    NotesOwner& m_owner;
    PersistenceManager& m_persistence;
    AncestorTexts m_texts;
    NotesLedger m_ledger{m_texts};
    TimerFactory m_makeTimer;
    std::unique_ptr<NotesFolderWatcher> m_watcher;
    std::unique_ptr<SingleShotTimer> m_lookTimer;
    int m_lookedAgain = 0; // looks at a file left missing or half-written
    bool m_fresh = false;  // nothing read or written yet
    int m_versions = 0;
    QString m_copy;                                 // of the notes while the file is away
    std::unique_ptr<SingleShotTimer> m_othersTimer; // for another machine's conflict copy
    bool m_othersOver = false;                      // ...waited for long enough
    std::unique_ptr<SingleShotTimer> m_bisyncTimer;
    bool m_bisyncOver = false;         // bisync's copies waited for long enough
    bool m_holding = false;            // the notes go into m_copy, not the file (see holdInCopy)
    QSet<QString> m_bisyncKept;        // bisync's copies: their machines remove them
    QStringList m_bisyncOwn;           // ...and of those, this machine's
    QHash<QString, bool> m_bisyncHere; // bisync's copies: whether from this machine's side
    QSet<QString> m_bisyncTheirs;      // ...found another's, while they last
    QStringList m_merged;              // copies merged by this look, to go once written
};

} // namespace jotbox
