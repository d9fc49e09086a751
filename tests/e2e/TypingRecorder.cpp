// Another application for the end-to-end tests to focus: a text field that
// prints each change of its text, so a test sees every key it received.
// Being a Qt window, it stamps its user time on each key, as desktop
// programs do, which is what focus-stealing prevention compares. With
// QT_QPA_PLATFORM=wayland it is a Wayland session's own window instead.
#include <QApplication>
#include <QPlainTextEdit>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QPlainTextEdit field;
    field.setWindowTitle(QStringLiteral("recorder"));
    field.setGeometry(100, 300, 400, 200);
    QObject::connect(&field, &QPlainTextEdit::textChanged, [&field] {
        std::printf("text: %s\n", qPrintable(field.toPlainText()));
        std::fflush(stdout);
    });
    field.show();
    return QApplication::exec();
}
