// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The window layer: posted messages across threads, closed windows, the close request's Cancel, dialog units.
#include "platform/ui/dialog.h"

#include <QApplication>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <thread>
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
    struct Entry {
        UINT msg;
        WPARAM wParam;
        bool onWindowThread;
    };
    std::vector<Entry> log;
    std::function<void()> onInit;
    long TestMessages() const
    {
        return std::count_if(log.begin(), log.end(), [](const Entry &e) { return e.msg == WM_TEST; });
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
        log.push_back({msg, wParam, QThread::currentThread() == qApp->thread()});
        if (msg == WM_TEST && wParam == 199)
            EndDialog(IDOK);
        return msg == WM_TEST ? 0 : CDialog::WindowProc(msg, wParam, lParam);
    }
};

}  // namespace

class WindowLayerTest : public QObject {
    Q_OBJECT
private slots:
    void postedFromAnotherThreadArriveInOrderOnWindowThread()
    {
        LogDialog dlg;
        dlg.onInit = [&] {
            std::thread([h = dlg.GetSafeHwnd()] {
                for (int i = 0; i < 200; ++i)
                    PostMessage(h, WM_TEST, static_cast<WPARAM>(i));
            }).detach();
        };
        QCOMPARE(dlg.DoModal(), IDOK);
        WPARAM next = 0;
        for (const auto &e : dlg.log)
            if (e.msg == WM_TEST) {
                QVERIFY(e.onWindowThread);
                QCOMPARE(e.wParam, next++);
            }
        QCOMPARE(next, WPARAM(200));
    }

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
        std::vector<std::pair<UINT, WPARAM>> order;
        for (const auto &e : dlg.log)
            order.emplace_back(e.msg, e.msg == WM_CLOSE ? 0 : e.wParam);
        const std::vector<std::pair<UINT, WPARAM>> expected{
            {WM_TEST, 1}, {WM_CLOSE, 0}, {WM_TEST, 2}, {WM_COMMAND, IDCANCEL}};
        QCOMPARE(order, expected);
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
};

QTEST_MAIN(WindowLayerTest)
#include "window_layer_test.moc"
