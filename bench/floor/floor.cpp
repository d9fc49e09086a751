// The floor Jotbox's start-up is measured against: the smallest Qt program
// with what Jotbox must have at start, a tray icon and a hidden 464x256
// plain-text editor, and nothing else.
#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPlainTextEdit editor;
    editor.resize(464, 256);
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkGray);
    QSystemTrayIcon icon{QIcon(pixmap)};
    QObject::connect(&icon, &QSystemTrayIcon::activated, &editor,
                     [&editor] { editor.setVisible(!editor.isVisible()); });
    icon.show();
    return QApplication::exec();
}
