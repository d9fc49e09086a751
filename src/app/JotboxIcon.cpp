#include "app/JotboxIcon.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>

namespace jotbox {

QImage drawJotboxIcon(int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = side;
    const qreal m = s * 0.14; // margin
    const qreal fold = s * 0.22;
    QPainterPath page;
    page.moveTo(m, m);
    page.lineTo(s - m - fold, m);
    page.lineTo(s - m, m + fold);
    page.lineTo(s - m, s - m);
    page.lineTo(m, s - m);
    page.closeSubpath();
    p.setPen(QPen(QColor(0x3a, 0x3f, 0x47), std::max(1.0, s / 16), Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.setBrush(QColor(0xff, 0xd9, 0x66));
    p.drawPath(page);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({{s - m - fold, m}, {s - m - fold, m + fold}, {s - m, m + fold}}));
    const qreal lineLeft = m + s * 0.12;
    for (int i = 0; i < 3; ++i) {
        const qreal y = m + fold + s * 0.1 + i * s * 0.14;
        const qreal right = s - m - s * (i == 2 ? 0.3 : 0.12);
        p.drawLine(QPointF(lineLeft, y), QPointF(right, y));
    }
    return image;
}

namespace {

// Drawn at the size asked for, when it is asked for: most sizes are never
// shown, and drawing them all at start cost 2 MiB and a few milliseconds
// before the tray icon.
class DrawnIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        if (const int side = int(std::min(rect.width(), rect.height()) * scale); side > 0)
            painter->drawImage(rect, drawJotboxIcon(side));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return side > 0 ? QPixmap::fromImage(drawJotboxIcon(side)) : QPixmap();
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int side : {16, 22, 24, 32, 48, 64, 128, 256})
            sizes << QSize(side, side);
        return sizes;
    }
    QIconEngine* clone() const override { return new DrawnIconEngine; }
    QString key() const override { return QStringLiteral("jotbox-drawn"); }
};

} // namespace

QIcon jotboxIcon() {
    return QIcon(new DrawnIconEngine);
}

QString jotboxIconThemePath() {
    const QString program = QCoreApplication::applicationDirPath();
    for (const QString& folder :
         {program + QLatin1String("/../share/icons"), program + QLatin1String("/icons")})
        if (QFileInfo::exists(folder +
                              QLatin1String("/hicolor/scalable/apps/dev.jotbox.Jotbox.svg")))
            return QFileInfo(folder).canonicalFilePath();
    return {};
}

} // namespace jotbox
