// Writes Jotbox's icon as a PNG: render_icon OUTPUT.png [side]
#include "app/JotboxIcon.h"

#include <QGuiApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const int side = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 256;
    return jotbox::drawJotboxIcon(side).save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
