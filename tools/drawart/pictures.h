// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Our own pictures: the tree images, the Exit button's face, the banner and
// the application icon. Each function draws one picture into a fresh image.
#pragma once
#include <QImage>

class QPainter;

namespace drawart {

QImage TreeImages();           // 64 x 16: printer with globe, printer, printer stopped, smiling face
QImage ExitButtonFace();       // 24 x 24: white eject sign on an orange rounded square
QImage Banner();               // 556 x 46
QImage AppIcon(int size);      // size x size (16, 32 and up), with transparency
void DrawAppIcon(QPainter &p); // the icon's drawing on a 32 x 32 grid, for the SVG

}  // namespace drawart
