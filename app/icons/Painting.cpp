#include "app/icons/Painting.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace pictures {
namespace {

QImage blank(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Everything is drawn on a 100 by 100 canvas and scaled, so each picture looks alike at any size.
void scaleTo(QPainter& p, int width, int height)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(width / 100.0, height / 100.0);
}

void envelope(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(QColor(40, 60, 110), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(250, 248, 236));
    p.drawRoundedRect(r, 4, 4);
    QPainterPath flap;
    flap.moveTo(r.topLeft() + QPointF(3, 3));
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.6);
    flap.lineTo(r.topRight() + QPointF(-3, 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

void faceDisc(QPainter& p, const QColor& inner, const QColor& outer)
{
    QRadialGradient fill(QPointF(40, 35), 60);
    fill.setColorAt(0, inner);
    fill.setColorAt(1, outer);
    p.setPen(QPen(QColor(90, 60, 10), 4));
    p.setBrush(fill);
    p.drawEllipse(QRectF(6, 6, 88, 88));
}

} // namespace

QImage PaintProgram(int size)
{
    QImage image = blank(size, size);
    QPainter p(&image);
    scaleTo(p, size, size);
    QLinearGradient sky(0, 0, 0, 100);
    sky.setColorAt(0, QColor(80, 150, 230));
    sky.setColorAt(1, QColor(30, 80, 170));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(2, 2, 96, 96), 18, 18);
    envelope(p, QRectF(14, 28, 72, 48));
    // The dot that says "there is something new".
    p.setPen(QPen(Qt::white, 4));
    p.setBrush(QColor(230, 50, 40));
    p.drawEllipse(QRectF(64, 12, 28, 28));
    return image;
}

QImage PaintAbout(int width, int height)
{
    QImage image = blank(width, height);
    QPainter p(&image);
    scaleTo(p, width, height);
    QLinearGradient glow(0, 0, 100, 100);
    glow.setColorAt(0, QColor(255, 250, 220));
    glow.setColorAt(1, QColor(200, 220, 250));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawRect(QRectF(0, 0, 100, 100));
    envelope(p, QRectF(10, 34, 56, 40));
    envelope(p, QRectF(30, 20, 56, 40));
    // A magnifying glass over the envelopes: the checker looking for mail.
    p.setPen(QPen(QColor(60, 40, 20), 7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(72, 78), QPointF(92, 96));
    p.setPen(QPen(QColor(60, 60, 70), 5));
    p.setBrush(QColor(190, 225, 255, 150));
    p.drawEllipse(QRectF(46, 46, 34, 34));
    return image;
}

QImage PaintClock(int size)
{
    QImage image = blank(size, size);
    QPainter p(&image);
    scaleTo(p, size, size);
    p.setPen(QPen(QColor(30, 30, 40), 5));
    p.setBrush(QColor(255, 255, 245));
    p.drawEllipse(QRectF(6, 6, 88, 88));
    p.translate(50, 50);
    for (int i = 0; i < 12; ++i) {
        p.setPen(QPen(QColor(30, 30, 40), i % 3 == 0 ? 6 : 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -36), QPointF(0, -30));
        p.rotate(30);
    }
    p.setPen(QPen(QColor(30, 30, 40), 7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0, 0), QPointF(16, -12)); // hour hand at ten past two
    p.setPen(QPen(QColor(200, 40, 30), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0, 0), QPointF(24, 14)); // minute hand
    p.setBrush(QColor(200, 40, 30));
    p.drawEllipse(QPointF(0, 0), 4, 4);
    return image;
}

QImage PaintHappyFace(int size)
{
    QImage image = blank(size, size);
    QPainter p(&image);
    scaleTo(p, size, size);
    faceDisc(p, QColor(255, 240, 120), QColor(250, 190, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 40, 10));
    p.drawEllipse(QRectF(30, 30, 12, 16));
    p.drawEllipse(QRectF(58, 30, 12, 16));
    p.setPen(QPen(QColor(60, 40, 10), 6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(26, 34, 48, 40), 200 * 16, 140 * 16);
    return image;
}

QImage PaintSleepyFace(int size)
{
    QImage image = blank(size, size);
    QPainter p(&image);
    scaleTo(p, size, size);
    faceDisc(p, QColor(235, 235, 225), QColor(180, 185, 190));
    p.setPen(QPen(QColor(60, 60, 70), 5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(26, 34, 18, 12), 180 * 16, 180 * 16); // closed eyes
    p.drawArc(QRectF(56, 34, 18, 12), 180 * 16, 180 * 16);
    p.drawLine(QPointF(38, 68), QPointF(62, 68)); // nothing to smile about
    p.setPen(QPen(QColor(40, 80, 160), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF z[] = { { 70, 8 }, { 86, 8 }, { 70, 22 }, { 86, 22 } };
    p.drawPolyline(z, 4);
    return image;
}

} // namespace pictures
