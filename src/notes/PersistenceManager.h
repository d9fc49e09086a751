#pragma once

#include "notes/AtomicFileWriter.h"
#include "notes/Note.h"
#include "notes/NotesFile.h"
#include "notes/PosixFileSystem.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace jotbox {

// Moves the whole list of notes between memory and "notes.json", and
// tells when another program (a sync engine) has changed the file since.
class PersistenceManager {
public:
    // The file now, against what Jotbox last read or wrote.
    struct DiskState {
        enum Kind { unchanged, changed, missing, unreadable } kind = unchanged;
        QList<Note> notes; // when changed
    };

    // The default folder: "Jotbox" in the user's data folder ($XDG_DATA_HOME).
    PersistenceManager();
    // A folder given here is used exactly as it is.
    explicit PersistenceManager(QString directory);

    QUrl directoryURL() const { return QUrl::fromLocalFile(m_directory); }
    QString directoryPath() const { return m_directory; }
    QString filePath() const;

    // Never fails: a missing or unreadable file gives an empty list. Also
    // clears away what a save killed half-way left in the folder.
    QList<Note> load();

    // nullopt when the list was written and flushed to the disk; otherwise
    // why it was not, with the previous file left as it was.
    std::optional<QString> save(const QList<Note>& notes);

    // Looks at the file again; reads it only when it may have changed. What
    // changed and decodes becomes what Jotbox knows; a missing or broken file
    // does not, until acceptCurrent().
    DiskState reread();
    // Takes the file as it is now as known: gone, or broken (so that the
    // next save sets it aside first).
    void acceptCurrent();

    // Copies sync engines make of the file when two machines changed it
    // (Syncthing, Nextcloud, Dropbox, rclone bisync), oldest name first.
    QStringList conflictCopies() const;
    std::optional<QList<Note>> readCopy(const QString& path);

private:
    // What identifies the file's content without reading it.
    struct Stamp {
        bool exists = false;
        quint64 device = 0, inode = 0, size = 0;
        qint64 modified = 0, changed = 0; // nanoseconds
        friend bool operator==(const Stamp&, const Stamp&) = default;
    };
    Stamp stamp() const;
    void know(const QByteArray& bytes);
    void ignoreForSyncthing() const;
    bool ensureDirectory(QString* error) const;
    bool setAsideUnreadable(QString* error);

    QString m_directory;
    PosixFileSystem m_fs;
    AtomicFileWriter m_writer{m_fs};
    bool m_leftoversRemoved = false;
    // Set when load found a file it could not read; that file is moved
    // aside, never overwritten, before the next save.
    bool m_unreadableOnDisk = false;
    NotesFile::Encoder m_encoder;
    // The file as Jotbox last read or wrote it.
    Stamp m_knownStamp;
    std::size_t m_knownHash = 0;
};

} // namespace jotbox
