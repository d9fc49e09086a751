#pragma once

#include "sync/AncestorTexts.h"
#include "notes/Note.h"
#include "notes/NoteAncestry.h"

#include <optional>

namespace jotbox {

// One side's version of a note.
struct SideVersion {
    Note note;
    NoteAncestry ancestry;
    NoteAncestry::Id head() const { return *ancestry.head(); }
};

// Two sides' versions of one note, merged.
struct MergedVersion {
    SideVersion version;
    std::optional<SideVersion> conflict; // the other text, in a note of its own
};

// The rules for one note whose two sides both have it (see mergeDocuments).
MergedVersion mergeVersions(const SideVersion& mine, const SideVersion& theirs,
                            const AncestorTexts& texts);

// A conflict note's id: from its note's and a version of the text set aside.
QUuid conflictId(const QUuid& note, const NoteAncestry::Id& version);

} // namespace jotbox
