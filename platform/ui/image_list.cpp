// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/image_list.h"

namespace platform {

int ImageList::Add(const QPixmap &strip)
{
    if (strip.isNull() || m_size.width() <= 0)
        return -1;
    int first = GetImageCount();
    for (int x = 0; x + m_size.width() <= strip.width(); x += m_size.width())
        m_images.emplace_back(strip.copy(x, 0, m_size.width(), m_size.height()));
    return first;
}

QIcon ImageList::Icon(int index) const
{
    if (index < 0 || index >= GetImageCount())
        return QIcon();
    return m_images[static_cast<std::size_t>(index)];
}

}  // namespace platform
