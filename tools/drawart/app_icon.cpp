// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The application icon: a sheet of paper over an orange device box with a
// cable hanging below. One drawing on a 32-unit grid, scaled for 32 px and up
// and for the SVG; 16 px has a pixel-by-pixel copy of it so that it stays sharp.
#include "tools/drawart/pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace drawart {

namespace {

const QColor PaperEdge(110, 110, 120);
const QColor TextLine(120, 150, 210);
const QColor BoxEdge(150, 66, 0);
const QColor Cable(60, 60, 66);

QLinearGradient BoxFace(const QRectF &box)
{
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0.0, QColor(255, 184, 72));
    g.setColorAt(1.0, QColor(226, 104, 10));
    return g;
}

// The drawing itself, on a 32 x 32 grid. Everything is a path or a rectangle
// with antialiasing on, so the same drawing serves every size and the SVG:
// straight edges sit on whole units and stay sharp at 32 px and above.
void Draw32(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing, true);

    // Cable first, so the box covers its top end; a plug at the bottom.
    QPainterPath cable;
    cable.moveTo(16.0, 23.0);
    cable.cubicTo(16.0, 27.0, 21.0, 25.5, 21.0, 28.0);
    p.setPen(QPen(Cable, 2.0, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);
    p.setPen(Qt::NoPen);
    p.fillRect(QRectF(18.5, 28.0, 5.0, 4.0), QColor(150, 150, 158));
    p.fillRect(QRectF(19.0, 28.0, 4.0, 1.0), QColor(90, 90, 98));

    // The sheet, with a folded corner.
    QPainterPath sheet;
    sheet.moveTo(8.5, 1.5);
    sheet.lineTo(19.5, 1.5);
    sheet.lineTo(23.5, 5.5);
    sheet.lineTo(23.5, 16.0);
    sheet.lineTo(8.5, 16.0);
    sheet.closeSubpath();
    p.setPen(QPen(PaperEdge, 1.0));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(19.5, 1.5);
    fold.lineTo(19.5, 5.5);
    fold.lineTo(23.5, 5.5);
    p.setBrush(QColor(220, 222, 228));
    p.drawPath(fold);
    p.fillRect(QRectF(11, 5, 7, 1), TextLine);  // lines of text
    p.fillRect(QRectF(11, 8, 11, 1), TextLine);
    p.fillRect(QRectF(11, 11, 9, 1), TextLine);

    // The box.
    const QRectF box(2.5, 13.5, 27.0, 11.0);
    p.setPen(QPen(BoxEdge, 1.0));
    p.setBrush(BoxFace(box));
    p.drawRoundedRect(box, 2.5, 2.5);
    p.fillRect(QRectF(4, 15, 24, 1), QColor(255, 214, 140));  // top light
    p.fillRect(QRectF(7, 17, 18, 2), QColor(120, 52, 0));     // paper slot
    p.fillRect(QRectF(24, 21, 2, 2), QColor(60, 220, 80));    // lamp
    p.fillRect(QRectF(6, 21, 2, 1), QColor(170, 80, 10));
    p.fillRect(QRectF(9, 21, 2, 1), QColor(170, 80, 10));
}

void Draw16(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing, false);

    // Cable hanging below, with a plug.
    p.fillRect(7, 12, 2, 2, Cable);
    p.fillRect(6, 14, 4, 2, QColor(140, 140, 148));
    p.fillRect(7, 14, 2, 1, QColor(90, 90, 98));

    // Sheet.
    p.fillRect(4, 0, 8, 8, Qt::white);
    p.setPen(PaperEdge);
    p.drawLine(4, 0, 9, 0);
    p.drawLine(4, 0, 4, 7);
    p.drawLine(11, 2, 11, 7);
    p.drawLine(9, 0, 9, 2);
    p.drawLine(9, 2, 11, 2);
    p.drawPoint(10, 1);
    p.setPen(TextLine);
    p.drawLine(6, 3, 8, 3);
    p.drawLine(6, 5, 9, 5);

    // Box.
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF box(0.5, 6.5, 15.0, 6.0);
    p.setPen(QPen(BoxEdge, 1.0));
    p.setBrush(BoxFace(box));
    p.drawRoundedRect(box, 1.5, 1.5);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(2, 7, 12, 1, QColor(255, 214, 140));
    p.fillRect(3, 9, 8, 1, QColor(120, 52, 0));
    p.fillRect(12, 10, 2, 1, QColor(60, 220, 80));
}

}  // namespace

QImage AppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    if (size >= 32) {
        p.scale(size / 32.0, size / 32.0);
        Draw32(p);
    } else {
        Draw16(p);
    }
    return image;
}

void DrawAppIcon(QPainter &p) { Draw32(p); }

}  // namespace drawart
