// Saves the X screen, or a part of it, as a PNG (uses $DISPLAY):
//   x11_screenshot OUTPUT.png [X Y WIDTH HEIGHT]
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdlib>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc < 2 || !QGuiApplication::primaryScreen())
        return 2;
    QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    if (argc >= 6)
        shot = shot.copy(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                         std::atoi(argv[5]));
    return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
