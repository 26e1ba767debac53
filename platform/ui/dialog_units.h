// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Dialog units to pixels, measured from a template's font the way the window
// system the templates were drawn for measures them: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth of
// its cell height, both taken from the font at its whole pixel height with
// every glyph's advance a whole number of pixels.
#pragma once
#include <QFont>
#include <QRect>

namespace platform {

struct DialogBaseUnits {
    int cx;  // average character width of the alphabet, in pixels
    int cy;  // cell height of the font, in pixels
};

// The template's font: a face and a point size on a 96 dpi screen, at a whole
// pixel height (10 points: 13 pixels). Faces the machine lacks get
// metric-compatible stand-ins.
QFont TemplateFont(const char *face, int pointSize);

// The width of the 52 letters A-Z and a-z, each glyph's advance taken as the
// font's own hinting instructions make it at the font's pixel height (whole
// pixels; TrueType instructions run by the classic interpreter), summed.
int MeasureAlphabetWidth(const QFont &font);
// The cell height (ascent plus descent) of the font, in whole pixels.
int MeasureCellHeight(const QFont &font);
// Horizontal unit ((sum / 26) + 1) / 2 in integers, vertical unit the cell height.
DialogBaseUnits BaseUnitsFrom(int alphabetWidth, int cellHeight);
DialogBaseUnits MeasureBaseUnits(const QFont &font);
// The units a template is laid out in: measured from its font, or the known
// units of a face that is only stood in for.
DialogBaseUnits TemplateBaseUnits(const char *face, int pointSize, const QFont &font);

int DialogUnitsToPixelsX(int units, const DialogBaseUnits &base);
int DialogUnitsToPixelsY(int units, const DialogBaseUnits &base);
QRect DialogUnitsToPixels(const QRect &units, const DialogBaseUnits &base);

}  // namespace platform
