#pragma once

#include "notes/NotesFile.h"
#include "sync/AncestorTexts.h"

#include <QList>

namespace jotbox {

// Merges two versions of the notes file, `mine` and `theirs`, note by note,
// by what each note's text descends from. The result is the same on every
// machine that merges the same two versions, whichever it calls its own
// (except for the order of notes reordered by hand on both sides):
// - a text that has seen the other's (its versions cover the other's, and
//   its history holds the other's text) is taken as it is;
// - texts both sides changed since they last agreed are merged word by
//   word against the text they started from (kept in `texts`); where the
//   changes overlap, or that text is unknown, one text stays in the note
//   and the other goes into a conflict note right after it;
// - a note on one side only stays, unless either side closed a version of it
//   that has seen this one;
// - the order is that of the side that reordered against `lastSeen` (the
//   order of the file as last seen), else mine; notes of one side only
//   follow the note they follow there;
// - when every note is closed, one blank note stands in for them, the same
//   on every machine, and goes as soon as another note is there.
// Both documents must hold an ancestry entry per note whose history ends in
// its text's hash (see recordOutsideEdits).
NotesDocument mergeDocuments(const NotesDocument& mine, const NotesDocument& theirs,
                             const AncestorTexts& texts, const QList<QUuid>& lastSeen = {});

// A note's ancestry and the text it describes, as one machine knows them.
struct KnownVersion {
    NoteAncestry ancestry;
    QString text;
};

// Gives every note whose text is not the one its ancestry describes (changed
// by a program that keeps none, or written by an earlier Jotbox, which drops
// the ancestry) a version of its own, counted alike on every machine (see
// kOutsideEdits). Where the ancestry was dropped, the note descends from the
// version `lastOnDisk` holds (what this machine last saw of it in the file).
// A note this machine closed (`closedHere`, its ancestry then) descends
// from that. Texts found in `lastOnDisk` or `current` under the same hash
// are not hashed again.
void recordOutsideEdits(NotesDocument& document, const QHash<QUuid, KnownVersion>& lastOnDisk = {},
                        const QHash<QUuid, KnownVersion>& current = {},
                        const QHash<QUuid, NoteAncestry>& closedHere = {});

// Closed notes, each id once, within what is kept: 90 days back from the
// latest close, and the latest 1,000; oldest first.
QList<ClosedNote> boundClosed(QList<ClosedNote> closed);

} // namespace jotbox
