#include "app/AppIcons.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <functional>

namespace {

// Each image is drawn on a 32-unit grid and rendered at both sizes a title bar
// and a task bar ask for, so neither is a blurred scaling of the other.
QIcon drawnIcon(const std::function<void(QPainter&)>& draw)
{
    QIcon icon;
    for (int size : {16, 32}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, size > 16);
        painter.scale(size / 32.0, size / 32.0);
        draw(painter);
        painter.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace

QIcon launcherIcon()
{
    return drawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0, 0, 128), 2));
        p.setBrush(QColor(255, 255, 240));
        p.drawRoundedRect(QRectF(2, 6, 28, 20), 3, 3);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        const int bars[] = {2, 1, 3, 1, 2, 2, 1, 3, 1, 2};
        qreal x = 6;
        for (int i = 0; i < 10; ++i) {
            if (i % 2 == 0)
                p.drawRect(QRectF(x, 10, bars[i], 12));
            x += bars[i] + 0.5;
        }
    });
}

QIcon settingsIcon()
{
    return drawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(64, 64, 64), 2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5, 2, 20, 27));
        p.setPen(QPen(QColor(0, 0, 192), 2));
        for (int y : {8, 13, 18})
            p.drawLine(QPointF(9, y), QPointF(21, y));
        p.setPen(QPen(QColor(255, 0, 0), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(14, 22), QPointF(19, 27), QPointF(29, 15)}));
    });
}
