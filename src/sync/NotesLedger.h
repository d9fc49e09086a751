#pragma once

#include "notes/NotesFile.h"
#include "sync/AncestorTexts.h"
#include "sync/NotesMerge.h"

#include <QHash>
#include <QList>

namespace jotbox {

// What this machine knows of each note's ancestry and of closed notes, kept
// in step with the notes in memory: an edit here becomes a version of this
// installation, a note that went is remembered as closed, and the texts
// notes go through are kept as ancestors for later merges. Also remembers
// what the file held when last read or written.
class NotesLedger {
public:
    explicit NotesLedger(AncestorTexts& texts) : m_texts(texts) {}

    // Starts over from the file's content.
    void reset(NotesDocument document);
    // Turns what changed in `notes` since the last call into versions and
    // closes; cheap when nothing did.
    void record(const QList<Note>& notes);
    // The file's content for `notes`, as recorded.
    NotesDocument document(const QList<Note>& notes) const;
    // The file now holds this.
    void written(const NotesDocument& document);
    // Whether the file, as last read or written, holds these very notes and
    // closes, whatever ancestry it keeps (none, if an earlier Jotbox wrote it).
    bool matchesDisk(const NotesDocument& document) const;
    // Merges another version of the file (the file itself, or a sync
    // engine's copy of it) into `notes`, recorded first, and takes the
    // result as its own. Its notes without ancestry descend from the file as
    // last read or written here when `overOurs`; otherwise (a conflict copy,
    // a file that replaced ours in a conflict) only those whose text is
    // that file's, for their writer may never have seen it.
    NotesDocument merge(const QList<Note>& notes, NotesDocument theirs, bool isTheFile,
                        bool overOurs = true);
    // Forgets ancestor texts no note's history names any more.
    void pruneTexts();

private:
    void take(const NotesDocument& document);
    void keepTexts(const QHash<QUuid, KnownVersion>& versions);
    static QHash<QUuid, KnownVersion> versionsOf(const NotesDocument& document);

    AncestorTexts& m_texts;
    QHash<QUuid, KnownVersion> m_entries; // the notes in memory, as recorded
    QList<ClosedNote> m_closed;
    // The ancestry each note closed here had, so that one brought back goes
    // on from it: a merge then knows the text both sides last agreed on.
    QHash<QUuid, NoteAncestry> m_closedAncestry;
    QHash<QUuid, KnownVersion> m_onDisk; // the file, when last read or written
    QList<QUuid> m_diskOrder;
    QList<Note> m_diskNotes;
    QList<ClosedNote> m_diskClosed;
};

} // namespace jotbox
