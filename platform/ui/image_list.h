// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// An image list: equal-sized pictures cut from one strip bitmap.
#pragma once
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <vector>

namespace platform {

class ImageList {
public:
    void Create(int cx, int cy)
    {
        m_size = QSize(cx, cy);
        m_images.clear();
    }
    // Adds every whole picture of the strip, left to right; a null strip adds none.
    // A strip drawn for a denser screen (device pixel ratio above 1) gives
    // pictures of the same size in the strip's own ratio.
    int Add(const QPixmap &strip);
    int GetImageCount() const { return static_cast<int>(m_images.size()); }
    QIcon Icon(int index) const;

private:
    QSize m_size{16, 16};
    std::vector<QIcon> m_images;  // one icon per picture, so setting it again is no change
};

// A bitmap of the program's resources as drawn for a screen of the given device
// pixel ratio: above 1, the picture drawn at twice the size ("NAME@2x.png"
// beside "NAME.png") where there is one; else the picture itself.
QPixmap LoadBitmap(const QString &path, qreal devicePixelRatio);

}  // namespace platform
