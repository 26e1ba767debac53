// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The banner across the top of the main window: a blue-to-teal band with the
// product name and a printer pictogram.
#include "tools/drawart/pictures.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace drawart {

namespace {

// A printer in white outline, 30 x 26, at (x, y).
void Pictogram(QPainter &p, qreal x, qreal y)
{
    p.save();
    p.translate(x, y);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor ink(255, 255, 255);
    p.setPen(QPen(ink, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(8, 1, 14, 7));  // sheet going in
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawRoundedRect(QRectF(1, 8, 28, 12), 2, 2);  // body
    p.setBrush(QColor(255, 255, 255));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(23, 11, 3, 2));  // lamp
    p.setPen(QPen(ink, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(QColor(11, 50, 110));
    p.drawRect(QRectF(7, 16, 16, 9));  // sheet coming out
    p.setPen(QPen(ink, 1.0));
    p.drawLine(QPointF(10, 19.5), QPointF(20, 19.5));
    p.drawLine(QPointF(10, 22.5), QPointF(17, 22.5));
    p.restore();
}

}  // namespace

QImage Banner(int scale)
{
    const int w = 556;
    const int h = 46;
    QImage image(w * scale, h * scale, QImage::Format_RGB32);
    QPainter p(&image);
    p.scale(scale, scale);

    QLinearGradient band(0, 0, w, 0);
    band.setColorAt(0.0, QColor(10, 40, 104));
    band.setColorAt(0.55, QColor(14, 92, 140));
    band.setColorAt(1.0, QColor(18, 140, 140));
    p.fillRect(0, 0, w, h, band);

    // A soft sheen over the upper half and a thin light edge at the foot.
    QLinearGradient sheen(0, 0, 0, h);
    sheen.setColorAt(0.0, QColor(255, 255, 255, 46));
    sheen.setColorAt(0.5, QColor(255, 255, 255, 8));
    sheen.setColorAt(0.51, QColor(255, 255, 255, 0));
    sheen.setColorAt(1.0, QColor(0, 0, 0, 24));
    p.fillRect(0, 0, w, h, sheen);
    p.fillRect(0, h - 1, w, 1, QColor(120, 210, 220));

    Pictogram(p, 14, 10);

    QFont font("DejaVu Sans");
    font.setPixelSize(23);
    font.setBold(true);
    font.setStyleStrategy(QFont::PreferAntialias);
    p.setFont(font);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const QRect textBox(58, 0, 400, h - 1);
    p.setPen(QColor(0, 20, 50, 110));
    p.drawText(textBox.translated(1, 1), Qt::AlignLeft | Qt::AlignVCenter, "USB Kestrum");
    p.setPen(Qt::white);
    p.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, "USB Kestrum");
    return image;
}

}  // namespace drawart
