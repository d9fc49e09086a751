#pragma once

#include "desktop/ActivationProof.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace jotbox {

class NoteStore;

// One thing asked of Jotbox from outside: from the command line, from
// another launch, or over D-Bus.
struct Command {
    enum class Kind { activate, toggle, show, hide, newNote, append, print };
    Kind kind = Kind::activate;
    std::optional<QString> text; // newNote (none: a new empty note, shown), append
    std::optional<qint64> note;  // print: 1 is the first tab; none, the active one

    // Whether it only reads or changes the notes, so that with no Jotbox
    // running it is done on the notes file, with no display.
    bool onNotesOnly() const {
        return (kind == Kind::newNote && text) || kind == Kind::append || kind == Kind::print;
    }
};

// How a command ended, as the command line reports it.
struct Outcome {
    int exitCode = 0;
    QByteArray output; // for standard output
    QString error;     // for standard error
};

// Text a note may hold: no NUL byte (the file's readers stop at one).
bool isNoteText(const QString& text);

// Does a command that only touches the notes on the store, saving before it
// answers: success means the change is on disk.
Outcome performOnNotes(NoteStore& store, const Command& command);

// The request a later launch sends the running one, and its answer: a line
// of JSON each.
QByteArray encodeRequest(const Command& command, const ActivationProof& proof);
std::optional<std::pair<Command, ActivationProof>> decodeRequest(const QByteArray& line);
QByteArray encodeOutcome(const Outcome& outcome);
std::optional<Outcome> decodeOutcome(const QByteArray& line);

} // namespace jotbox
