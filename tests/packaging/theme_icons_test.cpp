// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The theme icons: each PNG is what the art tool draws today (it writes the SVG with them), the small ones the
// program's own.
#include "tools/drawart/pictures.h"

#include <QImage>
#include <QtTest>

#include <cstdlib>

namespace {

const QString kIcons = QStringLiteral(KESTRUM_SOURCE_DIR "/packaging/icons/hicolor/%1/apps/org.kestrum.UsbKestrum.%2");

QImage Load(const QString &path) { return QImage(path).convertToFormat(QImage::Format_ARGB32); }

// The largest difference of any channel of any pixel.
int LargestDifference(const QImage &a, const QImage &b)
{
    int largest = 0;
    const auto *p = a.constBits(), *q = b.constBits();
    for (qsizetype i = 0; i < a.sizeInBytes(); ++i)
        largest = std::max(largest, std::abs(int(p[i]) - int(q[i])));
    return largest;
}

}  // namespace

class ThemeIconsTest : public QObject {
    Q_OBJECT

private slots:
    void pngsAreTodaysDrawing()
    {
        for (int size : {16, 32, 48, 64, 128, 256}) {
            const QImage png = Load(kIcons.arg(QString("%1x%1").arg(size), "png"));
            QCOMPARE(png.size(), QSize(size, size));
            QCOMPARE(qAlpha(png.pixel(0, 0)), 0);  // the shape stands free of its square
            const int largest = LargestDifference(png, drawart::AppIcon(size).convertToFormat(QImage::Format_ARGB32));
            QVERIFY2(largest <= 2, qPrintable(QString("%1px: rerun kestrum-drawart (res/art.md)").arg(size)));
            if (size <= 32)
                QCOMPARE(png, Load(QStringLiteral(KESTRUM_SOURCE_DIR "/res/app_icon_%1.png").arg(size)));
        }
    }
};

QTEST_MAIN(ThemeIconsTest)
#include "theme_icons_test.moc"
