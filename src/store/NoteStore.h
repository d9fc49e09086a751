#pragma once

#include "notes/Note.h"
#include "notes/PersistenceManager.h"
#include "notes/SingleShotTimer.h"
#include "sync/NotesSync.h"

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
class NoteStore : public QObject, private NotesOwner {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kSaveDelay{500};
    // Typing that never pauses is still saved this long after its first
    // unsaved key, so a crash loses at most this much of it.
    static constexpr std::chrono::milliseconds kMaxSaveDelay{2000};
    // After a failed save (a full disk, a folder made read-only), the list is
    // written again this long after, and again, until it is on disk: the
    // fault may go away while nobody types.
    static constexpr std::chrono::milliseconds kRetryDelay{10'000};

    explicit NoteStore(std::shared_ptr<PersistenceManager> persistence,
                       TimerFactory makeTimer = nullptr, QObject* parent = nullptr);
    ~NoteStore() override;

    const QList<Note>& notes() const override { return m_notes; }
    qint64 activeTabIndex() const { return m_activeTabIndex; }
    const std::shared_ptr<PersistenceManager>& persistence() const { return m_persistence; }

    // How many closed notes of this run can be brought back.
    static constexpr qsizetype kReopenable = 20;

    void addTab();
    // Adds a note holding `text` at the end of the tabs; the active tab stays.
    void addNote(const QString& text);
    // Adds `text` as a line of its own at the end of the note at `index`
    // (straight after it when the note is empty or already ends a line).
    void appendLine(qint64 index, const QString& text);
    void selectTab(qint64 index);
    void closeTab(qint64 index);
    // Brings back the note closed last in this run (and still closed), with
    // its id, text and time, at its old place (or the end), and makes it
    // active; again and again, back to kReopenable of them.
    void reopenClosedTab();

    NoteBinding activeNoteBinding();
    SaveSubject& saveSubject() { return m_saveSubject; }

    // Writes a pending or failed save now, or the notes whose file went
    // missing or unreadable meanwhile (that one set aside); does nothing
    // when the notes on disk are already up to date. True once they are.
    bool flush();
    bool hasPendingSave() const { return m_saveTimer->isActive(); }

    // From now on notices what other programs (a sync engine) do to the
    // notes file and merges it with the notes here.
    void watchFolder();
    // Looks at the file now, merging what changed and conflict copies; false
    // while a changed file is missing or half-written (it is looked at again),
    // or while the notes are held in this machine's copy (after bisync's).
    bool look();

    // Takes a merged list: the active tab stays on its note, or, when that
    // went, on its place.
    void replaceNotes(const QList<Note>& notes) override;

signals:
    // Emitted just before each change of `notes` or `activeTabIndex`.
    void objectWillChange();
    // Emitted just after it, so views can re-read the new state at once.
    void objectDidChange();

private:
    bool isActiveInRange() const;
    void requestSave();
    void saveNow();
    void retryLater() override;
    template <typename Change> void change(Change&& apply);

    QList<Note> m_notes;
    qint64 m_activeTabIndex = 0;
    QList<std::pair<Note, qint64>> m_closed; // with the place it had, the latest last
    std::shared_ptr<PersistenceManager> m_persistence;
    // Restarted by every request; the deadline is not, so steady typing is
    // saved too.
    std::unique_ptr<SingleShotTimer> m_saveTimer, m_deadline;
    std::unique_ptr<NotesSync> m_sync;
    SaveSubject m_saveSubject;
};

} // namespace jotbox
