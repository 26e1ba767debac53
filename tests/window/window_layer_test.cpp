// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The window layer: messages posted to closed windows, the close request's Cancel, dialog units,
// the label a control takes from its template, the bitmaps for the screen's density.
#include "platform/ui/accessibility.h"
#include "platform/ui/dialog.h"
#include "platform/ui/image_list.h"

#include <QTest>
#include <QTimer>
#include <algorithm>
#include <vector>

using namespace platform;

namespace {

constexpr UINT WM_TEST = WM_USER + 7;

// A dialog that logs what reaches its message map.
class LogDialog : public CDialog {
public:
    explicit LogDialog(int templateId = IDD_FINDING) : CDialog(templateId)
    {
        QTimer::singleShot(10000, this, [this] { EndDialog(-2); });  // a failed check must not hang
    }
    std::vector<std::pair<UINT, WPARAM>> log;
    std::function<void()> onInit;
    long TestMessages() const
    {
        return std::count_if(log.begin(), log.end(), [](const auto &e) { return e.first == WM_TEST; });
    }

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (onInit)
            onInit();
        return TRUE;
    }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        log.emplace_back(msg, msg == WM_CLOSE ? 0 : wParam);
        return msg == WM_TEST ? 0 : CDialog::WindowProc(msg, wParam, lParam);
    }
};

ControlTemplate Entry(ControlKind kind) { return ControlTemplate{100, kind, "", 0, 0, 10, 10, true, false}; }

}  // namespace

class WindowLayerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void postingToClosedOrNullWindowIsHarmless()
    {
        LogDialog dlg;
        HWND during = nullptr;
        auto payload = std::make_shared<int>(42);
        std::weak_ptr<int> watch = payload;
        dlg.onInit = [&] {
            during = dlg.GetSafeHwnd();
            PostMessage(during, WM_TEST, 1, 0, std::move(payload));
            dlg.EndDialog(IDCANCEL);  // before the run starts and the message is handled
        };
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        QVERIFY(during && !dlg.GetSafeHwnd() && dlg.RunEnded() && !dlg.isVisible());
        QVERIFY(!PostMessage(during, WM_TEST, 2) && !PostMessage(nullptr, WM_TEST, 3));
        QVERIFY(!IsWindowEnabled(during) && !IsWindowEnabled(nullptr));
        QCoreApplication::processEvents();
        QCOMPARE(dlg.TestMessages(), 0L);  // dropped with its window
        QVERIFY(watch.expired());          // and its payload freed
        // A handle from the first run never reaches a second one.
        dlg.onInit = [&] {
            PostMessage(during, WM_TEST, 4);
            QTimer::singleShot(0, &dlg, [&] { dlg.EndDialog(IDOK); });
        };
        QCOMPARE(dlg.DoModal(), IDOK);
        QCOMPARE(dlg.TestMessages(), 0L);
    }

    void closeRequestQueuesCancelBehindWhatIsPosted()
    {
        LogDialog dlg(IDD_SERVER_LIST);  // has a close box
        dlg.onInit = [&] {
            PostMessage(dlg.GetSafeHwnd(), WM_TEST, 1);
            PostMessage(dlg.GetSafeHwnd(), WM_CLOSE);
            PostMessage(dlg.GetSafeHwnd(), WM_TEST, 2);
        };
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        const std::vector<std::pair<UINT, WPARAM>> expected{
            {WM_TEST, 1}, {WM_CLOSE, 0}, {WM_TEST, 2}, {WM_COMMAND, IDCANCEL}};
        QCOMPARE(dlg.log, expected);
    }

    // Units from whole-pixel advances, ((sum / 26) + 1) / 2 over the 52 letters; the old 8-point face keeps
    // its templates' units (Arial 10 points is measured with the main window).
    void baseUnits()
    {
        QCOMPARE(BaseUnitsFrom(389, 15).cx, 7);
        QCOMPARE(BaseUnitsFrom(390, 15).cx, 8);
        QCOMPARE(DialogUnitsToPixelsX(2, DialogBaseUnits{7, 16}), 4);  // 3.5 rounds up
        const DialogBaseUnits units = TemplateBaseUnits("MS Sans Serif", 8, TemplateFont("MS Sans Serif", 8));
        QCOMPARE(QSize(units.cx, units.cy), QSize(6, 13));
    }

    // The static text just before a control in the tab ring, over buttons only (the AT-SPI run hears the
    // address entry's).
    void labelOfAControl_data()
    {
        using K = ControlKind;
        QTest::addColumn<std::vector<ControlTemplate>>("controls");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("label");
        QTest::newRow("over a button") << std::vector{Entry(K::StaticText), Entry(K::PushButton), Entry(K::Edit)} << 2
                                       << 0;
        QTest::newRow("another control comes first")
            << std::vector{Entry(K::StaticText), Entry(K::Edit), Entry(K::ListBox)} << 2 << -1;
        QTest::newRow("an icon comes first")
            << std::vector{Entry(K::StaticText), Entry(K::StaticIcon), Entry(K::Edit)} << 2 << -1;
        QTest::newRow("a button has no label") << std::vector{Entry(K::StaticText), Entry(K::PushButton)} << 1 << -1;
        QTest::newRow("alone") << std::vector{Entry(K::TreeView)} << 0 << -1;
    }
    void labelOfAControl()
    {
        QFETCH(std::vector<ControlTemplate>, controls);
        QFETCH(int, index);
        QFETCH(int, label);
        const DialogTemplate t{1, "", 100, 100, "Arial", 10, false, false, controls};
        QCOMPARE(TemplateLabelOf(t, static_cast<std::size_t>(index)), label);
    }

    // The bitmap drawn for the density (the denser one between two), and each picture of a strip its own
    // piece of it, not a scaled copy.
    void bitmapForTheDensity_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<double>("pixmapRatio");
        QTest::newRow("banner at 1.5: the denser one") << ":/res/banner.png" << 1.5 << QSize(1112, 92) << 2.0;
        QTest::newRow("tree images at 2") << ":/res/tree_images.png" << 2.0 << QSize(128, 32) << 2.0;
        QTest::newRow("icon: none drawn denser") << ":/res/app_icon_32.png" << 2.0 << QSize(32, 32) << 1.0;
        QTest::newRow("missing") << ":/res/none.png" << 2.0 << QSize(0, 0) << 1.0;
    }
    void bitmapForTheDensity()
    {
        QFETCH(QString, path);
        QFETCH(double, ratio);
        QFETCH(QSize, pixels);
        QFETCH(double, pixmapRatio);
        const QPixmap bitmap = LoadBitmap(path, ratio);
        QCOMPARE(bitmap.size(), pixels);
        QCOMPARE(bitmap.devicePixelRatio(), pixmapRatio);
        ImageList images;
        images.Create(16, 16);
        const int side = pixels.height(), count = path.contains(QLatin1String("tree")) ? 4 : 0;
        QCOMPARE(count ? images.Add(bitmap) : 0, 0);
        for (int i = 0; i < count; ++i)
            QCOMPARE(images.Icon(i).pixmap(QSize(16, 16), ratio).toImage().convertToFormat(QImage::Format_RGB32),
                     bitmap.copy(i * side, 0, side, side).toImage().convertToFormat(QImage::Format_RGB32));
    }
};

QTEST_MAIN(WindowLayerTest)
#include "window_layer_test.moc"
