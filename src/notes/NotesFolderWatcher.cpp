#include "notes/NotesFolderWatcher.h"

#include <QFileInfo>

namespace jotbox {

NotesFolderWatcher::NotesFolderWatcher(QString folder, QString file, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_file(std::move(file)) {
    const auto onEvent = [this] {
        rewatch();
        emit changed();
    };
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, onEvent);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, onEvent);
    rewatch();
}

// A folder not there yet (a new machine, before the sync engine brought
// it) is waited for at the nearest folder above it that is.
void NotesFolderWatcher::rewatch() {
    QString folder = m_folder;
    while (!QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder)
            break;
        folder = up;
    }
    QStringList wanted{folder};
    if (folder == m_folder && QFileInfo::exists(m_file))
        wanted << m_file;
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    for (const QString& path : watched)
        if (!wanted.contains(path))
            m_watcher.removePath(path);
    for (const QString& path : wanted)
        if (!watched.contains(path))
            m_watcher.addPath(path);
}

} // namespace jotbox
