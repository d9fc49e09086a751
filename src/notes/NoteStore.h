#pragma once

#include "notes/Note.h"
#include "notes/NotesFolderWatcher.h"
#include "notes/PersistenceManager.h"
#include "notes/SingleShotTimer.h"

#include <QList>
#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

namespace jotbox {

class NoteStore;

// The two halves of a two-way accessor to the active note. Both hold the
// store weakly: once it is gone, reads give a fresh blank note and writes
// are dropped.
struct NoteBinding {
    std::function<Note()> get;
    std::function<void(const Note&)> set;
};

// The channel of save requests; every send restarts the quiet period.
class SaveSubject {
public:
    explicit SaveSubject(std::function<void()> onSend) : m_onSend(std::move(onSend)) {}
    void send() { m_onSend(); }

private:
    std::function<void()> m_onSend;
};

// The one live model: the notes in tab order, the active tab, and the
// debounced saving of the whole list. Lives on the UI thread.
class NoteStore : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kSaveDelay{500};
    // After a failed save (a full disk, a folder made read-only), the list is
    // written again this long after, and again, until it is on disk: the
    // fault may go away while nobody types.
    static constexpr std::chrono::milliseconds kRetryDelay{10'000};
    // A change another program made to the folder is looked at once it has
    // been quiet this long. A file it left missing or half-written is looked
    // at again after twice that, and so on, this many times, before it is
    // taken as it is.
    static constexpr std::chrono::milliseconds kLookDelay{500};
    static constexpr int kLookAgain = 6;

    explicit NoteStore(std::shared_ptr<PersistenceManager> persistence,
                       std::unique_ptr<SingleShotTimer> saveTimer = nullptr,
                       QObject* parent = nullptr);
    ~NoteStore() override;

    const QList<Note>& notes() const { return m_notes; }
    qint64 activeTabIndex() const { return m_activeTabIndex; }
    const std::shared_ptr<PersistenceManager>& persistence() const { return m_persistence; }

    void addTab();
    void selectTab(qint64 index);
    void closeTab(qint64 index);

    NoteBinding activeNoteBinding();
    SaveSubject& saveSubject() { return m_saveSubject; }

    // Writes a pending or failed save now; does nothing when the notes on
    // disk are already up to date.
    void flush();
    bool hasPendingSave() const { return m_saveTimer->isActive(); }

    // From now on notices what other programs (a sync engine) do to the
    // notes file and merges it with the notes here.
    void watchFolder(std::unique_ptr<SingleShotTimer> lookTimer = nullptr);
    // Looks at the file now, merging what changed and conflict copies; false
    // while a changed file is missing or half-written (it is looked at again).
    bool look();

signals:
    // Emitted just before each change of `notes` or `activeTabIndex`.
    void objectWillChange();
    // Emitted just after it, so views can re-read the new state at once.
    void objectDidChange();

private:
    bool isActiveInRange() const;
    void requestSave();
    void saveNow();
    bool writeNow();
    void adopt(const QList<Note>& theirs);
    void mergeConflictCopies();
    void replaceNotes(const QList<Note>& notes);
    template <typename Change> void change(Change&& apply);

    QList<Note> m_notes;
    QList<Note> m_base; // the list last read from or written to the file
    std::unique_ptr<NotesFolderWatcher> m_watcher;
    std::unique_ptr<SingleShotTimer> m_lookTimer;
    int m_lookedAgain = 0; // looks at a file left missing or half-written
    qint64 m_activeTabIndex = 0;
    std::shared_ptr<PersistenceManager> m_persistence;
    std::unique_ptr<SingleShotTimer> m_saveTimer;
    SaveSubject m_saveSubject;
};

} // namespace jotbox
