#include "notes/PersistenceManager.h"

#include "notes/NotesFile.h"
#include "notes/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <functional>
#include <string_view>

namespace jotbox {

namespace {

constexpr auto kFileName = "notes.json";
constexpr auto kFolderName = "Jotbox";

// Tells Jotbox's own bytes from anyone else's; fast, as it runs at each save.
std::size_t hashOf(QByteArrayView bytes) {
    return std::hash<std::string_view>{}(std::string_view(bytes.data(), size_t(bytes.size())));
}

QString inUserFolder(QStandardPaths::StandardLocation location, const char* fallback) {
    const QStringList roots = QStandardPaths::standardLocations(location);
    const QString root =
        roots.isEmpty() ? QDir::homePath() + QLatin1String(fallback) : roots.first();
    return QDir(root).filePath(QLatin1String(kFolderName));
}

} // namespace

PersistenceManager::PersistenceManager()
    : PersistenceManager(inUserFolder(QStandardPaths::GenericDataLocation, "/.local/share"),
                         inUserFolder(QStandardPaths::GenericCacheLocation, "/.cache")) {}

PersistenceManager::PersistenceManager(QString directory, QString cacheDirectory,
                                       std::shared_ptr<FileSystem> fs)
    : m_directory(std::move(directory)), m_cacheDirectory(std::move(cacheDirectory)),
      m_fs(fs ? std::move(fs) : std::make_shared<PosixFileSystem>()) {}

QString PersistenceManager::filePath() const {
    return QDir(m_directory).filePath(QLatin1String(kFileName));
}

QList<Note> PersistenceManager::load() {
    return loadDocument().notes;
}

namespace {
// Nothing there, or not a file at all (a folder, a pipe): nothing to keep
// safe, and nothing a save could replace either.
bool isNoFile(int readResult) {
    return readResult == -ENOENT || readResult == -ENOTDIR || readResult == -ENODATA;
}
} // namespace

NotesDocument PersistenceManager::loadDocument() {
    m_writer.removeLeftovers(filePath());
    m_leftoversRemoved = true;
    m_unreadableOnDisk = false;
    ignoreForSyncthing();
    QByteArray bytes;
    FileStamp stamp;
    const int result = m_fs->readRegularFile(QFile::encodeName(filePath()), &bytes, &stamp);
    know(result == 0 ? stamp : m_fs->stamp(QFile::encodeName(filePath())),
         result == 0 ? QByteArrayView(bytes) : QByteArrayView());
    if (isNoFile(result))
        return {};
    std::optional<NotesDocument> document;
    if (result == 0)
        document = NotesFile::decodeDocument(std::move(bytes));
    if (!document) {
        m_unreadableOnDisk = true;
        return {};
    }
    return *document;
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
        know(FileStamp{}, {});
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
            know(FileStamp{}, {});
            return true;
        }
    }
    *error = QStringLiteral("cannot move the unreadable %1 aside").arg(path);
    return false;
}

std::optional<QString> PersistenceManager::save(const QList<Note>& notes) {
    QString error;
    const Written written = write(NotesDocument{notes, {}, {}, {}}, &error, false);
    return written == Written::yes || written == Written::unchanged ? std::nullopt
                                                                    : std::optional(error);
}

PersistenceManager::Written PersistenceManager::write(const NotesDocument& document, QString* error,
                                                      bool guarded) {
    QString why;
    if (!error)
        error = &why;
    if (!ensureDirectory(error))
        return Written::failed;
    if (!m_encoder.encode(document)) {
        *error = QStringLiteral("a note cannot be encoded");
        return Written::failed;
    }
    const QByteArrayView bytes = m_encoder.bytes();
    // Nothing changed: nothing written, nothing for a sync engine to send.
    const std::size_t hash = hashOf(bytes);
    if (m_knownStamp.exists && !m_unreadableOnDisk && hash == m_knownHash && isAsKnown())
        return Written::unchanged;
    if (m_unreadableOnDisk && !setAsideUnreadable(error))
        return Written::failed;

    if (!m_leftoversRemoved) {
        m_writer.removeLeftovers(filePath());
        m_leftoversRemoved = true;
    }
    // Never over a version not seen: one that arrived since the last look
    // must be merged first.
    AtomicFileWriter::Guard guard;
    if (guarded)
        guard.stillCurrent = [this] { return isAsKnown(); };
    if (const auto failed = m_writer.write(filePath(), bytes, &guard)) {
        *error = *failed;
        return guard.stopped ? Written::raced : Written::failed;
    }
    m_knownStamp = guard.written;
    m_knownHash = hash;
    return Written::yes;
}

void PersistenceManager::know(const FileStamp& stamp, QByteArrayView bytes) {
    m_knownStamp = stamp;
    m_knownHash = stamp.exists ? hashOf(bytes) : 0;
}

// Whether the file is still the one last read or written: the same stamp,
// or, when only touched, the same bytes.
bool PersistenceManager::isAsKnown() {
    const FileStamp now = m_fs->stamp(QFile::encodeName(filePath()));
    if (now == m_knownStamp)
        return true;
    if (!now.exists || !m_knownStamp.exists)
        return false;
    QByteArray bytes;
    FileStamp read;
    if (m_fs->readRegularFile(QFile::encodeName(filePath()), &bytes, &read) != 0 ||
        hashOf(bytes) != m_knownHash)
        return false;
    m_knownStamp = read;
    return true;
}

PersistenceManager::DiskState PersistenceManager::reread() {
    const FileStamp now = m_fs->stamp(QFile::encodeName(filePath()));
    if (now == m_knownStamp)
        return {};
    QByteArray bytes;
    FileStamp read;
    const int result = m_fs->readRegularFile(QFile::encodeName(filePath()), &bytes, &read);
    if (result == -ENOENT || result == -ENOTDIR)
        return {m_knownStamp.exists ? DiskState::missing : DiskState::unchanged, {}};
    if (result == 0 && m_knownStamp.exists && hashOf(bytes) == m_knownHash) {
        m_knownStamp = read; // touched, not changed
        return {};
    }
    auto document = result == 0 ? NotesFile::decodeDocument(bytes) : std::nullopt;
    if (!document)
        return {DiskState::unreadable, {}};
    know(read, bytes);
    m_unreadableOnDisk = false;
    return {DiskState::changed, std::move(*document)};
}

void PersistenceManager::acceptCurrent() {
    QByteArray bytes;
    FileStamp read;
    const int result = m_fs->readRegularFile(QFile::encodeName(filePath()), &bytes, &read);
    know(result == 0 ? read : m_fs->stamp(QFile::encodeName(filePath())),
         result == 0 ? QByteArrayView(bytes) : QByteArrayView());
    // As at start: a file there that cannot be read (refused, not a file
    // gone) is set aside before a save, never written over.
    m_unreadableOnDisk = result == 0 ? !NotesFile::decode(bytes) : !isNoFile(result);
}

QStringList PersistenceManager::conflictCopies() const {
    static const QRegularExpression copy(QStringLiteral(
        R"(^notes\.sync-conflict-\d{8}-\d{6}-\w{7}\.json$|^notes \(.*conflicted copy.*\)\.json$|)"
        R"(^notes\.json\.\.path[12]$|^notes( \(conflict( #\d+)?_on_\d{4}-\d\d-\d\d\))+\.json$)"));
    static const QRegularExpression unsaved(
        QStringLiteral(R"(^notes\.unsaved-\d{8}-\d{6}-\w{7}\.json$)"));
    // Every copy's name starts so: the patterns are compiled (and their
    // library paged in) only where one may be there, not at every start.
    const auto mayBe = [](const QString& name) {
        return name.startsWith(QLatin1String("notes")) && name != QLatin1String("notes.json");
    };
    QStringList paths;
    for (const QString& name : QDir(m_directory).entryList(QDir::Files, QDir::Name))
        if (mayBe(name) && copy.match(name).hasMatch())
            paths << QDir(m_directory).filePath(name);
    if (!m_cacheDirectory.isEmpty())
        for (const QString& name : QDir(m_cacheDirectory).entryList(QDir::Files, QDir::Name))
            if (mayBe(name) && unsaved.match(name).hasMatch())
                paths << QDir(m_cacheDirectory).filePath(name);
    return paths;
}

std::optional<NotesDocument> PersistenceManager::readCopy(const QString& path) {
    QByteArray bytes;
    if (m_fs->readRegularFile(QFile::encodeName(path), &bytes) != 0)
        return std::nullopt;
    return NotesFile::decodeDocument(std::move(bytes));
}

QString PersistenceManager::writeCopy(const NotesDocument& document, const QString& machine,
                                      const QString& previous, bool* held) {
    const auto bytes = NotesFile::encode(document);
    QString error;
    if (held)
        *held = false;
    if (!bytes || !ensureDirectory(&error))
        return previous;
    const QString name =
        !previous.isEmpty() ? previous
                            : QStringLiteral("notes.sync-conflict-%1-%2.json")
                                  .arg(QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd-HHmmss"),
                                       machine.left(7));
    const QString path = QDir(m_directory).filePath(name);
    QByteArray there;
    const bool same = !previous.isEmpty() &&
                      m_fs->readRegularFile(QFile::encodeName(path), &there) == 0 &&
                      there == *bytes;
    const bool written = same || !m_writer.write(path, *bytes);
    if (held)
        *held = written;
    return name;
}

bool PersistenceManager::isCopyOf(const QString& path, const QString& machine) {
    return path.endsWith(QLatin1Char('-') + machine.left(7) + QLatin1String(".json"));
}

QString PersistenceManager::writeUnsaved(const NotesDocument& document, const QString& machine) {
    const auto bytes = NotesFile::encode(document);
    if (!bytes || m_cacheDirectory.isEmpty() || !QDir().mkpath(m_cacheDirectory))
        return {};
    const QString path =
        QDir(m_cacheDirectory)
            .filePath(QStringLiteral("notes.unsaved-%1-%2.json")
                          .arg(QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd-HHmmss"),
                               machine.left(7)));
    return m_writer.write(path, *bytes) ? QString() : path;
}

void PersistenceManager::removeCopy(const QString& path) {
    const QFileInfo info(path);
    const int folder = m_fs->openDirectory(QFile::encodeName(info.absolutePath()));
    if (folder < 0)
        return;
    m_fs->remove(folder, QFile::encodeName(info.fileName()));
    m_fs->close(folder);
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
