#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace jotbox::testing {

// The whole file, or "<none>" when there is nothing to read.
inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

// Creates or replaces the file with exactly these bytes.
inline void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The names in a folder, hidden ones and sockets too, sorted.
inline QStringList entriesOf(const QString& folder, const QString& pattern = "*") {
    return QDir(folder).entryList({pattern}, QDir::AllEntries | QDir::NoDotAndDotDot |
                                                 QDir::Hidden | QDir::System);
}

} // namespace jotbox::testing
