// Our own pictures: the tree images, the Exit button's face, the banner and
// the application icon. Each function draws one picture into a fresh image.
#pragma once
#include <QImage>

namespace drawart {

QImage TreeImages();           // 64 x 16: printer with globe, printer, printer stopped, smiling face
QImage ExitButtonFace();       // 24 x 24: white eject sign on an orange rounded square
QImage Banner();               // 556 x 46
QImage AppIcon(int size);      // 16 or 32, with transparency

}  // namespace drawart
