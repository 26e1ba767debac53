// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The theme icons: each PNG is what the art tool draws today, the small ones the program's own, the SVG alike.
#include "tools/drawart/pictures.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>

#include <cstdlib>

namespace {

const QString kIcons = QStringLiteral(KESTRUM_SOURCE_DIR "/packaging/icons/hicolor/%1/apps/org.kestrum.UsbKestrum.%2");

QImage Load(const QString &path) { return QImage(path).convertToFormat(QImage::Format_ARGB32); }

// The largest difference of any channel of any pixel, and the mean one.
std::pair<int, double> Compare(const QImage &a, const QImage &b)
{
    int largest = 0;
    long long sum = 0;
    const auto *p = a.constBits(), *q = b.constBits();
    for (qsizetype i = 0; i < a.sizeInBytes(); ++i) {
        largest = std::max(largest, std::abs(int(p[i]) - int(q[i])));
        sum += std::abs(int(p[i]) - int(q[i]));
    }
    return {largest, double(sum) / double(a.sizeInBytes())};
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
            const int largest = Compare(png, drawart::AppIcon(size).convertToFormat(QImage::Format_ARGB32)).first;
            QVERIFY2(largest <= 2, qPrintable(QString("%1px: rerun kestrum-drawart (res/art.md)").arg(size)));
            if (size <= 32)
                QCOMPARE(png, Load(QStringLiteral(KESTRUM_SOURCE_DIR "/res/app_icon_%1.png").arg(size)));
        }
    }

    void svgIsTheSameDrawing()
    {
        QSvgRenderer svg(kIcons.arg("scalable", "svg"));
        QVERIFY(svg.isValid());
        QCOMPARE(svg.viewBoxF(), QRectF(0, 0, 32, 32));
        QImage rendered(256, 256, QImage::Format_ARGB32);
        rendered.fill(Qt::transparent);
        {
            QPainter p(&rendered);
            svg.render(&p);
        }
        // Two renderers smooth edges a little differently; the shapes and colours agree.
        const double mean = Compare(rendered, Load(kIcons.arg("256x256", "png"))).second;
        QVERIFY2(mean < 2.0, qPrintable(QString("mean difference %1").arg(mean)));
    }
};

QTEST_MAIN(ThemeIconsTest)
#include "theme_icons_test.moc"
