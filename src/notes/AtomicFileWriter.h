#pragma once

#include "notes/FileSystem.h"

#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace jotbox {

// Replaces a file in one step so that, whenever the process dies or the
// power goes, the file on disk is the old content or the new, whole:
// new bytes go to a temporary file in the same folder, are flushed, renamed
// over the file, and then the folder itself is flushed, so the rename lasts.
//
// When the file is a symbolic link, the link is kept and its target replaced,
// but only a target that belongs to this user (or, when it is missing, whose
// folder does); never another user's file.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(FileSystem& fs) : m_fs(fs) {}

    // What a caller may ask of one write, and learns from it.
    struct Guard {
        // Asked once the new bytes are flushed, just before the rename: false
        // stops the write (someone else replaced the file meanwhile).
        std::function<bool()> stillCurrent;
        bool stopped = false;
        // The new file's stamp, taken from the file itself after the rename,
        // so that a file another program renames in later never passes for it.
        FileStamp written;
    };

    // nullopt when the bytes are in place and flushed; otherwise why not, with
    // the previous file left as it was and no temporary file left behind.
    std::optional<QString> write(const QString& path, QByteArrayView bytes, Guard* guard = nullptr);

    // Deletes temporary files that a save killed half-way left next to
    // `path`: those of this machine whose process is gone, and any older than
    // `maxAge` (in a shared folder a fresh one may be another machine's save
    // in progress).
    void removeLeftovers(const QString& path, std::chrono::seconds maxAge = std::chrono::hours(1));

    // Temporary files are this prefix, the machine and process whose save it
    // is ("3f9a61c2-4242-"), then six letters or digits.
    static QByteArray temporaryPrefix(const QByteArray& fileName);
    static QByteArray ownerTag();

private:
    struct Place {
        QByteArray folder;
        QByteArray name;
    };
    // Where writing `path` really goes, or why it may not.
    std::optional<Place> placeOf(const QString& path, QString* error) const;

    FileSystem& m_fs;
};

} // namespace jotbox
