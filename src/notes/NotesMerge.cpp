#include "notes/NotesMerge.h"

#include "notes/TextEquivalence.h"

#include <QHash>

#include <algorithm>
#include <optional>

namespace jotbox {

namespace {

using Index = QHash<QUuid, qsizetype>;

Index indexOf(const QList<Note>& notes) {
    Index index;
    for (qsizetype i = 0; i < notes.size(); ++i)
        index.insert(notes[i].id, i); // a hand-made file's duplicate ids: the last one
    return index;
}

const Note* find(const QList<Note>& notes, const Index& index, const QUuid& id) {
    const auto it = index.find(id);
    return it == index.end() ? nullptr : &notes[*it];
}

bool sameText(const Note* a, const Note* b) {
    return a && b && canonicallyEqual(a->content, b->content);
}

// Whether the notes `side` shares with `base` come in another order.
bool reordered(const Index& baseIndex, const QList<Note>& side) {
    qsizetype last = -1;
    for (const Note& n : side) {
        const auto it = baseIndex.find(n.id);
        if (it == baseIndex.end())
            continue;
        if (*it < last)
            return true;
        last = *it;
    }
    return false;
}

} // namespace

Note conflictNote(const Note& theirs) {
    return Note{QUuid::createUuidV5(theirs.id, theirs.content.toUtf8()), theirs.content,
                theirs.createdAt};
}

QList<Note> mergeNotes(const QList<Note>& base, const QList<Note>& mine,
                       const QList<Note>& theirs) {
    const Index b = indexOf(base), m = indexOf(mine), t = indexOf(theirs);

    // What each id becomes: nothing, or a note and perhaps theirs beside it.
    struct Outcome {
        std::optional<Note> note, conflict;
    };
    QHash<QUuid, Outcome> outcome;
    for (const QList<Note>* side : {&mine, &theirs}) {
        for (const Note& n : *side) {
            if (outcome.contains(n.id))
                continue;
            const Note *was = find(base, b, n.id), *my = find(mine, m, n.id),
                       *their = find(theirs, t, n.id);
            Outcome& o = outcome[n.id];
            if (my && their) {
                if (sameText(my, their) || sameText(their, was)) {
                    o.note = *my;
                } else if (sameText(my, was)) {
                    o.note = *their;
                    o.note->createdAt = my->createdAt;
                } else {
                    o.note = *my;
                    o.conflict = conflictNote(*their);
                }
            } else if (!was || !sameText(my ? my : their, was)) {
                o.note = my ? *my : *their; // new, or edited where the other side deleted it
            }
        }
    }

    // The order of the side that reordered, mine if both or neither did.
    const bool mineFirst = reordered(b, mine) || !reordered(b, theirs);
    const QList<Note>& primary = mineFirst ? mine : theirs;
    const QList<Note>& other = mineFirst ? theirs : mine;
    QList<QUuid> order;
    for (const Note& n : primary)
        if (outcome.value(n.id).note && !order.contains(n.id))
            order.append(n.id);
    for (qsizetype i = 0; i < other.size(); ++i) {
        const QUuid id = other[i].id;
        if (!outcome.value(id).note || order.contains(id))
            continue;
        qsizetype after = -1; // behind its nearest preceding neighbour on its own side
        for (qsizetype j = i - 1; j >= 0 && after < 0; --j)
            after = order.indexOf(other[j].id);
        order.insert(after + 1, id);
    }

    QList<Note> merged;
    merged.reserve(order.size());
    for (const QUuid& id : order) {
        const Outcome& o = outcome[id];
        merged.append(*o.note);
        if (o.conflict && !outcome.contains(o.conflict->id) &&
            std::none_of(merged.begin(), merged.end(),
                         [&](const Note& n) { return n.id == o.conflict->id; }))
            merged.append(*o.conflict);
    }
    return merged;
}

} // namespace jotbox
