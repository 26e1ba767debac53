// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The four 16 x 16 tree images side by side on white.
#include "tools/drawart/pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace drawart {

namespace {

// A small desk printer filling the 16 x 16 cell at (x, 0): a sheet going in at
// the top, the grey body, a sheet coming out at the front.
void Printer(QPainter &p, int x)
{
    p.save();
    p.translate(x, 0);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor outline(70, 70, 78);

    // Sheet going in.
    p.fillRect(4, 1, 8, 5, Qt::white);
    p.setPen(QColor(120, 120, 128));
    p.drawRect(4, 1, 7, 5);
    p.setPen(QColor(170, 180, 200));
    p.drawLine(6, 3, 9, 3);

    // Body.
    p.fillRect(1, 6, 14, 6, QColor(196, 198, 204));
    p.fillRect(2, 7, 12, 1, QColor(232, 233, 236));
    p.fillRect(2, 10, 12, 1, QColor(160, 162, 170));
    p.setPen(outline);
    p.drawRect(1, 6, 13, 5);
    p.fillRect(12, 8, 2, 1, QColor(40, 190, 60));  // ready lamp

    // Sheet coming out.
    p.fillRect(3, 11, 10, 4, Qt::white);
    p.setPen(QColor(120, 120, 128));
    p.drawLine(3, 11, 3, 14);
    p.drawLine(12, 11, 12, 14);
    p.drawLine(3, 14, 12, 14);
    p.setPen(QColor(150, 160, 190));
    p.drawLine(5, 12, 10, 12);
    p.restore();
}

// A globe in the lower right corner: the printer is reached over the network.
void Globe(QPainter &p, int x)
{
    p.save();
    p.translate(x, 0);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF ball(7.5, 7.5, 8, 8);
    QRadialGradient sea(QPointF(10.0, 9.5), 6.0);
    sea.setColorAt(0.0, QColor(120, 180, 255));
    sea.setColorAt(1.0, QColor(20, 80, 190));
    p.setPen(Qt::NoPen);
    p.setBrush(sea);
    p.drawEllipse(ball);

    p.setClipRegion(QRegion(ball.toAlignedRect(), QRegion::Ellipse));
    p.setBrush(QColor(60, 170, 70));
    QPainterPath land;
    land.moveTo(9.0, 9.0);
    land.cubicTo(11.0, 8.0, 12.5, 9.5, 11.0, 11.5);
    land.cubicTo(10.0, 12.5, 9.0, 11.0, 9.0, 9.0);
    p.drawPath(land);
    QPainterPath land2;
    land2.moveTo(12.5, 12.5);
    land2.cubicTo(14.5, 12.0, 15.5, 13.5, 13.5, 15.0);
    land2.cubicTo(12.5, 15.0, 12.0, 13.5, 12.5, 12.5);
    p.drawPath(land2);
    p.setClipping(false);

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(10, 45, 120), 1.0));
    p.drawEllipse(ball.adjusted(0.5, 0.5, -0.5, -0.5));
    p.restore();
}

// A red prohibition sign over the lower right: the printer cannot be used.
void Prohibited(QPainter &p, int x)
{
    p.save();
    p.translate(x, 0);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF c(11.5, 11.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(c, 4.4, 4.4);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(215, 20, 20), 1.7));
    p.drawEllipse(c, 3.5, 3.5);
    p.drawLine(QPointF(9.1, 9.1), QPointF(13.9, 13.9));
    p.restore();
}

void Smile(QPainter &p, int x)
{
    p.save();
    p.translate(x, 0);
    p.setRenderHint(QPainter::Antialiasing, true);
    QRadialGradient skin(QPointF(6.5, 5.5), 9.0);
    skin.setColorAt(0.0, QColor(255, 244, 140));
    skin.setColorAt(1.0, QColor(250, 196, 20));
    p.setBrush(skin);
    p.setPen(QPen(QColor(170, 110, 0), 1.0));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));

    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(5, 5, 2, 3, QColor(60, 40, 0));
    p.fillRect(9, 5, 2, 3, QColor(60, 40, 0));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 40, 0), 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(4.0, 4.5, 8.0, 7.0), 200 * 16, 140 * 16);
    p.restore();
}

}  // namespace

QImage TreeImages(int scale)
{
    QImage image(64 * scale, 16 * scale, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.scale(scale, scale);
    Printer(p, 0);
    Globe(p, 0);
    Printer(p, 16);
    Printer(p, 32);
    Prohibited(p, 32);
    Smile(p, 48);
    return image;
}

}  // namespace drawart
