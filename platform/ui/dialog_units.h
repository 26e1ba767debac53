// Dialog units to pixels, measured from a template's font the way dialog
// templates have always been laid out: a horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its height.
#pragma once
#include <QFont>
#include <QRect>

namespace platform {

struct DialogBaseUnits {
    int cx;  // average character width of the alphabet, in pixels
    int cy;  // font height, in pixels
};

// The template's font: a face and a point size on a 96 dpi screen. Faces the
// machine lacks get metric-compatible stand-ins.
QFont TemplateFont(const char *face, int pointSize);
DialogBaseUnits MeasureBaseUnits(const QFont &font);
// The units a template is laid out in: measured from its font, or the known
// units of a face that is only stood in for.
DialogBaseUnits TemplateBaseUnits(const char *face, int pointSize, const QFont &font);

int DialogUnitsToPixelsX(int units, const DialogBaseUnits &base);
int DialogUnitsToPixelsY(int units, const DialogBaseUnits &base);
QRect DialogUnitsToPixels(const QRect &units, const DialogBaseUnits &base);

}  // namespace platform
