// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The Exit button's face: a white eject sign on an orange rounded square.
#include "tools/drawart/pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace drawart {

QImage ExitButtonFace(int scale)
{
    // The button's own face colour shows round the corners.
    QImage image(24 * scale, 24 * scale, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter p(&image);
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing, true);

    const QRectF box(1.5, 1.5, 21, 21);
    QLinearGradient face(box.topLeft(), box.bottomLeft());
    face.setColorAt(0.0, QColor(255, 176, 64));
    face.setColorAt(1.0, QColor(232, 112, 12));
    p.setBrush(face);
    p.setPen(QPen(QColor(176, 80, 0), 1.0));
    p.drawRoundedRect(box, 4.5, 4.5);

    // The eject sign: a triangle over two bars, pixel-aligned so it stays sharp.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    QPainterPath triangle;
    triangle.moveTo(12.0, 5.0);
    triangle.lineTo(18.5, 12.5);
    triangle.lineTo(5.5, 12.5);
    triangle.closeSubpath();
    p.drawPath(triangle);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(6, 14, 12, 2, Qt::white);
    p.fillRect(6, 17, 12, 2, Qt::white);
    return image;
}

}  // namespace drawart
