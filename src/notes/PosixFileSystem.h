#pragma once

#include "notes/FileSystem.h"

namespace jotbox {

// The real file system.
class PosixFileSystem : public FileSystem {
public:
    int readRegularFile(const QByteArray& path, QByteArray* content,
                        FileStamp* stamp = nullptr) override;
    FileStamp stamp(const QByteArray& path) override;
    int openDirectory(const QByteArray& path) override;
    int createExclusive(int dirFd, const QByteArray& name, mode_t mode) override;
    int writeAll(int fd, QByteArrayView bytes) override;
    int sync(int fd) override;
    int stamp(int fd, FileStamp* stamp) override;
    int close(int fd) override;
    int rename(int dirFd, const QByteArray& from, const QByteArray& to) override;
    int remove(int dirFd, const QByteArray& name) override;
    QList<QByteArray> list(int dirFd) override;
};

} // namespace jotbox
