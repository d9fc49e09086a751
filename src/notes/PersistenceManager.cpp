#include "notes/PersistenceManager.h"

#include "notes/NotesFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

namespace jotbox {

namespace {

constexpr auto kFileName = "notes.json";
constexpr auto kFolderName = "Jotbox";
constexpr QFile::Permissions kPrivateFolder =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

QString defaultDirectory() {
    const QStringList roots =
        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    const QString root =
        roots.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : roots.first();
    return QDir(root).filePath(QLatin1String(kFolderName));
}

} // namespace

PersistenceManager::PersistenceManager() : PersistenceManager(defaultDirectory()) {}

PersistenceManager::PersistenceManager(QString directory) : m_directory(std::move(directory)) {}

QString PersistenceManager::filePath() const {
    return QDir(m_directory).filePath(QLatin1String(kFileName));
}

QList<Note> PersistenceManager::load() {
    m_writer.removeLeftovers(filePath());
    m_leftoversRemoved = true;
    m_unreadableOnDisk = false;
    QByteArray bytes;
    const int result = m_fs.readRegularFile(QFile::encodeName(filePath()), &bytes);
    // Nothing there, or not a file at all (a folder, a pipe): nothing to keep
    // safe, and nothing a save could replace either.
    if (result == -ENOENT || result == -ENOTDIR || result == -ENODATA)
        return {};
    std::optional<QList<Note>> notes;
    if (result == 0)
        notes = NotesFile::decode(std::move(bytes));
    if (!notes) {
        m_unreadableOnDisk = true;
        return {};
    }
    return *notes;
}

bool PersistenceManager::ensureDirectory(QString* error) const {
    const QFileInfo info(m_directory);
    if (info.exists() || info.isSymLink())
        return true;
    // Parents get the usual permissions; our own folder is private whatever the umask.
    if (!QDir().mkpath(info.absolutePath()) || !QDir().mkdir(m_directory, kPrivateFolder) ||
        !QFile::setPermissions(m_directory, kPrivateFolder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(m_directory);
        return false;
    }
    return true;
}

bool PersistenceManager::setAsideUnreadable(QString* error) {
    const QString path = filePath();
    if (!QFileInfo::exists(path)) {
        m_unreadableOnDisk = false;
        return true;
    }
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString base = path + QStringLiteral(".unreadable-") + stamp;
    // QFile::rename never replaces an existing file, so earlier copies survive.
    for (int n = 1; n <= 100; ++n) {
        const QString target = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        if (QFile::rename(path, target)) {
            m_unreadableOnDisk = false;
            return true;
        }
    }
    *error = QStringLiteral("cannot move the unreadable %1 aside").arg(path);
    return false;
}

std::optional<QString> PersistenceManager::save(const QList<Note>& notes) {
    QString error;
    if (!ensureDirectory(&error))
        return error;
    if (!m_encoder.encode(notes))
        return QStringLiteral("a note cannot be encoded");
    const QByteArrayView bytes = m_encoder.bytes();
    if (m_unreadableOnDisk && !setAsideUnreadable(&error))
        return error;

    if (!m_leftoversRemoved) {
        m_writer.removeLeftovers(filePath());
        m_leftoversRemoved = true;
    }
    return m_writer.write(filePath(), bytes);
}

} // namespace jotbox
