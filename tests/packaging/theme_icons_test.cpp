// The application icon as the desktop's icon theme gets it: every size of the
// committed PNGs is what the art tool's drawing gives today, the small ones are
// the very pictures of the program's own icon, and the SVG is the same drawing.
#include "tools/drawart/pictures.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>

#include <cstdlib>

namespace {

const QString kThemeDir = QStringLiteral(KESTRUM_SOURCE_DIR "/packaging/icons/hicolor");
const QString kIconFile = QStringLiteral("org.kestrum.UsbKestrum");

QImage Load(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

// The largest difference of any channel of any pixel, and the mean one.
struct Difference {
    int largest = 0;
    double mean = 0;
};

Difference Compare(const QImage &a, const QImage &b)
{
    Difference d;
    long long sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int c : {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))}) {
                d.largest = std::max(d.largest, c);
                sum += c;
            }
        }
    }
    d.mean = double(sum) / (4.0 * a.width() * a.height());
    return d;
}

}  // namespace

class ThemeIconsTest : public QObject {
    Q_OBJECT

private slots:
    void pngs_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("programIcon");  // the program's own picture of that size
        for (int size : {16, 32, 48, 64, 128, 256}) {
            QString own;
            if (size == 16 || size == 32)
                own = QStringLiteral(KESTRUM_SOURCE_DIR "/res/icon%1.png").arg(size);
            QTest::newRow(qPrintable(QString("%1px").arg(size))) << size << own;
        }
    }

    void pngs()
    {
        QFETCH(int, size);
        QFETCH(QString, programIcon);
        const QString path = QString("%1/%2x%2/apps/%3.png").arg(kThemeDir).arg(size).arg(kIconFile);
        const QImage png = Load(path);
        QVERIFY2(!png.isNull(), qPrintable(path + " cannot be read"));
        QCOMPARE(png.size(), QSize(size, size));
        QVERIFY2(png.hasAlphaChannel(), "the icon has no transparency");
        QCOMPARE(qAlpha(png.pixel(0, 0)), 0);  // the shape stands free of its square

        // Drawn by the art tool from today's drawing, not left from an older one.
        const Difference fromDrawing = Compare(png, drawart::AppIcon(size).convertToFormat(QImage::Format_ARGB32));
        QVERIFY2(fromDrawing.largest <= 2,
                 qPrintable(QString("differs from the drawing by %1; rerun kestrum-drawart (res/art.md)")
                                .arg(fromDrawing.largest)));

        if (!programIcon.isEmpty())
            QCOMPARE(png, Load(programIcon));
    }

    void svgIsTheSameDrawing()
    {
        const QString path = QString("%1/scalable/apps/%2.svg").arg(kThemeDir, kIconFile);
        QSvgRenderer svg(path);
        QVERIFY2(svg.isValid(), qPrintable(path + " is not a valid SVG"));
        QCOMPARE(svg.viewBoxF(), QRectF(0, 0, 32, 32));

        QImage rendered(256, 256, QImage::Format_ARGB32);
        rendered.fill(Qt::transparent);
        {
            QPainter p(&rendered);
            svg.render(&p);
        }
        const QImage png = Load(QString("%1/256x256/apps/%2.png").arg(kThemeDir, kIconFile));
        // Two renderers smooth edges a little differently; the shapes and colours agree.
        const Difference d = Compare(rendered, png);
        QVERIFY2(d.mean < 2.0, qPrintable(QString("mean difference %1").arg(d.mean)));
    }
};

QTEST_MAIN(ThemeIconsTest)
#include "theme_icons_test.moc"
