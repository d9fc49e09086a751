#pragma once

#include "notes/Note.h"

#include <QList>

namespace jotbox {

// Three-way merge of note lists by note id, for a notes file that another
// machine changed: `base` is the list both started from, `mine` the notes in
// memory, `theirs` the file now. No text of either side is lost:
// - a note changed on one side only takes that side's text, the same change
//   on both is one change;
// - different changes on both sides keep mine, with theirs in a new note
//   right after it (its id derived from the note's id and theirs' text, so
//   two machines merging the same pair make the same note);
// - a note deleted on one side is kept if the other side edited it, and
//   goes if the other side left it as it was; new notes of either side stay;
// - the order is that of the side that reordered (mine if both did), notes
//   of one side only following their nearest preceding neighbour from it.
// A note's createdAt never changes.
QList<Note> mergeNotes(const QList<Note>& base, const QList<Note>& mine, const QList<Note>& theirs);

// The note that keeps `theirs`' text beside a note both sides changed.
Note conflictNote(const Note& theirs);

} // namespace jotbox
