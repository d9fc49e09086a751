#pragma once

// Readable gtest failure messages for the Qt and Jotbox values we compare.
#include "notes/Note.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline std::ostream& operator<<(std::ostream& os, const QString& s) {
    return os << s.toStdString();
}
inline void PrintTo(const QUuid& u, std::ostream* os) {
    *os << u.toString().toStdString();
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '"' << b.toStdString() << '"';
}

namespace jotbox {
inline void PrintTo(const Note& n, std::ostream* os) {
    *os << "Note{" << n.id.toString().toStdString() << ", \"" << n.content.toStdString() << "\", "
        << n.createdAt << '}';
}
} // namespace jotbox
