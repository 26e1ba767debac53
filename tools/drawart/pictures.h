// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Our own pictures: the tree images, the Exit button's face, the banner and
// the application icon. Each function draws one picture into a fresh image.
#pragma once
#include <QImage>

class QPainter;

namespace drawart {

// The bitmaps are drawn for a device pixel ratio: `scale` times as many pixels
// each way, the same drawing (2 for screens of 192 dpi).
QImage TreeImages(int scale = 1);      // 64 x 16: printer with globe, printer, printer stopped, smiling face
QImage ExitButtonFace(int scale = 1);  // 24 x 24: white eject sign on an orange rounded square
QImage Banner(int scale = 1);          // 556 x 46
QImage AppIcon(int size);              // size x size (16, 32 and up), with transparency
void DrawAppIcon(QPainter &p);         // the icon's drawing on a 32 x 32 grid, for the SVG

}  // namespace drawart
