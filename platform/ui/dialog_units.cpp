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

const char *StandIn(const char *face)
{
    // Liberation Sans keeps Arial's metrics; it also stands in for the old
    // 8-point dialog face, which no Linux machine has.
    if (std::strcmp(face, "Arial") == 0 || std::strcmp(face, "MS Sans Serif") == 0)
        return "Liberation Sans";
    return face;
}

}  // namespace

QFont TemplateFont(const char *face, int pointSize)
{
    QFont font(QString::fromLatin1(StandIn(face)));
    font.setPixelSize(MulDiv(pointSize, 96, 72));
    font.setStyleHint(QFont::SansSerif);
    return font;
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
