#include "notes/PersistenceManager.h"

#include "notes/NotesFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <functional>
#include <string_view>
#include <sys/stat.h>

namespace jotbox {

namespace {

constexpr auto kFileName = "notes.json";
constexpr auto kFolderName = "Jotbox";
constexpr QFile::Permissions kPrivateFolder =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// Tells Jotbox's own bytes from anyone else's; fast, as it runs at each save.
std::size_t hashOf(QByteArrayView bytes) {
    return std::hash<std::string_view>{}(std::string_view(bytes.data(), size_t(bytes.size())));
}

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
    ignoreForSyncthing();
    QByteArray bytes;
    const Stamp before = stamp();
    const int result = m_fs.readRegularFile(QFile::encodeName(filePath()), &bytes);
    m_knownStamp = before;
    m_knownHash = result == 0 ? hashOf(bytes) : 0;
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
    const auto failed = m_writer.write(filePath(), bytes);
    if (!failed)
        know(bytes.toByteArray());
    return failed;
}

PersistenceManager::Stamp PersistenceManager::stamp() const {
    struct stat st {};
    if (::stat(QFile::encodeName(filePath()).constData(), &st) != 0)
        return {};
    return {true,
            quint64(st.st_dev),
            quint64(st.st_ino),
            quint64(st.st_size),
            st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec * 1'000'000'000LL + st.st_ctim.tv_nsec};
}

void PersistenceManager::know(const QByteArray& bytes) {
    m_knownStamp = stamp();
    m_knownHash = hashOf(bytes);
}

PersistenceManager::DiskState PersistenceManager::reread() {
    const Stamp now = stamp();
    if (now == m_knownStamp)
        return {};
    QByteArray bytes;
    const int result = m_fs.readRegularFile(QFile::encodeName(filePath()), &bytes);
    if (result == -ENOENT || result == -ENOTDIR)
        return {m_knownStamp.exists ? DiskState::missing : DiskState::unchanged, {}};
    if (result == 0 && hashOf(bytes) == m_knownHash) {
        m_knownStamp = now; // touched, not changed
        return {};
    }
    auto notes = result == 0 ? NotesFile::decode(bytes) : std::nullopt;
    if (!notes)
        return {DiskState::unreadable, {}};
    m_knownStamp = now;
    m_knownHash = hashOf(bytes);
    m_unreadableOnDisk = false;
    return {DiskState::changed, *notes};
}

void PersistenceManager::acceptCurrent() {
    QByteArray bytes;
    const int result = m_fs.readRegularFile(QFile::encodeName(filePath()), &bytes);
    m_knownStamp = stamp();
    m_knownHash = result == 0 ? hashOf(bytes) : 0;
    m_unreadableOnDisk = result == 0 && !NotesFile::decode(bytes);
}

QStringList PersistenceManager::conflictCopies() const {
    static const QRegularExpression copy(QStringLiteral(
        R"(^notes\.sync-conflict-\d{8}-\d{6}-\w{7}\.json$|^notes \(.*conflicted copy.*\)\.json$|)"
        R"(^notes\.json\.\.path[12]$)"));
    QStringList paths;
    for (const QString& name : QDir(m_directory).entryList(QDir::Files, QDir::Name))
        if (copy.match(name).hasMatch())
            paths << QDir(m_directory).filePath(name);
    return paths;
}

std::optional<QList<Note>> PersistenceManager::readCopy(const QString& path) {
    QByteArray bytes;
    if (m_fs.readRegularFile(QFile::encodeName(path), &bytes) != 0)
        return std::nullopt;
    return NotesFile::decode(std::move(bytes));
}

// A folder Syncthing shares holds ".stfolder"; without a ".stignore" of the
// user's own, Jotbox's temporary and set-aside files would travel too.
void PersistenceManager::ignoreForSyncthing() const {
    const QDir dir(m_directory);
    if (!QFileInfo(dir.filePath(QStringLiteral(".stfolder"))).exists() ||
        QFileInfo(dir.filePath(QStringLiteral(".stignore"))).exists())
        return;
    QFile ignore(dir.filePath(QStringLiteral(".stignore")));
    if (ignore.open(QIODevice::NewOnly | QIODevice::WriteOnly))
        ignore.write("(?d)notes.json.saving-*\n(?d)notes.json.unreadable-*\n");
}

} // namespace jotbox
