#pragma once

#include "notes/PosixFileSystem.h"

#include <QSet>
#include <QStringList>

#include <cerrno>
#include <functional>

namespace jotbox::testing {

// The real file system, with a log of the calls a save makes ("sync folder",
// "rename notes.json.saving-… notes.json"), one call that can be made to
// fail with a chosen error, and another program acting before a call.
class RecordingFileSystem final : public PosixFileSystem {
public:
    QStringList calls;
    // The first `failTimes` calls whose log entry starts with this fail with `failError`.
    QString failOn;
    int failError = EIO, failTimes = 1;
    // Runs before each call, with its log entry.
    std::function<void(const QString&)> before;

    int readRegularFile(const QByteArray& path, QByteArray* content, FileStamp* stamp) override {
        return run("read " + QString::fromUtf8(path.mid(path.lastIndexOf('/') + 1)),
                   [&] { return PosixFileSystem::readRegularFile(path, content, stamp); });
    }
    int openDirectory(const QByteArray& path) override {
        const int fd = run("open folder", [&] { return PosixFileSystem::openDirectory(path); });
        if (fd >= 0)
            m_folders.insert(fd);
        return fd;
    }
    int createExclusive(int dirFd, const QByteArray& name, mode_t mode) override {
        return run("create " + temporary(name),
                   [&] { return PosixFileSystem::createExclusive(dirFd, name, mode); });
    }
    int writeAll(int fd, QByteArrayView bytes) override {
        return run("write", [&] { return PosixFileSystem::writeAll(fd, bytes); });
    }
    int sync(int fd) override {
        return run(m_folders.contains(fd) ? "sync folder" : "sync file",
                   [&] { return PosixFileSystem::sync(fd); });
    }
    int close(int fd) override {
        const bool folder = m_folders.remove(fd);
        // A descriptor is released even when close fails, as on Linux.
        const int result = PosixFileSystem::close(fd);
        return run(folder ? "close folder" : "close file", [&] { return result; });
    }
    int rename(int dirFd, const QByteArray& from, const QByteArray& to) override {
        return run("rename " + temporary(from) + " " + to,
                   [&] { return PosixFileSystem::rename(dirFd, from, to); });
    }
    int remove(int dirFd, const QByteArray& name) override {
        return run("remove " + temporary(name),
                   [&] { return PosixFileSystem::remove(dirFd, name); });
    }

private:
    // Temporary names end in random letters; the log keeps them out.
    static QString temporary(const QByteArray& name) {
        const qsizetype at = name.indexOf(".saving-");
        return QString::fromUtf8(at < 0 ? name : name.left(at + 8) + "…");
    }
    // Logs the call, then makes it, or fails it when it is the one to fail.
    template <typename F> int run(const QString& entry, F&& call) {
        calls << entry;
        if (before)
            before(entry);
        if (!failOn.isEmpty() && entry.startsWith(failOn)) {
            if (--failTimes <= 0)
                failOn.clear(), failTimes = 1;
            return -failError;
        }
        return call();
    }
    QSet<int> m_folders;
};

} // namespace jotbox::testing
