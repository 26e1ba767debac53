// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/image_list.h"

namespace platform {

int ImageList::Add(const QPixmap &strip)
{
    if (strip.isNull() || m_size.width() <= 0)
        return -1;
    const qreal ratio = strip.devicePixelRatio();
    const QSize piece = (QSizeF(m_size) * ratio).toSize();
    int first = GetImageCount();
    for (int x = 0; x + piece.width() <= strip.width(); x += piece.width()) {
        QPixmap picture = strip.copy(x, 0, piece.width(), piece.height());
        picture.setDevicePixelRatio(ratio);
        m_images.emplace_back(picture);
    }
    return first;
}

QIcon ImageList::Icon(int index) const
{
    if (index < 0 || index >= GetImageCount())
        return QIcon();
    return m_images[static_cast<std::size_t>(index)];
}

QPixmap LoadBitmap(const QString &path, qreal devicePixelRatio)
{
    if (devicePixelRatio > 1.0) {
        QString dense = path;
        const int dot = dense.lastIndexOf(QLatin1Char('.'));
        dense.insert(dot < 0 ? dense.size() : dot, QStringLiteral("@2x"));
        QPixmap pixmap(dense);
        if (!pixmap.isNull()) {
            pixmap.setDevicePixelRatio(2.0);
            return pixmap;
        }
    }
    return QPixmap(path);
}

}  // namespace platform
