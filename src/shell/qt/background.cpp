#include "shell/qt/background.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace qtui {
namespace {

// One database drum (a cylinder seen from the side) with its top at (x, y).
void drawDrum(QPainter& p, qreal x, qreal y, qreal width, qreal height) {
    const qreal rim = width / 4;
    QPainterPath body;
    body.moveTo(x, y + rim / 2);
    body.lineTo(x, y + height);
    body.arcTo(QRectF(x, y + height - rim / 2, width, rim), 180, 180);
    body.lineTo(x + width, y + rim / 2);
    p.drawPath(body);
    p.drawEllipse(QRectF(x, y, width, rim));
    for (int band = 1; band < 3; ++band) {
        const qreal by = y + band * height / 3;
        p.drawArc(QRectF(x, by, width, rim), 180 * 16, 180 * 16);
    }
}

}  // namespace

QPixmap makeBackground(const QSize& size) {
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0.0, QColor(18, 52, 96));
    sky.setColorAt(0.55, QColor(36, 92, 150));
    sky.setColorAt(1.0, QColor(220, 232, 244));
    p.fillRect(pixmap.rect(), sky);

    p.setPen(QPen(QColor(255, 255, 255, 40), 2));
    p.setBrush(QColor(255, 255, 255, 18));
    drawDrum(p, size.width() - 150, 24, 90, 110);
    drawDrum(p, size.width() - 90, 80, 60, 80);

    // A pale panel behind the controls keeps the texts readable on the gradient.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 215));
    p.drawRoundedRect(QRectF(16, 92, size.width() - 32, size.height() - 130), 10, 10);
    p.end();
    return pixmap;
}

}  // namespace qtui
