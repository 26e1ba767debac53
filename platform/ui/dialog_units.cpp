// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/dialog_units.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QString>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_TRUETYPE_TABLES_H

namespace platform {

namespace {

const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int MulDiv(int number, int numerator, int denominator)
{
    long long product = static_cast<long long>(number) * numerator;
    long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

bool IsOldDialogFace(const char *face) { return std::strcmp(face, "MS Sans Serif") == 0; }

struct FontMeasure {
    int alphabetWidth = 0;
    int cellHeight = 0;
};

int PixelHeight(const QFont &font)
{
    if (font.pixelSize() > 0)
        return font.pixelSize();
    return QFontInfo(font).pixelSize();
}

// The file and face index of the face that the font resolves to, as
// fontconfig (which Qt's own font matching uses) finds it. False when the face
// found is not the family that Qt resolved the font to.
bool FindFontFile(const QFont &font, QByteArray &file, int &index)
{
    const QFontInfo info(font);
    const QByteArray family = info.family().toUtf8();
    FcPattern *pattern = FcPatternCreate();
    if (!pattern)
        return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.constData()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(info.weight()));
    FcPatternAddInteger(pattern, FC_SLANT, info.italic() ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, PixelHeight(font));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return false;
    bool found = false;
    FcChar8 *path = nullptr;
    FcChar8 *matchedFamily = nullptr;
    int faceIndex = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch &&
        FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch &&
        QString::fromUtf8(reinterpret_cast<const char *>(matchedFamily)).compare(info.family(), Qt::CaseInsensitive) ==
            0) {
        if (FcPatternGetInteger(match, FC_INDEX, 0, &faceIndex) != FcResultMatch)
            faceIndex = 0;
        file = QByteArray(reinterpret_cast<const char *>(path));
        index = faceIndex;
        found = true;
    }
    FcPatternDestroy(match);
    return found;
}

int RoundedPixels(FT_Pos pos26_6) { return static_cast<int>((pos26_6 + 32) >> 6); }

// The letters' hinted advances and the cell height, from the font file itself.
// The classic TrueType interpreter runs the font's instructions horizontally as
// well, as the templates' window system does, so every advance is the whole
// number of pixels that the font's hinting makes it. Returns false when the
// font cannot be read this way.
bool MeasureWithFreeType(const QFont &font, FontMeasure &out)
{
    QByteArray file;
    int index = 0;
    if (!FindFontFile(font, file, index))
        return false;
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
        return false;
    FT_UInt interpreter = TT_INTERPRETER_VERSION_35;
    FT_Property_Set(library, "truetype", "interpreter-version", &interpreter);
    bool ok = false;
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.constData(), index, &face) == 0) {
        const int pixels = PixelHeight(font);
        if (FT_IS_SCALABLE(face) && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) == 0) {
            ok = true;
            int sum = 0;
            for (const char *c = Alphabet; *c && ok; ++c) {
                const FT_UInt glyph = FT_Get_Char_Index(face, static_cast<FT_ULong>(*c));
                if (glyph == 0 ||
                    FT_Load_Glyph(face, glyph,
                                  FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP | FT_LOAD_NO_AUTOHINT | FT_LOAD_TARGET_MONO) != 0)
                    ok = false;
                else
                    sum += RoundedPixels(face->glyph->advance.x);
            }
            out.alphabetWidth = sum;
            // The cell: the Windows ascent and descent of the OS/2 table, each
            // scaled to the pixel height and rounded; else the face's own.
            const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
            if (os2 && os2->version != 0xFFFF && face->units_per_EM > 0 && os2->usWinAscent + os2->usWinDescent > 0)
                out.cellHeight = MulDiv(os2->usWinAscent, pixels, face->units_per_EM) +
                                 MulDiv(os2->usWinDescent, pixels, face->units_per_EM);
            else
                out.cellHeight = RoundedPixels(face->size->metrics.ascender - face->size->metrics.descender);
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return ok && out.alphabetWidth > 0 && out.cellHeight > 0;
}

// Where the font file cannot be read: Qt's own whole-pixel advances, with full hinting.
FontMeasure MeasureWithQt(const QFont &font)
{
    QFont hinted(font);
    hinted.setHintingPreference(QFont::PreferFullHinting);
    const QFontMetrics metrics(hinted);
    FontMeasure out;
    for (const char *c = Alphabet; *c; ++c)
        out.alphabetWidth += metrics.horizontalAdvance(QChar::fromLatin1(*c));
    out.cellHeight = metrics.height();
    return out;
}

FontMeasure Measure(const QFont &font)
{
    // Dialogs are built again on every run; a font is measured once.
    static std::mutex mutex;
    static std::map<std::tuple<QString, int, int, bool>, FontMeasure> cache;
    const QFontInfo info(font);
    const auto key = std::make_tuple(info.family(), PixelHeight(font), info.weight(), info.italic());
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    FontMeasure m;
    if (!MeasureWithFreeType(font, m))
        m = MeasureWithQt(font);
    cache.emplace(key, m);
    return m;
}

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

int MeasureAlphabetWidth(const QFont &font) { return Measure(font).alphabetWidth; }
int MeasureCellHeight(const QFont &font) { return Measure(font).cellHeight; }

DialogBaseUnits BaseUnitsFrom(int alphabetWidth, int cellHeight)
{
    return DialogBaseUnits{(alphabetWidth / 26 + 1) / 2, cellHeight};
}

DialogBaseUnits MeasureBaseUnits(const QFont &font)
{
    const FontMeasure m = Measure(font);
    return BaseUnitsFrom(m.alphabetWidth, m.cellHeight);
}

DialogBaseUnits TemplateBaseUnits(const char *face, int pointSize, const QFont &font)
{
    // The bitmap face's own units at 8 points, which its templates were laid out in.
    if (IsOldDialogFace(face) && pointSize == 8)
        return DialogBaseUnits{6, 13};
    return MeasureBaseUnits(font);
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
