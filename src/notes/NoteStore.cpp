#include "notes/NoteStore.h"

#include <QPointer>
#include <QThread>

namespace jotbox {

NoteStore::NoteStore(std::shared_ptr<PersistenceManager> persistence,
                     std::unique_ptr<SingleShotTimer> saveTimer, QObject* parent)
    : QObject(parent), m_persistence(std::move(persistence)),
      m_saveTimer(saveTimer ? std::move(saveTimer) : std::make_unique<QtSingleShotTimer>()),
      m_saveSubject([this] { requestSave(); }) {
    m_notes = m_persistence->load();
    if (m_notes.isEmpty())
        m_notes.append(Note::make());
    m_saveTimer->setCallback([this] { saveNow(); });
}

// Dropping a pending save here matches the event loop ending the timer; the
// application flushes before it lets the store go.
NoteStore::~NoteStore() {
    m_saveTimer->stop();
}

template <typename Change> void NoteStore::change(Change&& apply) {
    emit objectWillChange();
    apply();
    emit objectDidChange();
}

bool NoteStore::isActiveInRange() const {
    return m_activeTabIndex >= 0 && m_activeTabIndex < m_notes.size();
}

void NoteStore::addTab() {
    change([this] { m_notes.append(Note::make()); });
    change([this] { m_activeTabIndex = m_notes.size() - 1; });
    requestSave();
}

void NoteStore::selectTab(qint64 index) {
    if (index < 0 || index >= m_notes.size())
        return;
    change([&] { m_activeTabIndex = index; });
}

void NoteStore::closeTab(qint64 index) {
    if (m_notes.size() < 2 || index < 0 || index >= m_notes.size())
        return;
    change([&] { m_notes.removeAt(index); });
    if (m_activeTabIndex >= m_notes.size())
        change([this] { m_activeTabIndex = m_notes.size() - 1; });
    requestSave();
}

NoteBinding NoteStore::activeNoteBinding() {
    QPointer<NoteStore> store(this);
    return NoteBinding{
        [store]() -> Note {
            Q_ASSERT(!store || QThread::currentThread() == store->thread());
            if (!store || !store->isActiveInRange())
                return Note::make();
            return store->m_notes.at(store->m_activeTabIndex);
        },
        [store](const Note& note) {
            Q_ASSERT(!store || QThread::currentThread() == store->thread());
            if (!store || !store->isActiveInRange())
                return;
            store->change([&] { store->m_notes[store->m_activeTabIndex] = note; });
        },
    };
}

void NoteStore::requestSave() {
    m_saveTimer->start(kSaveDelay);
}

void NoteStore::saveNow() {
    Q_ASSERT(QThread::currentThread() == thread());
    // A failed save keeps the notes in memory and tries again later; a
    // request in between writes the list as it is then, sooner.
    if (m_persistence->save(m_notes))
        m_saveTimer->start(kRetryDelay);
}

void NoteStore::flush() {
    if (!m_saveTimer->isActive())
        return;
    m_saveTimer->stop();
    saveNow();
}

} // namespace jotbox
