#include "session/LoginItemService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace jotbox {

namespace {

QString defaultDirectory() {
    const QStringList roots =
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    const QString root =
        roots.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : roots.first();
    return QDir(root).filePath(QStringLiteral("autostart"));
}

QString runningProgram() {
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    if (!appImage.isEmpty())
        return appImage;
    return QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
}

// The value of `key` in the [Desktop Entry] group, or a null string.
QString entryValue(const QByteArray& file, const QByteArray& key) {
    bool inEntry = false;
    for (const QByteArray& raw : file.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (inEntry && eq > 0 && line.left(eq).trimmed() == key)
            return QString::fromUtf8(line.mid(eq + 1).trimmed());
    }
    return {};
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString autostartDirectory, QString executable)
    : m_directory(autostartDirectory.isEmpty() ? defaultDirectory()
                                               : std::move(autostartDirectory)),
      m_executable(executable.isEmpty() ? runningProgram() : std::move(executable)) {}

QString XdgAutostartLoginItem::entryPath() const {
    return QDir(m_directory).filePath(QStringLiteral("jotbox.desktop"));
}

LoginItemService::Status XdgAutostartLoginItem::status() const {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return notRegistered;
    const QByteArray content = file.readAll();
    const bool hidden = entryValue(content, "Hidden") == QLatin1String("true");
    const bool switchedOff =
        entryValue(content, "X-GNOME-Autostart-enabled") == QLatin1String("false");
    return hidden || switchedOff ? notRegistered : enabled;
}

QString XdgAutostartLoginItem::execValue(const QString& program) {
    QString escaped;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            escaped += u'\\';
        escaped += c;
    }
    escaped.replace(u'%', QStringLiteral("%%"));
    // Inside a quoted argument every backslash is itself escaped once more by
    // the string-value rules of desktop entries.
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + escaped + u'"';
}

bool XdgAutostartLoginItem::registerItem() {
    if (m_executable.isEmpty() || !QDir().mkpath(m_directory))
        return false;
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString entry =
        QStringLiteral("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Jotbox\n"
                       "Comment=Scratch-pad in the tray\n"
                       "Exec=%1\n"
                       // Once Jotbox is removed, desktops skip the entry
                       // instead of failing at login.
                       "TryExec=%2\n"
                       "Icon=dev.jotbox.Jotbox\n" // the installed icon
                       "Terminal=false\n"
                       "Hidden=false\n"
                       "X-GNOME-Autostart-enabled=true\n")
            .arg(execValue(m_executable), QString(m_executable)
                                              .replace(u'\\', QStringLiteral("\\\\"))
                                              .replace(u'\n', QStringLiteral("\\n")));
    file.write(entry.toUtf8());
    return file.commit();
}

bool XdgAutostartLoginItem::unregisterItem() {
    return QFile::remove(entryPath()) || !QFile::exists(entryPath());
}

} // namespace jotbox
