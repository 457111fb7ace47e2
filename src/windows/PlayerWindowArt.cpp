#include "PlayerWindowArt.h"

#include <QPainter>
#include <QPainterPath>

namespace art {

namespace {

const QColor kInk(235, 240, 250);
const QColor kAccent(64, 156, 255);

void drawTelevision(QPainter& p, double s) {
    p.setPen(QPen(kInk, s * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(s * 0.1, s * 0.22, s * 0.8, s * 0.56), s * 0.06, s * 0.06);
    p.drawLine(QPointF(s * 0.35, s * 0.06), QPointF(s * 0.5, s * 0.22));
    p.drawLine(QPointF(s * 0.65, s * 0.06), QPointF(s * 0.5, s * 0.22));
    p.drawLine(QPointF(s * 0.3, s * 0.9), QPointF(s * 0.7, s * 0.9));
    p.setBrush(kAccent);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(s * 0.18, s * 0.3, s * 0.64, s * 0.4));
}

void drawRadio(QPainter& p, double s) {
    p.setPen(QPen(kInk, s * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(s * 0.1, s * 0.3, s * 0.8, s * 0.55), s * 0.08, s * 0.08);
    p.drawLine(QPointF(s * 0.2, s * 0.3), QPointF(s * 0.7, s * 0.08));
    p.setBrush(kAccent);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(s * 0.35, s * 0.58), s * 0.16, s * 0.16);
    p.setBrush(kInk);
    for (int i = 0; i < 3; ++i)
        p.drawRect(QRectF(s * 0.6, s * (0.45 + i * 0.1), s * 0.2, s * 0.04));
}

} // namespace

QPixmap picture(Symbol symbol, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    switch (symbol) {
    case Symbol::Play: {
        QPainterPath tri;
        tri.moveTo(s * 0.3, s * 0.2);
        tri.lineTo(s * 0.8, s * 0.5);
        tri.lineTo(s * 0.3, s * 0.8);
        tri.closeSubpath();
        p.drawPath(tri);
        break;
    }
    case Symbol::Pause:
        p.drawRect(QRectF(s * 0.25, s * 0.2, s * 0.18, s * 0.6));
        p.drawRect(QRectF(s * 0.57, s * 0.2, s * 0.18, s * 0.6));
        break;
    case Symbol::Stop:
        p.drawRect(QRectF(s * 0.25, s * 0.25, s * 0.5, s * 0.5));
        break;
    case Symbol::Enlarge:
        p.setPen(QPen(kInk, s * 0.08));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(s * 0.15, s * 0.25, s * 0.7, s * 0.5));
        p.drawLine(QPointF(s * 0.55, s * 0.45), QPointF(s * 0.75, s * 0.32));
        break;
    case Symbol::Television:
        drawTelevision(p, s);
        break;
    case Symbol::Radio:
        drawRadio(p, s);
        break;
    case Symbol::Close:
        p.setPen(QPen(kInk, s * 0.1, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s * 0.25, s * 0.25), QPointF(s * 0.75, s * 0.75));
        p.drawLine(QPointF(s * 0.75, s * 0.25), QPointF(s * 0.25, s * 0.75));
        break;
    }
    return pm;
}

} // namespace art
