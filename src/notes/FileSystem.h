#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <sys/types.h>

namespace jotbox {

// What identifies a file's content without reading it: a file replaced by a
// rename has another inode, one written in place another size or time.
struct FileStamp {
    bool exists = false;
    quint64 device = 0, inode = 0, size = 0;
    qint64 modified = 0, changed = 0; // nanoseconds
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The few file-system calls that reading and saving the notes make. They go
// through here so that tests can watch the order of the calls, make any one
// of them fail, or let another program act between two of them. Paths and
// names are in the file system's encoding; a failure returns -errno.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The whole content of a regular file (following links), and the stamp
    // of exactly the file read. -ENOENT when nothing is there, -ENODATA when
    // something other than a regular file is; never blocks on a pipe.
    virtual int readRegularFile(const QByteArray& path, QByteArray* content,
                                FileStamp* stamp = nullptr) = 0;
    // The stamp of what is at `path` now (following links); `exists` false
    // when nothing is.
    virtual FileStamp stamp(const QByteArray& path) = 0;

    // A descriptor of the folder, or -errno.
    virtual int openDirectory(const QByteArray& path) = 0;
    // A new file in the folder with exactly `mode`, whatever the umask; fails
    // when the name is taken. A descriptor, or -errno.
    virtual int createExclusive(int dirFd, const QByteArray& name, mode_t mode) = 0;
    // Writes every byte, however many calls it takes.
    virtual int writeAll(int fd, QByteArrayView bytes) = 0;
    // Flushes a file's or a folder's content to the disk.
    virtual int sync(int fd) = 0;
    // The stamp of an open file, wherever its name now is.
    virtual int stamp(int fd, FileStamp* stamp) = 0;
    virtual int close(int fd) = 0;
    // Replaces `to` with `from` in one step; both names in the same folder.
    virtual int rename(int dirFd, const QByteArray& from, const QByteArray& to) = 0;
    // Removes a file (never a folder).
    virtual int remove(int dirFd, const QByteArray& name) = 0;
    // The names in the folder.
    virtual QList<QByteArray> list(int dirFd) = 0;
};

} // namespace jotbox
