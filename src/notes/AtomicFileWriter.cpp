#include "notes/AtomicFileWriter.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace jotbox {

namespace {

constexpr int kMaxLinkDepth = 40; // as the kernel allows
constexpr int kTemporaryLetters = 6;
constexpr mode_t kPrivateFile = 0600;

QByteArray randomLetters() {
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray out(kTemporaryLetters, Qt::Uninitialized);
    for (char& c : out)
        c = kAlphabet[QRandomGenerator::global()->bounded(int(sizeof kAlphabet) - 1)];
    return out;
}

QString describe(const char* what, const QString& path, int error) {
    return QStringLiteral("cannot %1 %2: %3")
        .arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(-error)));
}

bool ownedByMe(const QFileInfo& info) {
    return info.ownerId() == ::geteuid();
}

// Closes a descriptor when the scope ends.
class Descriptor {
public:
    Descriptor(FileSystem& fs, int fd) : m_fs(fs), m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            m_fs.close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    FileSystem& m_fs;
    int m_fd;
};

} // namespace

QByteArray AtomicFileWriter::temporaryPrefix(const QByteArray& fileName) {
    return fileName + ".saving-";
}

QByteArray AtomicFileWriter::ownerTag() {
    static const QByteArray machine = QSysInfo::machineUniqueId().left(8);
    return machine + '-' + QByteArray::number(::getpid()) + '-';
}

std::optional<AtomicFileWriter::Place> AtomicFileWriter::placeOf(const QString& path,
                                                                 QString* error) const {
    QFileInfo target(path);
    if (target.isSymLink()) {
        int depth = 0;
        while (target.isSymLink()) {
            if (++depth > kMaxLinkDepth) {
                *error = QStringLiteral("%1 is a loop of links").arg(path);
                return std::nullopt;
            }
            target = QFileInfo(target.symLinkTarget());
        }
        // Replacing the target is writing into it: only into our own.
        const bool mine =
            target.exists() ? ownedByMe(target) : ownedByMe(QFileInfo(target.absolutePath()));
        if (!mine) {
            *error = QStringLiteral("%1 links to %2, which is not ours")
                         .arg(path, target.absoluteFilePath());
            return std::nullopt;
        }
    }
    // A folder, a pipe or a device in the file's place is not ours to replace.
    struct stat st {};
    if (::stat(QFile::encodeName(target.absoluteFilePath()).constData(), &st) == 0 &&
        !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("%1 is not a file; it is left alone").arg(path);
        return std::nullopt;
    }
    return Place{QFile::encodeName(target.absolutePath()), QFile::encodeName(target.fileName())};
}

std::optional<QString> AtomicFileWriter::write(const QString& path, QByteArrayView bytes,
                                               Guard* guard) {
    QString error;
    const auto place = placeOf(path, &error);
    if (!place)
        return error;
    const Descriptor folder(m_fs, m_fs.openDirectory(place->folder));
    if (folder.get() < 0)
        return describe("open the folder of", path, folder.get());

    QByteArray temporary;
    int fd = -EEXIST;
    for (int attempt = 0; attempt < 100 && fd == -EEXIST; ++attempt) {
        temporary = temporaryPrefix(place->name) + ownerTag() + randomLetters();
        fd = m_fs.createExclusive(folder.get(), temporary, kPrivateFile);
    }
    if (fd < 0)
        return describe("create a temporary file for", path, fd);

    Descriptor file(m_fs, fd);
    int result = m_fs.writeAll(file.get(), bytes);
    if (result == 0)
        result = m_fs.sync(file.get());
    FileStamp written;
    if (result == 0)
        result = m_fs.stamp(file.get(), &written);
    const int closed = m_fs.close(file.release());
    if (result == 0)
        result = closed;
    if (result == 0 && guard && guard->stillCurrent && !guard->stillCurrent()) {
        guard->stopped = true;
        m_fs.remove(folder.get(), temporary);
        return QStringLiteral("%1 changed while it was being saved").arg(path);
    }
    if (result == 0)
        result = m_fs.rename(folder.get(), temporary, place->name);
    if (result != 0) {
        m_fs.remove(folder.get(), temporary);
        return describe("write", path, result);
    }
    // The rename changes the file's ctime. What stands at the path now is
    // ours only if it is the very file written; if another program renamed
    // its own in since, the stamp stays that of ours, and the next look at
    // the path sees the difference.
    const FileStamp atPath = m_fs.stamp(place->folder + '/' + place->name);
    if (atPath.exists && atPath.device == written.device && atPath.inode == written.inode)
        written = atPath;
    if (guard)
        guard->written = written;
    // Without this the rename may still be only in memory: a power cut could
    // bring back the old file, or none.
    result = m_fs.sync(folder.get());
    if (result != 0)
        return describe("flush the folder of", path, result);
    return std::nullopt;
}

void AtomicFileWriter::removeLeftovers(const QString& path, std::chrono::seconds maxAge) {
    QString error;
    const auto place = placeOf(path, &error);
    if (!place)
        return;
    const Descriptor folder(m_fs, m_fs.openDirectory(place->folder));
    if (folder.get() < 0)
        return;
    const QByteArray prefix = temporaryPrefix(place->name);
    const QByteArray machine = ownerTag().split('-').front();
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addSecs(-maxAge.count());
    for (const QByteArray& name : m_fs.list(folder.get())) {
        if (!name.startsWith(prefix) || name.size() < prefix.size() + kTemporaryLetters)
            continue;
        // "<machine>-<pid>-<letters>": ours, and the process that wrote it is gone.
        const QList<QByteArray> owner = name.mid(prefix.size()).split('-');
        bool number = false;
        const pid_t pid = owner.size() == 3 ? owner[1].toInt(&number) : 0;
        const bool oursAndDead =
            number && owner[0] == machine && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
        const QFileInfo info(QFile::decodeName(place->folder + '/' + name));
        if (oursAndDead || info.lastModified().toUTC() < oldest)
            m_fs.remove(folder.get(), name);
    }
}

} // namespace jotbox
