// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The bitmaps for a screen of twice the density: the ones drawn for it, cut into
// pictures of the right size. The AT-SPI run shows the main window at 192 dpi.
#include "main_window_harness.h"

#include <QTest>

using namespace platform;

class DenseScreenTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void bitmapForTheRatio_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<double>("pixmapRatio");
        QTest::newRow("banner at 1") << ":/res/banner.png" << 1.0 << QSize(556, 46) << 1.0;
        QTest::newRow("banner at 2") << ":/res/banner.png" << 2.0 << QSize(1112, 92) << 2.0;
        QTest::newRow("banner at 1.5: the denser one") << ":/res/banner.png" << 1.5 << QSize(1112, 92) << 2.0;
        QTest::newRow("Exit face at 2") << ":/res/exit_button.png" << 2.0 << QSize(48, 48) << 2.0;
        QTest::newRow("tree images at 2") << ":/res/tree_images.png" << 2.0 << QSize(128, 32) << 2.0;
        QTest::newRow("icon: none drawn denser") << ":/res/app_icon_32.png" << 2.0 << QSize(32, 32) << 1.0;
        QTest::newRow("missing") << ":/res/none.png" << 2.0 << QSize(0, 0) << 1.0;
    }
    void bitmapForTheRatio()
    {
        QFETCH(QString, path);
        QFETCH(double, ratio);
        QFETCH(QSize, pixels);
        QFETCH(double, pixmapRatio);
        const QPixmap bitmap = LoadBitmap(path, ratio);
        QCOMPARE(bitmap.size(), pixels);
        QCOMPARE(bitmap.devicePixelRatio(), pixmapRatio);
    }

    // Each picture of a dense strip is its own piece of it, not a scaled copy.
    void imageListCutsDenseStrips()
    {
        for (double ratio : {1.0, 2.0}) {
            const QPixmap strip = LoadBitmap(QStringLiteral(":/res/tree_images.png"), ratio);
            ImageList images;
            images.Create(16, 16);
            QCOMPARE(images.Add(strip), 0);
            QCOMPARE(images.GetImageCount(), 4);
            const int side = static_cast<int>(16 * ratio);
            for (int i = 0; i < 4; ++i) {
                const QPixmap picture = images.Icon(i).pixmap(QSize(16, 16), ratio);
                QCOMPARE(picture.size(), QSize(side, side));
                QCOMPARE(picture.toImage().convertToFormat(QImage::Format_RGB32),
                         strip.copy(i * side, 0, side, side).toImage().convertToFormat(QImage::Format_RGB32));
            }
        }
    }
};

QTEST_MAIN(DenseScreenTest)
#include "dense_screen_test.moc"
