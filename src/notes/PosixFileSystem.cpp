#include "notes/PosixFileSystem.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jotbox {

namespace {

int failure() {
    return errno > 0 ? -errno : -EIO;
}

int orFailure(int result) {
    return result < 0 ? failure() : result;
}

FileStamp stampOf(const struct stat& st) {
    return {true,
            quint64(st.st_dev),
            quint64(st.st_ino),
            quint64(st.st_size),
            st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec * 1'000'000'000LL + st.st_ctim.tv_nsec};
}

} // namespace

int PosixFileSystem::readRegularFile(const QByteArray& path, QByteArray* content,
                                     FileStamp* stamp) {
    // Non-blocking, so that a pipe put in the file's place cannot hang the start.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return failure();
    struct stat st {};
    int result = 0;
    if (::fstat(fd, &st) != 0) {
        result = failure();
    } else if (!S_ISREG(st.st_mode)) {
        result = -ENODATA;
    } else {
        // Sized from the file, with a little room past the end that the
        // decoder's 16-byte scan would otherwise copy the whole buffer for.
        QByteArray bytes;
        bytes.reserve(qsizetype(st.st_size) + 16);
        bytes.resize(qsizetype(st.st_size));
        qsizetype filled = 0;
        while (result == 0 && filled < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
            if (n < 0 && errno != EINTR)
                result = failure();
            else if (n == 0)
                bytes.resize(filled); // it shrank meanwhile
            else if (n > 0)
                filled += n;
        }
        // Or it grew: read on to the end.
        char more[4096];
        for (ssize_t n = 0; result == 0;) {
            n = ::read(fd, more, sizeof more);
            if (n < 0 && errno != EINTR)
                result = failure();
            else if (n == 0)
                break;
            else if (n > 0)
                bytes.append(more, n);
        }
        // The stamp of what was read, taken after reading: a file still being
        // written in place then looks changed at the next look.
        struct stat after {};
        if (result == 0 && stamp)
            *stamp = ::fstat(fd, &after) == 0 ? stampOf(after) : FileStamp{};
        if (result == 0)
            *content = std::move(bytes);
    }
    ::close(fd);
    return result;
}

FileStamp PosixFileSystem::stamp(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 ? stampOf(st) : FileStamp{};
}

int PosixFileSystem::stamp(int fd, FileStamp* stamp) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return failure();
    *stamp = stampOf(st);
    return 0;
}

int PosixFileSystem::openDirectory(const QByteArray& path) {
    return orFailure(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

int PosixFileSystem::createExclusive(int dirFd, const QByteArray& name, mode_t mode) {
    const int fd = ::openat(dirFd, name.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return failure();
    // The umask may have taken bits away; put exactly these back.
    if (::fchmod(fd, mode) != 0) {
        const int error = failure();
        ::close(fd);
        ::unlinkat(dirFd, name.constData(), 0);
        return error;
    }
    return fd;
}

int PosixFileSystem::writeAll(int fd, QByteArrayView bytes) {
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failure();
        data += n;
        left -= n;
    }
    return 0;
}

int PosixFileSystem::sync(int fd) {
    return ::fsync(fd) == 0 ? 0 : failure();
}

int PosixFileSystem::close(int fd) {
    // Linux releases the descriptor even when close reports an error: never retry.
    return ::close(fd) == 0 ? 0 : failure();
}

int PosixFileSystem::rename(int dirFd, const QByteArray& from, const QByteArray& to) {
    return ::renameat(dirFd, from.constData(), dirFd, to.constData()) == 0 ? 0 : failure();
}

int PosixFileSystem::remove(int dirFd, const QByteArray& name) {
    return ::unlinkat(dirFd, name.constData(), 0) == 0 ? 0 : failure();
}

QList<QByteArray> PosixFileSystem::list(int dirFd) {
    QList<QByteArray> names;
    // fdopendir takes over the descriptor it is given, so give it its own.
    const int own = ::dup(dirFd);
    if (own < 0)
        return names;
    DIR* dir = ::fdopendir(own);
    if (!dir) {
        ::close(own);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    return names;
}

} // namespace jotbox
