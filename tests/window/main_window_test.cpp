// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: layout, the ways to close, the window menu, workers slow or stubborn, replies in the view.
#include "main_window_harness.h"

#include "dialogs/about_dlg.h"
#include "platform/ui/accessibility.h"
#include "view/printer_tree.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <thread>

using namespace platform;

namespace {

enum class CloseWay { Escape, EnterOnTree, CloseBox, ExitButton, WorkerCloseRequest };
enum class MenuWay { AltSpace, MenuKey, ShiftF10, RightClickBackground, RightClickTree, AboutCommand, MoveCommand };
enum class MenuOutcome { JustCloses, AboutOpens, WindowCloses };

// Closes the notice, then stops when asked (or, stubborn, only when the test releases it).
struct ScriptedWorker {
    std::atomic<bool> sawStop{false};
    EventHandle release = CreateEvent(), done = CreateEvent();
    bool stubborn = false, boxAfterStop = false;
    std::uint32_t stopTakesMs = 0;  // after seeing the stop, before the box and again after it

    CMonitorDlg::WorkerBody Body()
    {
        return [this](std::shared_ptr<WorkerHost> host) {
            CloseNotice(*host);
            if (stubborn) {
                release->Wait(30000);
                // The window is long gone: every question must answer "no window".
                PostMessage(host->Window(HostWindow::Main), WM_CLOSE);
                (void)host->ServerChosen();
                (void)host->RunEnded(HostWindow::ServerList);
            } else {
                WaitForSingleObject(host->StopEvent(), 30000);
                sawStop = true;
                Sleep(stopTakesMs);
                if (boxAfterStop)
                    host->MessageBox("Connect Failed!\n", MB_ICONWARNING);
                Sleep(stopTakesMs);
            }
            done->Set();
        };
    }
};

// Once the window shows, does `act` and, unless it closed the window, closes it by Escape.
void WhenShown(MonitorRun &run, std::function<void()> act)
{
    run.drive.Then([&run] { return run.dlg.isVisible(); });
    run.drive.Then([&run, act] {
        act();
        if (!run.dlg.ShutdownBegun())
            run.dlg.PressKey(Qt::Key_Escape);
        return true;
    });
}

QTreeWidgetItem *Root(CMonitorDlg &dlg) { return dlg.m_treePrinters->topLevelItem(0); }

QString Joined(int from, int to, const std::function<QString(int)> &each)
{
    QStringList out;
    for (int i = from; i < to; ++i)
        out << each(i);
    return out.join(QLatin1Char(' '));
}

// Which picture of the tree's strip each item shows (-1: none of them), the root first.
QString Pictures(CMonitorDlg &dlg)
{
    const QImage strip = QImage(QStringLiteral(":/res/tree_images.png")).convertToFormat(QImage::Format_RGB32);
    return Joined(-1, Root(dlg)->childCount(), [&](int c) {
        const QTreeWidgetItem *item = c < 0 ? Root(dlg) : Root(dlg)->child(c);
        const QImage shown = item->icon(0).pixmap(16, 16).toImage().convertToFormat(QImage::Format_RGB32);
        int i = 0;
        while (i * 16 < strip.width() && shown != strip.copy(i * 16, 0, 16, 16))
            ++i;
        return QString::number(i * 16 < strip.width() ? i : -1);
    });
}

QString NamesOf(CMonitorDlg &dlg)
{
    return Joined(0, Root(dlg)->childCount(), [&](int i) { return Root(dlg)->child(i)->text(0); });
}

// The status list's headings, each with its width.
QString ColumnsOf(CMonitorDlg &dlg)
{
    auto *list = dlg.m_listStatus;
    return Joined(0, list->columnCount(),
                  [&](int c) { return list->headerItem()->text(c) + QString::number(list->columnWidth(c)); });
}

// Whether a renamed item (a printer, a status cell) is announced through the accessible child that reads it.
bool PointsAtItsChild(QTreeView &view, const QModelIndex &index)
{
    QAccessibleInterface *child =
        QAccessible::queryAccessibleInterface(&view)->child(AccessibleChildIndex(view, index));
    return child && child->text(QAccessible::Name) == index.data().toString();
}

// Opens the window menu the way asked, from `control`; where it should show. The commands come as a menu's
// own would, the About entry's with bits above the command's.
QPoint OpenMenu(CMonitorDlg &dlg, MenuWay how, QWidget *control)
{
    if (how == MenuWay::AboutCommand || how == MenuWay::MoveCommand) {
        dlg.SendMessage(WM_SYSCOMMAND, how == MenuWay::AboutCommand ? 0x10010 : 0xF010, 0);
        return {};
    }
    if (how == MenuWay::AltSpace || how == MenuWay::MenuKey || how == MenuWay::ShiftF10) {
        const std::pair<Qt::Key, Qt::KeyboardModifier> keys[] = {
            {Qt::Key_Space, Qt::AltModifier}, {Qt::Key_Menu, Qt::NoModifier}, {Qt::Key_F10, Qt::ShiftModifier}};
        QTest::keyClick(control, keys[int(how)].first, keys[int(how)].second);
        return (how == MenuWay::AltSpace ? static_cast<QWidget *>(&dlg) : control)->mapToGlobal(QPoint(0, 0));
    }
    // The background above the controls, clear of the banner's edge; or inside the tree.
    const bool background = how == MenuWay::RightClickBackground;
    QWidget *target = background ? static_cast<QWidget *>(&dlg) : dlg.m_treePrinters->viewport();
    const QPoint pos = background ? QPoint(dlg.width() / 2, 4) : QPoint(20, 20);
    QContextMenuEvent click(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
    QCoreApplication::sendEvent(target, &click);
    return target->mapToGlobal(pos);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }
    void init() { g_nPrinterItems = 0; }

    void eachWayToCloseRunsTheShutdown_data()
    {
        QTest::addColumn<CloseWay>("way");
        QTest::addColumn<int>("result");
        QTest::newRow("Escape") << CloseWay::Escape << IDCANCEL;
        QTest::newRow("Enter on the tree") << CloseWay::EnterOnTree << IDOK;
        QTest::newRow("close box") << CloseWay::CloseBox << IDCANCEL;  // WM_CLOSE, then its queued Cancel
        QTest::newRow("Exit button") << CloseWay::ExitButton << IDCANCEL;
        QTest::newRow("worker's close request, then a box from it") << CloseWay::WorkerCloseRequest << IDCANCEL;
    }
    void eachWayToCloseRunsTheShutdown()
    {
        QFETCH(CloseWay, way);
        QFETCH(int, result);
        ScriptedWorker worker;
        worker.boxAfterStop = way == CloseWay::WorkerCloseRequest;  // as a poll that times out while the window closes
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        WhenShown(run, [&] {
            switch (way) {
            case CloseWay::Escape: dlg.PressKey(Qt::Key_Escape); break;
            case CloseWay::EnterOnTree:
                dlg.m_treePrinters->setFocus();
                QTest::keyClick(dlg.m_treePrinters, Qt::Key_Return);
                break;
            case CloseWay::CloseBox: dlg.close(); break;
            case CloseWay::ExitButton: QTest::mouseClick(dlg.m_btnExit, Qt::LeftButton); break;
            case CloseWay::WorkerCloseRequest: PostMessage(dlg.GetSafeHwnd(), WM_CLOSE); break;
            }
        });
        QCOMPARE(dlg.DoModal(), result);
        QVERIFY(!run.drive.Aborted());
        QVERIFY(worker.sawStop && !g_hStopEvent && !g_hChoiceEvent && !g_hWorkerThread && !g_hExitBitmap);
        const auto calls = run.boxes.Calls();  // shown, and no false warning about the worker
        QCOMPARE(calls.size(), std::size_t(way == CloseWay::WorkerCloseRequest));
        if (!calls.empty()) {
            QCOMPARE(calls[0].text, QStringLiteral("Connect Failed!\n"));
            QVERIFY(calls[0].fromOtherThread);
        }
    }

    // Arial 10 points at 96 dpi: units of 7 x 15, so 319 x 198 units are 558 x 371 px; tab stops every
    // 32 units (56 px).
    void layoutInDialogUnits()
    {
        ScriptedWorker worker;
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        QRect exitRect, client;
        std::vector<QRect> controls;
        QStringList menu;
        WhenShown(run, [&] {
            exitRect = dlg.m_btnExit->geometry();
            client = dlg.rect();
            for (int id : {IDC_PRINTER_TREE, IDC_STATUS_LIST, IDC_DETAILS_EDIT})
                controls.push_back(dlg.GetDlgItem(id)->geometry());
            for (QAction *a : dlg.GetSystemMenu()->actions())
                menu << (a->isSeparator() ? QStringLiteral("-") : a->text());
        });
        dlg.DoModal();
        QVERIFY(!run.drive.Aborted());
        const auto base = dlg.BaseUnits();
        QCOMPARE(QSize(base.cx, base.cy), QSize(7, 15));
        QCOMPARE(client.size(), QSize(558, 371));
        QCOMPARE(exitRect, QRect(558 - 30, 371 - 30, 24, 24));
        QCOMPARE(controls, (std::vector<QRect>{DialogUnitsToPixels(QRect(4, 25, 98, 148), base),
                                               DialogUnitsToPixels(QRect(104, 25, 210, 69), base),
                                               DialogUnitsToPixels(QRect(104, 95, 210, 78), base)}));
        QVERIFY(g_hBannerBitmap);  // one pixel clear on either side, above the controls
        QCOMPARE(1 + g_hBannerBitmap->width() + 1, client.width());
        QVERIFY(DialogUnitsToPixelsY(25, base) >= 1 + g_hBannerBitmap->height());
        QCOMPARE(menu.mid(menu.size() - 2),
                 (QStringList{QStringLiteral("-"), QStringLiteral("&About USB Kestrum...")}));
        QCOMPARE(dlg.m_editDetails->tabStopDistance(), qreal(56));
    }

    // Alt+Space opens the window menu at its corner, Menu and Shift+F10 at the focused control, a right-click
    // only on the background, where clicked; arrows, Enter and letters work in it. Its About entry opens a
    // fresh About box, other commands none.
    void systemMenu_data()
    {
        using W = MenuWay;
        using O = MenuOutcome;
        QTest::addColumn<MenuWay>("how");
        QTest::addColumn<bool>("inDetails");  // the focus in the details text, else in the tree
        QTest::addColumn<QString>("inMenu");  // keys pressed in the menu
        QTest::addColumn<MenuOutcome>("outcome");
        QTest::newRow("Menu key in the tree, Down, Enter") << W::MenuKey << false << "Down Return" << O::AboutOpens;
        QTest::newRow("Shift+F10 in the details, A") << W::ShiftF10 << true << "A" << O::AboutOpens;
        QTest::newRow("Shift+F10, C closes the window") << W::ShiftF10 << false << "C" << O::WindowCloses;
        QTest::newRow("Alt+Space in the details, Down, Enter") << W::AltSpace << true << "Down Return" << O::AboutOpens;
        QTest::newRow("right-click on the background, Escape")
            << W::RightClickBackground << false << "Escape" << O::JustCloses;
        QTest::newRow("right-click on the tree: no menu") << W::RightClickTree << false << "" << O::JustCloses;
        QTest::newRow("About command with upper bits") << W::AboutCommand << false << "" << O::AboutOpens;
        QTest::newRow("Move command: no About") << W::MoveCommand << false << "" << O::JustCloses;
    }
    void systemMenu()
    {
        QFETCH(MenuWay, how);
        QFETCH(bool, inDetails);
        QFETCH(QString, inMenu);
        QFETCH(MenuOutcome, outcome);
        ScriptedWorker worker;
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        QPoint expectedAt, shownAt;
        bool shown = false, closedFromMenu = false;
        QStringList abouts;
        QTimer aboutWatch;  // reads the About box once it runs, then ends it
        aboutWatch.callOnTimeout([&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *about = qobject_cast<CAboutDlg *>(w); about && about->IsRunning()) {
                    auto *version = qobject_cast<QLabel *>(about->GetDlgItem(IDC_VERSION_TEXT));
                    auto *icon = qobject_cast<QLabel *>(about->GetDlgItem(IDC_STATIC));  // the first static
                    abouts << about->GetWindowText() + " | " + (version ? version->text() : "?") +
                                  (about->focusWidget() == about->GetDlgItem(IDOK) ? " | OK focused" : "") +
                                  (icon && !icon->pixmap().isNull() ? " | icon" : "");
                    about->PressKey(Qt::Key_Return);
                }
        });
        aboutWatch.start(5);
        WhenShown(run, [&] {
            QWidget *control = inDetails ? static_cast<QWidget *>(dlg.m_editDetails) : dlg.m_treePrinters;
            QApplication::setActiveWindow(&dlg);
            control->setFocus(Qt::OtherFocusReason);
            QMenu *menu = dlg.GetSystemMenu();
            expectedAt = OpenMenu(dlg, how, control);
            shown = menu->isVisible();
            shownAt = menu->pos();
            for (const QString &key : inMenu.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                if (menu->isVisible())
                    QTest::keyClick(menu, QKeySequence(key)[0].key());
            menu->hide();
            closedFromMenu = dlg.ShutdownBegun();  // its end, a queued Cancel, follows
        });
        QCOMPARE(dlg.DoModal(), IDCANCEL);  // the Close entry and Escape both end through the shutdown
        aboutWatch.stop();
        QVERIFY(!run.drive.Aborted());
        QCOMPARE(shown, how < MenuWay::RightClickTree);
        if (shown)
            QCOMPARE(shownAt, expectedAt);
        const QStringList about{"About USB Kestrum | USB Kestrum Ver 1.0 | OK focused | icon"};
        QCOMPARE(abouts, outcome == MenuOutcome::AboutOpens ? about : QStringList());
        QCOMPARE(closedFromMenu, outcome == MenuOutcome::WindowCloses);
        for (QWidget *w : QApplication::topLevelWidgets())  // each opening builds a box of its own, gone after
            QVERIFY(!qobject_cast<CAboutDlg *>(w));
        QVERIFY(worker.sawStop && !g_hStopEvent && !g_hWorkerThread);
        QVERIFY(run.boxes.Calls().empty());
    }

    void stubbornWorkerGetsOneWarningAndProgramStillEnds()
    {
        ScriptedWorker worker;
        worker.stubborn = true;
        std::vector<MessageBoxCall> calls;
        {
            MonitorRun run(worker.Body());
            WhenShown(run, [&] { run.dlg.close(); });  // WM_CLOSE, then its queued Cancel: two ways in
            QCOMPARE(run.dlg.DoModal(), IDCANCEL);
            QVERIFY(!g_hStopEvent && !g_hChoiceEvent && !g_hWorkerThread);
            QVERIFY(run.dlg.Failed());  // the program's exit status is 1
            calls = run.boxes.Calls();
        }
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].text, QStringLiteral("Child thread exit abnormal !"));
        QCOMPARE(calls[0].caption, QStringLiteral("window_main"));  // no caption: the program's name
        QCOMPARE(calls[0].flags, UINT(0x30));
        worker.release->Set();  // the window has gone: the worker must find nothing freed under it
        QCOMPARE(worker.done->Wait(10000), WAIT_OBJECT_0);
    }

    // A worker may take a while to stop and ask for a box on its way out: the five seconds are the worker's
    // alone, the person's reading does not count.
    void slowWorkerGetsNoWarning()
    {
        ScriptedWorker worker;
        worker.stopTakesMs = 1000;  // two seconds of its own, and four of reading
        worker.boxAfterStop = true;
        MonitorRun run(worker.Body());
        QStringList texts;
        SetMessageBoxHook([&texts](const MessageBoxCall &c) {
            texts << c.text;
            if (c.fromOtherThread)
                std::this_thread::sleep_for(std::chrono::milliseconds(4000));
            return IDOK;
        });
        WhenShown(run, [&] { run.dlg.PressKey(Qt::Key_Escape); });
        QCOMPARE(run.dlg.DoModal(), IDCANCEL);
        QTRY_VERIFY_WITH_TIMEOUT(worker.done->IsSet(), 10000);  // it must not outlive the test's objects
        QVERIFY(!run.drive.Aborted());
        QCOMPARE(texts, QStringList{QStringLiteral("Connect Failed!\n")});
    }

    // The view as set up and its pictures (globe; plain printer on line without fault; a prohibition sign for
    // the rest). A reply renames and repictures items in place and refreshes the selected printer's row; the
    // root clears row and details; a reply queued at the close is dropped. Names are 8-bit text. Each item
    // is announced through the accessible child that reads its name.
    void repliesReachTheView()
    {
        ScriptedWorker worker;
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        QStringList seen;
        QTreeWidgetItem *selected = nullptr;
        const auto post = [&](const std::vector<std::uint8_t> &flags, const char *second) {
            std::vector<TestPrinter> printers;
            for (std::size_t i = 0; i < flags.size(); ++i)
                printers.push_back({i == 1 ? second : "P" + std::to_string(i + 1), flags[i], 2, 37});
            printers[0].name += " K\xFC"
                                "che";
            PostReply(dlg, printers);
        };
        run.drive.Then([&] { return dlg.isVisible(); });
        run.drive.Then([&] {
            // ready, fault, busy, paper out, off line, off line with the other bits, every bit
            post({0x88, 0x84, 0x8C, 0xA0, 0x08, 0x7F, 0xFF}, "Inkjet Pro 6");
            return true;
        });
        run.drive.Then([&] { return Root(dlg)->childCount() == 7; });
        run.drive.Then([&] {
            seen << Pictures(dlg) << QString::number(Root(dlg)->isExpanded()) << ColumnsOf(dlg)
                 << QString::number(dlg.m_editDetails->isReadOnly());
            selected = Root(dlg)->child(1);
            dlg.m_treePrinters->setCurrentItem(selected);
            post({0xA0, 0x8C, 0x88, 0x84, 0x88, 0x00}, "Inkjet Pro 7");  // and slot 7 emptied
            return true;
        });
        run.drive.Then([&] { return Root(dlg)->childCount() == 6; });
        run.drive.Then([&] {
            seen << Pictures(dlg) << QString::number(Root(dlg)->child(1) == selected) << NamesOf(dlg);
            seen << dlg.m_listStatus->GetItemText(0, 0) + " " + dlg.m_listStatus->GetItemText(0, 1) + " " +
                        dlg.m_listStatus->GetItemText(0, 2)
                 << dlg.m_editDetails->toPlainText().section(QLatin1Char('\n'), 0, 0);
            const QModelIndex root = dlg.m_treePrinters->model()->index(0, 0);
            bool pointed = PointsAtItsChild(*dlg.m_treePrinters, root);
            for (int i = 0; i < 6; ++i)
                pointed &= PointsAtItsChild(*dlg.m_treePrinters, root.model()->index(i, 0, root));
            for (int column = 0; column < 3; ++column)
                pointed &= PointsAtItsChild(*dlg.m_listStatus, dlg.m_listStatus->model()->index(0, column));
            seen << QString::number(pointed);
            dlg.m_treePrinters->setCurrentItem(Root(dlg));
            seen << QString::number(dlg.m_listStatus->GetItemCount()) + dlg.m_editDetails->toPlainText();
            PostReply(dlg, {TestPrinter{"late"}});
            dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        dlg.DoModal();
        QVERIFY(!run.drive.Aborted());
        QCoreApplication::processEvents();
        seen << Root(dlg)->child(0)->text(0);
        QCOMPARE(seen, (QStringList{"0 1 2 1 2 2 2 1", "1", "Status121 Job in Queue121 Printed Percent121", "1",
                                    "0 2 1 1 2 1 2", "1", QString::fromUtf8("P1 K\u00FCche Inkjet Pro 7 P3 P4 P5 P6"),
                                    "BUSY 2 37%", "Port Type: \t\tBi-direction", "1", "0",
                                    QString::fromUtf8("P1 K\u00FCche")}));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
