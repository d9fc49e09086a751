#pragma once

#include "notes/Note.h"
#include "notes/NoteAncestry.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <optional>

namespace jotbox {

// Everything the notes file holds: the notes in tab order, what each one's
// text descends from (an entry per note, empty where unknown), and the
// notes closed lately.
struct NotesDocument {
    QList<Note> notes;
    QList<NoteAncestry> ancestry;
    QList<ClosedNote> closed;
    std::optional<ReplicaId> savedBy; // the installation that wrote the file
    friend bool operator==(const NotesDocument&, const NotesDocument&) = default;
};

// The notes file's exact form: a compact UTF-8 JSON array of
// {"id": upper-case canonical UUID, "content": text, "createdAt": seconds}.
// Jotbox adds keys that earlier versions ignore: "versions" (an object of
// installation to count) and "history" (the note's last versions, each its
// text's hash, its depth and how far back its parents stand in the list,
// "<hash>:<depth>:<back>,<back>") on each note, and
// "closed" (a list of {"id", "versions", "closedAt"}) and "savedBy" (the
// installation that wrote the file) on the first.
namespace NotesFile {

// Writes the notes file's bytes into buffers it keeps between calls, so that
// saving again and again reuses its memory instead of asking for megabytes
// afresh each time.
class Encoder {
public:
    Encoder();
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // False only when a note holds a time JSON cannot express (not finite).
    bool encode(const QList<Note>& notes);
    bool encode(const NotesDocument& document);
    // The bytes of the last successful encode; valid until the next one.
    QByteArrayView bytes() const;

private:
    struct Buffers;
    std::unique_ptr<Buffers> d;
};

// One-off encoding; nullopt as for Encoder::encode.
std::optional<QByteArray> encode(const QList<Note>& notes);
std::optional<QByteArray> encode(const NotesDocument& document);

// The whole list, or nullopt when the bytes depart from the form in any way;
// never a partial list. Keys beyond the three are ignored.
std::optional<QList<Note>> decode(QByteArray bytes);
// The same, with Jotbox's own extra keys; where they are malformed (written
// by another program) they are taken as absent.
std::optional<NotesDocument> decodeDocument(QByteArray bytes);

// Parses exactly the canonical 8-4-4-4-12 hexadecimal form, either case.
std::optional<QUuid> parseCanonicalUuid(QLatin1StringView text);

} // namespace NotesFile

} // namespace jotbox
