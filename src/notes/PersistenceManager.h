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

// Moves the whole list of notes between memory and "notes.json".
class PersistenceManager {
public:
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

private:
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
};

} // namespace jotbox
