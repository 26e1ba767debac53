#include "platform/ui/dialog_units.h"

#include <QFontMetrics>
#include <cstring>

namespace platform {

namespace {

int MulDiv(int number, int numerator, int denominator)
{
    long long product = static_cast<long long>(number) * numerator;
    long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

bool IsOldDialogFace(const char *face) { return std::strcmp(face, "MS Sans Serif") == 0; }

}  // namespace

QFont TemplateFont(const char *face, int pointSize)
{
    // Liberation Sans keeps Arial's metrics. The old 8-point dialog face is a
    // bitmap font no Linux machine has; Liberation Sans a pixel smaller draws
    // its texts in about the same widths, so they fit the rectangles made for them.
    const bool old = IsOldDialogFace(face);
    QFont font(old || std::strcmp(face, "Arial") == 0 ? QStringLiteral("Liberation Sans") : QString::fromLatin1(face));
    font.setPixelSize(MulDiv(pointSize, 96, 72) - (old ? 1 : 0));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogBaseUnits TemplateBaseUnits(const char *face, int pointSize, const QFont &font)
{
    // The bitmap face's own units at 8 points, which its templates were laid out in.
    if (IsOldDialogFace(face) && pointSize == 8)
        return DialogBaseUnits{6, 13};
    return MeasureBaseUnits(font);
}

DialogBaseUnits MeasureBaseUnits(const QFont &font)
{
    QFontMetrics metrics(font);
    int alphabet = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogBaseUnits{(alphabet / 26 + 1) / 2, metrics.height()};
}

int DialogUnitsToPixelsX(int units, const DialogBaseUnits &base) { return MulDiv(units, base.cx, 4); }
int DialogUnitsToPixelsY(int units, const DialogBaseUnits &base) { return MulDiv(units, base.cy, 8); }

QRect DialogUnitsToPixels(const QRect &units, const DialogBaseUnits &base)
{
    int left = DialogUnitsToPixelsX(units.x(), base);
    int top = DialogUnitsToPixelsY(units.y(), base);
    int right = DialogUnitsToPixelsX(units.x() + units.width(), base);
    int bottom = DialogUnitsToPixelsY(units.y() + units.height(), base);
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace platform
