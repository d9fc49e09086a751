// Renders the panel offscreen to a PNG, for the README:
//   render_panel OUTPUT.png [device-pixel-ratio] [dark | many]
// "many": a dozen notes with long first lines, the eleventh active.
#include "app/KeyablePanel.h"
#include "views/ContentView.h"
#include "views/NoteEditorView.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>

using namespace jotbox;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [scale]\n", argv[0]);
        return 2;
    }
    const qreal scale = argc > 2 ? QString::fromLocal8Bit(argv[2]).toDouble() : 1.0;
    if (argc > 3 && QByteArray(argv[3]) == "dark") {
        // A typical dark desktop palette, to check the panel reads well on one.
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x2b, 0x2d, 0x31));
        dark.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
        dark.setColor(QPalette::Base, QColor(0x1f, 0x20, 0x23));
        dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
        dark.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe6));
        dark.setColor(QPalette::Mid, QColor(0x45, 0x47, 0x4c));
        QApplication::setPalette(dark);
    }

    QTemporaryDir dir;
    auto persistence = std::make_shared<PersistenceManager>(dir.path());
    QList<Note> notes = {
        Note{QUuid::createUuid(), "Groceries\nmilk, eggs, coffee", 0},
        Note{QUuid::createUuid(),
             "Call Dana about the release\n"
             "- move the demo to Thursday\n"
             "- ask for the signed-off build\n"
             "- \"ship it\" -- if tests are green\n\n"
             "Room 4.12, 10:30",
             0},
        Note{QUuid::createUuid(), "A note whose first line is much longer than a tab can show", 0},
    };
    const bool many = argc > 3 && QByteArray(argv[3]) == "many";
    for (int i = 4; many && i <= 12; ++i)
        notes.append(Note{QUuid::createUuid(), QString("Note %1, whose first line runs long").arg(i), 0});
    (void)persistence->save(notes);
    NoteStore store(persistence);
    auto* content = new ContentView(&store);
    content->setFixedSize(KeyablePanel::kSize);
    KeyablePanel panel(content);
    panel.setFocusProxy(content->editor()); // as the program has it: typing goes to the editor
    panel.show();
    QApplication::processEvents();
    store.selectTab(many ? 10 : 1);
    QApplication::processEvents();

    QPixmap pixmap(QSize(464, 256) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    panel.render(&pixmap);
    return pixmap.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
