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

void NotesFolderWatcher::rewatch() {
    for (const QString& path : {m_folder, m_file})
        if (QFileInfo::exists(path) && !m_watcher.files().contains(path) &&
            !m_watcher.directories().contains(path))
            m_watcher.addPath(path);
}

} // namespace jotbox
