#pragma once

#include "notes/NoteAncestry.h"
#include "notes/TextHash.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

namespace jotbox {

// The texts notes went through, by hash, kept on this machine alone (never
// in a shared folder), so that a merge can find the text two versions both
// started from. Losing them costs nothing but finer merges. Also keeps the
// name of this installation.
class AncestorTexts {
public:
    // Files in `folder` (made private), or in memory when it is empty.
    explicit AncestorTexts(QString folder);

    void put(TextHash hash, const QString& text);
    // The text, if kept and whole.
    std::optional<QString> get(TextHash hash) const;
    // Forgets every text but these.
    void keepOnly(const QSet<TextHash>& hashes);

    // This installation's name, the same at every start on this machine; a
    // home folder copied to another machine gets a new one there.
    ReplicaId replica() const { return m_replica; }

private:
    QString pathOf(TextHash hash) const;
    ReplicaId loadReplica();

    QString m_folder;
    QHash<TextHash, QString> m_memory;
    ReplicaId m_replica;
};

} // namespace jotbox
