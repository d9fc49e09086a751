#include "sync/AncestorTexts.h"

#include "notes/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSysInfo>

namespace jotbox {

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    return file.open(QIODevice::WriteOnly) && file.setPermissions(kPrivateFile) &&
           file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

AncestorTexts::AncestorTexts(QString folder) : m_folder(std::move(folder)) {
    if (!m_folder.isEmpty() && !QDir(m_folder).exists() && QDir().mkpath(m_folder))
        QFile::setPermissions(m_folder, kPrivateFolder);
    m_replica = loadReplica();
}

QString AncestorTexts::pathOf(TextHash hash) const {
    return m_folder + QLatin1Char('/') + hashToString(hash);
}

void AncestorTexts::put(TextHash hash, const QString& text) {
    if (m_folder.isEmpty()) {
        m_memory.insert(hash, text);
        return;
    }
    const QString path = pathOf(hash);
    if (!QFile::exists(path))
        (void)writeFile(path, text.toUtf8()); // a cache: a failure only costs finer merges
}

std::optional<QString> AncestorTexts::get(TextHash hash) const {
    if (m_folder.isEmpty()) {
        const auto it = m_memory.find(hash);
        return it == m_memory.end() ? std::nullopt : std::optional(*it);
    }
    QFile file(pathOf(hash));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QString text = QString::fromUtf8(file.readAll());
    // A file cut short by a crash is no ancestor at all.
    return hashText(text) == hash ? std::optional(std::move(text)) : std::nullopt;
}

void AncestorTexts::keepOnly(const QSet<TextHash>& hashes) {
    if (m_folder.isEmpty()) {
        m_memory.removeIf([&](const auto& entry) { return !hashes.contains(entry.key()); });
        return;
    }
    const QDir dir(m_folder);
    for (const QString& name : dir.entryList(QDir::Files)) {
        const auto hash = hashFromString(QLatin1StringView(name.toLatin1()));
        if (hash && !hashes.contains(*hash))
            QFile::remove(dir.filePath(name));
    }
}

// "replica" holds the name and the machine it was made on.
ReplicaId AncestorTexts::loadReplica() {
    const QByteArray machine = QSysInfo::machineUniqueId();
    const QString path = m_folder + QStringLiteral("/replica");
    if (!m_folder.isEmpty()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> fields = file.readAll().trimmed().split(' ');
            const auto replica = fields.size() == 2 && fields[1] == machine.toHex()
                                     ? replicaFromString(QLatin1StringView(fields[0]))
                                     : std::nullopt;
            if (replica)
                return *replica;
        }
    }
    ReplicaId replica = kOutsideEdits; // taken: never an installation's
    while (replica == kOutsideEdits)
        replica = QRandomGenerator::system()->generate();
    if (!m_folder.isEmpty())
        (void)writeFile(path, replicaToString(replica).toLatin1() + ' ' + machine.toHex() + '\n');
    return replica;
}

} // namespace jotbox
