#pragma once

#include "store/NoteStore.h"

#include <QStringList>

namespace jotbox::testing {

// Notes holding these texts, under fresh ids.
inline QList<Note> notesWith(const QStringList& texts) {
    QList<Note> notes;
    for (const QString& text : texts)
        notes.append(Note{QUuid::createUuid(), text, 0});
    return notes;
}

inline QStringList textsOf(const QList<Note>& notes) {
    QStringList texts;
    for (const Note& note : notes)
        texts << note.content;
    return texts;
}

// What the editor does on a keystroke: the whole text through the binding,
// then a request to save.
inline void typeInto(NoteStore& store, const QString& text, bool requestSave = true) {
    auto binding = store.activeNoteBinding();
    Note note = binding.get();
    note.content = text;
    binding.set(note);
    if (requestSave)
        store.saveSubject().send();
}

} // namespace jotbox::testing
