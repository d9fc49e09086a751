#pragma once

#include <QFileSystemWatcher>
#include <QObject>

namespace jotbox {

// Reports any change in the notes folder or to the notes file. The file is
// watched again after each event: a watch on a file is lost when it is
// replaced by a rename, as sync engines and Jotbox itself replace it; the
// folder's watch sees the rename, the file's sees writes in place.
class NotesFolderWatcher : public QObject {
    Q_OBJECT
public:
    NotesFolderWatcher(QString folder, QString file, QObject* parent = nullptr);

    // Watches the folder and the file, as far as they exist now; a folder
    // not there yet, through the nearest one above it.
    void rewatch();

signals:
    void changed();

private:
    QFileSystemWatcher m_watcher;
    QString m_folder, m_file;
};

} // namespace jotbox
