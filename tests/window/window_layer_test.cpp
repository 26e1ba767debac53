// The window layer: posted messages across threads, closed windows, the close
// request's queued Cancel, modal runs and their nesting, boxes from the worker.
#include "platform/ui/dialog.h"
#include "platform/ui/message_box.h"
#include "platform/ui/win_app.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

using namespace platform;

namespace {

constexpr UINT WM_TEST = WM_USER + 7;

// A dialog that logs what reaches its message map.
class LogDialog : public CDialog {
public:
    explicit LogDialog(int templateId = IDD_FINDING) : CDialog(templateId) {}
    struct Entry {
        UINT msg;
        WPARAM wParam;
        bool onWindowThread;
    };
    std::vector<Entry> log;
    std::function<void(UINT, WPARAM)> onMessage;
    std::function<void()> onInit;

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
        if (onMessage)
            onMessage(msg, wParam);
        if (msg == WM_TEST)
            return 0;
        return CDialog::WindowProc(msg, wParam, lParam);
    }
};

// Ends a run that a failed check left open, so a broken test fails instead of hanging.
void Watchdog(CDialog &dlg)
{
    QTimer::singleShot(10000, &dlg, [&dlg] { dlg.EndDialog(-2); });
}

}  // namespace

class WindowLayerTest : public QObject {
    Q_OBJECT
private slots:
    void postedFromAnotherThreadArriveInOrderOnWindowThread()
    {
        LogDialog dlg;
        constexpr int kCount = 200;
        dlg.onMessage = [&](UINT msg, WPARAM w) {
            if (msg == WM_TEST && w == kCount - 1)
                dlg.EndDialog(IDOK);
        };
        dlg.onInit = [&] {
            HWND h = dlg.GetSafeHwnd();
            std::thread([h] {
                for (int i = 0; i < kCount; ++i)
                    PostMessage(h, WM_TEST, static_cast<WPARAM>(i));
            }).detach();
        };
        Watchdog(dlg);
        QCOMPARE(dlg.DoModal(), IDOK);
        std::vector<WPARAM> seen;
        for (const auto &e : dlg.log)
            if (e.msg == WM_TEST) {
                QVERIFY(e.onWindowThread);
                seen.push_back(e.wParam);
            }
        QCOMPARE(seen.size(), std::size_t(kCount));
        for (int i = 0; i < kCount; ++i)
            QCOMPARE(seen[i], WPARAM(i));
    }

    void postingToClosedOrNullWindowIsHarmless()
    {
        LogDialog dlg;
        HWND during;
        auto payload = std::make_shared<int>(42);
        std::weak_ptr<int> watch = payload;
        dlg.onInit = [&] {
            during = dlg.GetSafeHwnd();
            QVERIFY(during);
            PostMessage(during, WM_TEST, 1, 0, std::move(payload));
            dlg.EndDialog(IDCANCEL);  // ends before the queued message is handled
        };
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        QVERIFY(!dlg.GetSafeHwnd());
        QVERIFY(!PostMessage(during, WM_TEST, 2));
        QVERIFY(!PostMessage(nullptr, WM_TEST, 3));
        QVERIFY(!IsWindowEnabled(during));
        QVERIFY(!IsWindowEnabled(nullptr));
        QCoreApplication::processEvents();
        for (const auto &e : dlg.log)
            QVERIFY(e.msg != WM_TEST);  // dropped with its window
        QVERIFY(watch.expired());     // and its payload freed
        // A message from the first run never reaches a second one.
        dlg.log.clear();
        dlg.onInit = [&] { PostMessage(during, WM_TEST, 4); QTimer::singleShot(0, &dlg, [&] { dlg.EndDialog(IDOK); }); };
        QCOMPARE(dlg.DoModal(), IDOK);
        for (const auto &e : dlg.log)
            QVERIFY(e.msg != WM_TEST);
    }

    void closeRequestQueuesCancelBehindWhatIsPosted()
    {
        LogDialog dlg(IDD_SERVER_LIST);  // has a close box
        dlg.onInit = [&] {
            HWND h = dlg.GetSafeHwnd();
            PostMessage(h, WM_TEST, 1);
            PostMessage(h, WM_CLOSE);
            PostMessage(h, WM_TEST, 2);
        };
        Watchdog(dlg);
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        // WM_TEST 1, WM_CLOSE, WM_TEST 2, then the Cancel command the close queued.
        std::vector<UINT> order;
        for (const auto &e : dlg.log)
            order.push_back(e.msg);
        QCOMPARE(order.size(), std::size_t(4));
        QCOMPARE(order[0], WM_TEST);
        QCOMPARE(order[1], WM_CLOSE);
        QCOMPARE(order[2], WM_TEST);
        QCOMPARE(order[3], WM_COMMAND);
        QCOMPARE(dlg.log[3].wParam, WPARAM(IDCANCEL));
    }

    void dialogKeysAndCloseBox_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("expected");
        QTest::newRow("Enter is OK") << 0 << IDOK;
        QTest::newRow("Escape is Cancel") << 1 << IDCANCEL;
        QTest::newRow("close box is Cancel") << 2 << IDCANCEL;
    }
    void dialogKeysAndCloseBox()
    {
        QFETCH(int, action);
        QFETCH(int, expected);
        LogDialog dlg(IDD_SERVER_LIST);
        dlg.onInit = [&] {
            QTimer::singleShot(0, &dlg, [&, action] {
                if (action == 0)
                    dlg.PressKey(Qt::Key_Return);
                else if (action == 1)
                    dlg.PressKey(Qt::Key_Escape);
                else
                    dlg.close();
            });
        };
        Watchdog(dlg);
        QCOMPARE(dlg.DoModal(), expected);
    }

    void endBeforeTheRunStartsEndsItAtOnce()
    {
        LogDialog dlg;
        dlg.onInit = [&] { dlg.EndDialog(IDCANCEL); };
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        QVERIFY(!dlg.isVisible());
        QVERIFY(dlg.RunEnded());
    }

    void enabledOnlyWhileRunningAndNotOwnerOfARun()
    {
        LogDialog owner(IDD_SERVER_LIST);
        CWinApp app;
        app.m_pMainWnd = &owner;
        LogDialog inner;
        bool innerEnabled = false, ownerDuringInner = true, ownerBefore = false, ownerAfter = false;
        QVERIFY(!owner.IsWindowEnabled());
        owner.onInit = [&] {
            QTimer::singleShot(0, &owner, [&] {
                ownerBefore = owner.IsWindowEnabled();
                inner.onInit = [&] {
                    QTimer::singleShot(0, &inner, [&] {
                        innerEnabled = inner.IsWindowEnabled();
                        ownerDuringInner = owner.IsWindowEnabled();
                        inner.EndDialog(IDOK);
                    });
                };
                inner.DoModal();
                ownerAfter = owner.IsWindowEnabled();
                owner.EndDialog(IDOK);
            });
        };
        Watchdog(owner);
        QCOMPARE(owner.DoModal(), IDOK);
        app.m_pMainWnd = nullptr;
        QVERIFY(ownerBefore);
        QVERIFY(innerEnabled);
        QVERIFY(!ownerDuringInner);
        QVERIFY(ownerAfter);
        QVERIFY(!owner.IsWindowEnabled());
    }

    void outerEndedInsideInnerRunReturnsAfterIt()
    {
        // The notice's queued Cancel reaches it while a choice dialog runs inside
        // its loop: the notice goes at once, its run returns after the inner one.
        LogDialog outer, inner(IDD_SERVER_LIST);
        std::vector<std::string> events;
        outer.onInit = [&] {
            QTimer::singleShot(0, &outer, [&] {
                inner.onInit = [&] {
                    QTimer::singleShot(0, &inner, [&] {
                        outer.EndDialog(IDCANCEL);
                        events.push_back(outer.isVisible() ? "outer visible" : "outer hidden");
                        QTimer::singleShot(0, &inner, [&] { inner.EndDialog(IDOK); });
                    });
                };
                events.push_back(inner.DoModal() == IDOK ? "inner ok" : "inner other");
            });
        };
        Watchdog(outer);
        QCOMPARE(outer.DoModal(), IDCANCEL);
        events.push_back("outer returned");
        QCOMPARE(events, (std::vector<std::string>{"outer hidden", "inner ok", "outer returned"}));
    }

    void boxFromWorkerIsShownOnWindowThreadWhileWorkerWaits()
    {
        MessageBoxService service;
        std::vector<MessageBoxCall> calls;
        bool hookOnWindowThread = false;
        SetMessageBoxHook([&](const MessageBoxCall &c) {
            calls.push_back(c);
            hookOnWindowThread = QThread::currentThread() == qApp->thread();
            return 7;
        });
        std::atomic<int> answer{0};
        std::thread worker([&] { answer = MessageBoxFromAnyThread(QStringLiteral("Connect Failed!\n"), QString(), MB_ICONWARNING, {}); });
        QTRY_VERIFY_WITH_TIMEOUT(answer.load() != 0, 10000);
        worker.join();
        SetMessageBoxHook({});
        QCOMPARE(answer.load(), 7);
        QVERIFY(hookOnWindowThread);
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].text, QStringLiteral("Connect Failed!\n"));
        QCOMPARE(calls[0].caption, CWinApp::AppName());  // no caption of its own
        QCOMPARE(calls[0].flags, MB_ICONWARNING);
        QVERIFY(calls[0].fromOtherThread);
    }

    void dialogUnitConversionRounds_data()
    {
        QTest::addColumn<int>("units");
        QTest::addColumn<int>("baseX");
        QTest::addColumn<int>("expectedX");
        QTest::newRow("319 at 7") << 319 << 7 << 558;  // 2233/4 = 558.25
        QTest::newRow("2 at 7") << 2 << 7 << 4;        // 3.5 rounds up
        QTest::newRow("4 at 6") << 4 << 6 << 6;
        QTest::newRow("0") << 0 << 7 << 0;
    }
    void dialogUnitConversionRounds()
    {
        QFETCH(int, units);
        QFETCH(int, baseX);
        QFETCH(int, expectedX);
        QCOMPARE(DialogUnitsToPixelsX(units, DialogBaseUnits{baseX, 16}), expectedX);
    }

    // The templates' window system measures its units from whole-pixel advances:
    // ((sum / 26) + 1) / 2 over the 52 letters, the cell height below.
    void baseUnitsFromTheAlphabet_data()
    {
        QTest::addColumn<int>("sum");
        QTest::addColumn<int>("expected");
        QTest::newRow("Arial 13 px, whole pixels") << 389 << 7;  // 389 / 26 = 14
        QTest::newRow("fractional advances summed") << 394 << 8;
        QTest::newRow("lower edge of 8") << 390 << 8;  // 390 / 26 = 15
        QTest::newRow("lower edge of 7") << 338 << 7;  // 338 / 26 = 13
    }
    void baseUnitsFromTheAlphabet()
    {
        QFETCH(int, sum);
        QFETCH(int, expected);
        QCOMPARE(BaseUnitsFrom(sum, 15).cx, expected);
        QCOMPARE(BaseUnitsFrom(sum, 15).cy, 15);
    }

    // Template 102's Arial 10 points is Liberation Sans at 13 pixels: the letters'
    // hinted advances sum to 389, as Arial's do, so the unit is 7 by 15.
    void arialTenPointsMeasuresSevenByFifteen()
    {
        const QFont font = TemplateFont("Arial", 10);
        QCOMPARE(QFontInfo(font).pixelSize(), 13);
        QCOMPARE(QFontInfo(font).family(), QStringLiteral("Liberation Sans"));
        QCOMPARE(MeasureAlphabetWidth(font), 389);
        QCOMPARE(MeasureCellHeight(font), 15);
        const DialogBaseUnits units = TemplateBaseUnits("Arial", 10, font);
        QCOMPARE(units.cx, 7);
        QCOMPARE(units.cy, 15);
        QCOMPARE(QSize(DialogUnitsToPixelsX(319, units), DialogUnitsToPixelsY(198, units)), QSize(558, 371));
    }

    // The old 8-point dialog face keeps the units its templates were drawn in.
    void msSansSerifEightKeepsSixByThirteen()
    {
        const DialogBaseUnits units = TemplateBaseUnits("MS Sans Serif", 8, TemplateFont("MS Sans Serif", 8));
        QCOMPARE(units.cx, 6);
        QCOMPARE(units.cy, 13);
    }
};

QTEST_MAIN(WindowLayerTest)
#include "window_layer_test.moc"
