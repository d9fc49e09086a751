#pragma once

#include "notes/Note.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <optional>

namespace jotbox {

// The notes file's exact form: a compact UTF-8 JSON array of
// {"id": upper-case canonical UUID, "content": text, "createdAt": seconds}.
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
    // The bytes of the last successful encode; valid until the next one.
    QByteArrayView bytes() const;

private:
    struct Buffers;
    std::unique_ptr<Buffers> d;
};

// One-off encoding; nullopt as for Encoder::encode.
std::optional<QByteArray> encode(const QList<Note>& notes);

// The whole list, or nullopt when the bytes depart from the form in any way;
// never a partial list. Keys beyond the three are ignored.
std::optional<QList<Note>> decode(QByteArray bytes);

// Parses exactly the canonical 8-4-4-4-12 hexadecimal form, either case.
std::optional<QUuid> parseCanonicalUuid(QLatin1StringView text);

} // namespace NotesFile

} // namespace jotbox
