#pragma once

#include "notes/AtomicFileWriter.h"
#include "notes/Note.h"
#include "notes/NotesFile.h"
#include "notes/PosixFileSystem.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace jotbox {

// Moves the whole list of notes between memory and "notes.json", and
// tells when another program (a sync engine) has changed the file since.
class PersistenceManager {
public:
    // The file now, against what Jotbox last read or wrote.
    struct DiskState {
        enum Kind { unchanged, changed, missing, unreadable } kind = unchanged;
        NotesDocument document; // when changed
    };
    enum class Written { yes, unchanged, raced, failed };

    // The default folder: "Jotbox" in the user's data folder ($XDG_DATA_HOME),
    // and this machine's own files in "Jotbox" in its cache folder.
    PersistenceManager();
    // A folder given here is used exactly as it is; without a cache folder,
    // this machine's own files are kept in memory only.
    explicit PersistenceManager(QString directory, QString cacheDirectory = {},
                                std::shared_ptr<FileSystem> fs = nullptr);

    QUrl directoryURL() const { return QUrl::fromLocalFile(m_directory); }
    QString directoryPath() const { return m_directory; }
    QString filePath() const;
    QString cacheDirectory() const { return m_cacheDirectory; }

    // Never fails: a missing or unreadable file gives an empty list. Also
    // clears away what a save killed half-way left in the folder.
    QList<Note> load();
    NotesDocument loadDocument();

    // nullopt when the list was written and flushed to the disk; otherwise
    // why it was not, with the previous file left as it was.
    std::optional<QString> save(const QList<Note>& notes);
    // Writes the document unless the file already holds exactly its bytes,
    // and, when guarded, never over a file changed since Jotbox last looked
    // (raced).
    Written write(const NotesDocument& document, QString* error = nullptr, bool guarded = true);

    // Whether the file is still the one last read or written.
    bool isCurrent() { return isAsKnown(); }
    // Whether the file, as Jotbox last found it, is not there.
    bool knownAbsent() const { return !m_knownStamp.exists; }

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
    std::optional<NotesDocument> readCopy(const QString& path);
    void removeCopy(const QString& path);
    // Writes the document as a copy of that kind, named for this machine
    // (`machine`: seven letters or digits) and the time, or over the copy
    // `previous` names, unless that holds it already. The name written;
    // `held`, when given, tells whether the copy now holds the document.
    QString writeCopy(const NotesDocument& document, const QString& machine,
                      const QString& previous = {}, bool* held = nullptr);
    // Whether a copy is one writeCopy named for `machine`, not an engine's.
    static bool isCopyOf(const QString& path, const QString& machine);
    // The notes a quit could not save, kept in the cache folder, which
    // conflictCopies() lists too: the next start merges them. Its path, or
    // none when it could not be written either.
    QString writeUnsaved(const NotesDocument& document, const QString& machine);

private:
    void know(const FileStamp& stamp, QByteArrayView bytes);
    bool isAsKnown();
    void ignoreForSyncthing() const;
    bool ensureDirectory(QString* error) const;
    bool setAsideUnreadable(QString* error);

    QString m_directory, m_cacheDirectory;
    std::shared_ptr<FileSystem> m_fs;
    AtomicFileWriter m_writer{*m_fs};
    bool m_leftoversRemoved = false;
    // Set when load found a file it could not read; that file is moved
    // aside, never overwritten, before the next save.
    bool m_unreadableOnDisk = false;
    NotesFile::Encoder m_encoder;
    // The file as Jotbox last read or wrote it.
    FileStamp m_knownStamp;
    std::size_t m_knownHash = 0;
};

} // namespace jotbox
