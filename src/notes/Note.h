#pragma once

#include <QString>
#include <QUuid>

namespace jotbox {

// Whether two strings share one buffer: the very text, not merely an equal
// one, found at once (all empty strings share one).
inline bool sameBuffer(const QString& a, const QString& b) {
    return a.size() == b.size() && a.constData() == b.constData();
}

// Seconds since 2001-01-01 00:00:00 UTC, the epoch the notes file stores.
using NoteTime = double;
inline constexpr double kUnixToNoteEpoch = 978307200.0;
NoteTime currentNoteTime();

// One note: a plain value. Only `content` changes after creation.
struct Note {
    QUuid id;
    QString content;
    NoteTime createdAt = 0;

    // A fresh blank note: random id, empty text, created now.
    static Note make();

    // The tab caption: first line, trimmed of tabs and space separators,
    // at most 30 user-perceived characters, "New Note" when blank.
    QString title() const;

    friend bool operator==(const Note& a, const Note& b);
};

} // namespace jotbox
