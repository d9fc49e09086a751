// Prints the cost of one keystroke in the real widgets (offscreen): from the
// key event to the note, the tab strip and the editor all being up to date.
#include "BenchUtil.h"
#include "views/ContentView.h"
#include "views/NoteEditorView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <cstdio>

using namespace jotbox;
using jotbox::bench::medianMs;

namespace {

QString text(qsizetype bytes) {
    QString s(bytes, QChar(u'x'));
    for (qsizetype i = 70; i < s.size(); i += 71)
        s[i] = u'\n';
    return s;
}

double keystrokeMs(qsizetype noteBytes, int tabs) {
    QTemporaryDir dir;
    auto persistence = std::make_shared<PersistenceManager>(dir.path());
    QList<Note> notes;
    for (int i = 0; i < tabs; ++i)
        notes.append(Note{QUuid::createUuid(), i == 0 ? text(noteBytes) : text(200), 0});
    (void)persistence->save(notes);
    NoteStore store(persistence);
    ContentView view(&store);
    view.resize(464, 256);
    view.show();
    QApplication::processEvents();

    QPlainTextEdit* editor = view.editor()->textView();
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(static_cast<int>(noteBytes / 2));
    editor->setTextCursor(cursor);
    const int runs = noteBytes > 5'000'000 ? 15 : 101;
    const double ms = medianMs(runs, [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(editor, &press);
    });
    if (store.notes().front().content.size() != noteBytes + runs)
        std::abort(); // the keystrokes must have reached the note
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("one keystroke in the middle of the active note (median):\n");
    std::printf("%10s %12s %12s %8s\n", "note", "1 tab", "100 tabs", "ratio");
    const struct {
        const char* name;
        qsizetype bytes;
        const char* target;
    } sizes[] = {{"10 KB", 10 * 1024, "< 1 ms"},
                 {"1 MB", 1024 * 1024, "< 1 ms"},
                 {"10 MB", 10 * 1024 * 1024, "< 16 ms"}};
    for (const auto& s : sizes) {
        const double one = keystrokeMs(s.bytes, 1);
        const double hundred = keystrokeMs(s.bytes, 100);
        std::printf("%10s %9.3f ms %9.3f ms %7.2fx   target %s, ratio <= 1.5x\n", s.name, one,
                    hundred, hundred / one, s.target);
    }
    return 0;
}
