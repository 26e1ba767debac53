// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/globals.h"
#include "app/monitor_dlg.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPaintEvent>
#include <QPen>
#include <QStyle>

void CMonitorDlg::paintEvent(QPaintEvent *e)
{
    CDialog::paintEvent(e);  // the dialog's own painting
    OnPaint();
}

void CMonitorDlg::OnPaint()
{
    QPainter dc(this);
    if (isMinimized()) {
        const int cx = style()->pixelMetric(QStyle::PM_LargeIconSize);
        const int cy = cx;
        const QRect rc = rect();
        const int x = (rc.width() - cx + 1) / 2;
        const int y = (rc.height() - cy + 1) / 2;
        m_hIcon.paint(&dc, QRect(x, y, cx, cy));
    }
    DrawBitmapAt(dc, QRect(QPoint(1, 1), QPoint(556, 46)), g_hBannerBitmap);
    DrawEtchedCaption(*this, dc, QStringLiteral("Monitor"), 32);
}

void DrawBitmapAt(QPainter &dc, const QRect &rect, const QPixmap *bitmap)
{
    if (!bitmap || bitmap->isNull())
        return;
    dc.drawPixmap(rect.topLeft(), *bitmap);  // at its own size; the rectangle gives the corner only
}

QFont CreateCaptionFont(const char *faceName, int height, int weight, bool italic)
{
    // Verdana's Linux stand-in; the height is the character cell's, so the em
    // size is brought down until the cell fits.
    QString face = QString::fromLatin1(faceName);
    if (face == QLatin1String("Verdana"))
        face = QStringLiteral("DejaVu Sans");
    QFont font(face);
    font.setStyleHint(QFont::TypeWriter, QFont::PreferQuality);
    font.setItalic(italic);
    if (weight > 0)  // the same 1..1000 scale; 0 leaves the face's own
        font.setWeight(static_cast<QFont::Weight>(std::min(1000, weight)));
    int pixels = height;
    font.setPixelSize(pixels);
    while (pixels > 1 && QFontMetrics(font).height() > height)
        font.setPixelSize(--pixels);
    return font;
}

void DrawEtchedCaption(const QWidget &window, QPainter &dc, const QString &text, int rightMargin)
{
    const QRect client = window.rect();
    const int left = client.left(), right = client.right() + 1, bottom = client.bottom() + 1;
    const QFont font = CreateCaptionFont("Verdana", 14, 0, true);
    dc.save();
    dc.setBackgroundMode(Qt::TransparentMode);
    dc.setFont(font);
    const QFontMetrics metrics(font);
    const int cx = metrics.horizontalAdvance(text);
    const int cy = metrics.height();
    const int h = cy + 26;
    const QColor gray(128, 128, 128), white(255, 255, 255);

    dc.setPen(QPen(gray, 1));
    dc.drawLine(left + 5, bottom - h, right - 5 - 1, bottom - h);  // the end point itself excluded
    dc.drawText(QRect(right - cx - rightMargin - 5, bottom - cy - 14, cx, cy),
                Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);

    dc.setPen(QPen(white, 1));
    dc.drawLine(left + 5, bottom - h + 1, right - 5 - 1, bottom - h + 1);
    dc.drawText(QRect(right - cx - rightMargin - 4, bottom - cy - 13, cx, cy),
                Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    dc.restore();
}
