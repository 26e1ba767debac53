// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// On a screen of twice the density (run with QT_SCALE_FACTOR=2): the bitmaps
// are the ones drawn for it, cut into pictures of the right size, and the main
// window keeps its size and layout in device-independent pixels.
#include "main_window_harness.h"

#include <QPushButton>
#include <QTest>

using namespace platform;

namespace {

}  // namespace

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

    void mainWindowKeepsItsLayout()
    {
        MonitorRun run(QuietWorker());
        auto &dlg = run.dlg;
        qreal ratio = 0;
        QSize client;
        QRect exitRect;
        run.drive.Then([&] { return dlg.isVisible(); });
        run.drive.Then([&] {
            ratio = dlg.devicePixelRatioF();
            client = dlg.rect().size();
            exitRect = dlg.m_btnExit->geometry();
            dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        dlg.DoModal();
        QVERIFY(!run.drive.Aborted());
        QCOMPARE(ratio, 2.0);
        QCOMPARE(client, QSize(558, 371));
        QCOMPARE(exitRect, QRect(528, 341, 24, 24));
        QVERIFY(g_hBannerBitmap);
        QCOMPARE(g_hBannerBitmap->devicePixelRatio(), 2.0);
        QCOMPARE(g_hBannerBitmap->deviceIndependentSize(), QSizeF(556, 46));
    }
};

QTEST_MAIN(DenseScreenTest)
#include "dense_screen_test.moc"
