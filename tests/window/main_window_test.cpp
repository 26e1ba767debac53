// The main window's life: set-up, the ways to close, the shutdown with a
// worker that will not stop, and status replies reaching the printer view.
#include "tests/window/main_window_harness.h"

#include "app/messages.h"
#include "dialogs/about_dlg.h"
#include "view/printer_tree.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QAbstractTextDocumentLayout>
#include <QTest>
#include <atomic>
#include <cstring>
#include <thread>

using namespace platform;

namespace {

// A worker that plays the handshake: it waits for the notice, closes it, and
// then stops when asked to (or, stubborn, only when the test lets it).
struct ScriptedWorker {
    std::atomic<bool> sawStop{false};
    EventHandle release = CreateEvent();  // the stubborn worker's own signal
    EventHandle done = CreateEvent();
    bool stubborn = false;
    bool boxAfterStop = false;  // as a poll that times out while the window closes
    std::function<void(WorkerHost &)> afterNotice;

    CMonitorDlg::WorkerBody Body()
    {
        return [this](std::shared_ptr<WorkerHost> host) {
            while (!IsWindowEnabled(host->Window(HostWindow::Finding)) && !host->RunEnded(HostWindow::Finding))
                Sleep(5);
            PostMessage(host->Window(HostWindow::Finding), WM_CLOSE);
            if (afterNotice)
                afterNotice(*host);
            if (stubborn) {
                release->Wait(INFINITE);
                // The window is long gone: every question must answer "no window".
                PostMessage(host->Window(HostWindow::Main), WM_CLOSE);
                (void)host->ServerChosen();
                (void)host->RunEnded(HostWindow::ServerList);
            } else {
                WaitForSingleObject(host->StopEvent(), INFINITE);
                sawStop = true;
                if (boxAfterStop)
                    host->MessageBox("Connect Failed!\n", MB_ICONWARNING);
            }
            done->Set();
        };
    }
};

StatusReply ReplyWith(std::initializer_list<std::pair<int, const char *>> printers, std::uint8_t flags = 0x88)
{
    StatusReply reply;
    std::memset(&reply, 0, sizeof reply);
    for (auto [slot, name] : printers) {
        std::strncpy(reply.records[slot].printerName, name, sizeof reply.records[slot].printerName);
        reply.records[slot].statusFlags = flags;
        reply.records[slot].jobCount = 2;
        reply.records[slot].printedPercent = 37;
    }
    return reply;
}

void PostReply(CMonitorDlg &dlg, const StatusReply &reply, std::shared_ptr<StatusReply> *keep = nullptr)
{
    auto copy = std::make_shared<StatusReply>(reply);
    if (keep)
        *keep = copy;
    PostMessage(dlg.GetSafeHwnd(), WM_STATUS_REPLY, reinterpret_cast<WPARAM>(copy.get()), 0, copy);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }
    void init() { g_nPrinterItems = 0; }

    void eachWayToCloseRunsTheShutdown_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<int>("result");
        QTest::newRow("Escape") << 0 << IDCANCEL;
        QTest::newRow("Enter on the tree") << 1 << IDOK;
        QTest::newRow("close box") << 2 << IDCANCEL;
        QTest::newRow("Exit button") << 3 << IDCANCEL;
        QTest::newRow("worker's close request") << 4 << IDCANCEL;
    }
    void eachWayToCloseRunsTheShutdown()
    {
        QFETCH(int, way);
        QFETCH(int, result);
        ScriptedWorker worker;
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        auto &drive = run.drive;
        auto &boxes = run.boxes;
        drive.Then([&] { return dlg.isVisible(); });
        drive.Then([&] {
            switch (way) {
            case 0: dlg.PressKey(Qt::Key_Escape); break;
            case 1:
                dlg.m_treePrinters->setFocus();
                QTest::keyClick(dlg.m_treePrinters, Qt::Key_Return);
                break;
            case 2: dlg.close(); break;
            case 3: QTest::mouseClick(dlg.m_btnExit, Qt::LeftButton); break;
            case 4: PostMessage(dlg.GetSafeHwnd(), WM_CLOSE); break;
            }
            return true;
        });
        QCOMPARE(dlg.DoModal(), result);
        QVERIFY(!drive.Aborted());
        QVERIFY(worker.sawStop);
        QVERIFY(!g_hStopEvent && !g_hChoiceEvent && !g_hWorkerThread && !g_hExitBitmap);
        QVERIFY(boxes.Calls().empty());
    }

    void setUpLaysOutTemplateAndExitButton()
    {
        ScriptedWorker worker;
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        auto &drive = run.drive;
        QString title;
        QRect exitRect, client;
        std::vector<std::pair<int, QRect>> controls;
        QStringList menu;
        bool menuOpens = false;
        drive.Then([&] { return dlg.isVisible(); });
        drive.Then([&] {
            title = dlg.GetWindowText();
            exitRect = dlg.m_btnExit->geometry();
            client = dlg.rect();
            for (int id : {IDC_PRINTER_TREE, IDC_STATUS_LIST, IDC_DETAILS_EDIT})
                controls.emplace_back(id, dlg.GetDlgItem(id)->geometry());
            for (QAction *a : dlg.GetSystemMenu()->actions())
                menu << (a->isSeparator() ? QStringLiteral("-") : a->text());
            QTest::keyClick(dlg.m_treePrinters, Qt::Key_Space, Qt::AltModifier);  // from a focused control
            menuOpens = dlg.GetSystemMenu()->isVisible();
            dlg.GetSystemMenu()->hide();
            dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        dlg.DoModal();
        QCOMPARE(title, QStringLiteral("USB Kestrum"));
        QCOMPARE(exitRect, QRect(client.width() - 30, client.height() - 30, 24, 24));
        const auto base = dlg.BaseUnits();
        QCOMPARE(controls[0].second, DialogUnitsToPixels(QRect(4, 25, 98, 148), base));
        QCOMPARE(controls[1].second, DialogUnitsToPixels(QRect(104, 25, 210, 69), base));
        QCOMPARE(controls[2].second, DialogUnitsToPixels(QRect(104, 95, 210, 78), base));
        QCOMPARE(client.size(), QSize(DialogUnitsToPixelsX(319, base), DialogUnitsToPixelsY(198, base)));
        // Arial 10 points at 96 dpi: units of 7 x 15, so 319 x 198 units are 558 x 371
        // pixels, and the 556-pixel banner at x = 1 leaves one pixel on either side.
        QCOMPARE(base.cx, 7);
        QCOMPARE(base.cy, 15);
        QCOMPARE(client.size(), QSize(558, 371));
        QVERIFY(g_hBannerBitmap);
        QCOMPARE(1 + g_hBannerBitmap->width() + 1, client.width());
        QVERIFY(DialogUnitsToPixelsY(25, base) >= 1 + g_hBannerBitmap->height());  // above the controls
        QVERIFY(menu.size() >= 2);
        QCOMPARE(menu.mid(menu.size() - 2), (QStringList{QStringLiteral("-"), QStringLiteral("&About USB Kestrum...")}));
        QVERIFY(menuOpens);
        QCOMPARE(dlg.m_listStatus->columnCount(), 3);
        QCOMPARE(dlg.m_listStatus->headerItem()->text(2), QStringLiteral("Printed Percent"));
        QCOMPARE(dlg.m_listStatus->columnWidth(1), 121);
        QCOMPARE(dlg.m_treePrinters->topLevelItem(0)->text(0), QStringLiteral("Remote Printers:"));
    }

    // The window's own menu from the keyboard: Alt+Space at the window's corner;
    // the Menu key and Shift+F10 (or the menu request that the X server makes of
    // the Menu key) at the focused control; a right-click only on the background.
    // In the menu the arrow keys, Enter and the underlined letters work.
    void systemMenuFromTheKeyboard_data()
    {
        QTest::addColumn<int>("how");         // 0 Alt+Space, 1 Menu key, 2 Shift+F10, 3 keyboard menu request,
                                              // 4 right-click on the background, 5 right-click on the tree
        QTest::addColumn<int>("focus");       // 0 the tree, 1 the details text
        QTest::addColumn<QString>("inMenu");  // keys pressed in the menu
        QTest::addColumn<int>("at");          // -1 no menu, 0 the window's corner, 1 the focused control, 2 the click
        QTest::addColumn<int>("outcome");     // 0 the menu just closes, 1 the About box opens, 2 the window closes
        QTest::newRow("Menu key in the tree, Down, Enter") << 1 << 0 << "Down Return" << 1 << 1;
        QTest::newRow("Menu key in the details, A") << 1 << 1 << "A" << 1 << 1;
        QTest::newRow("Shift+F10 in the tree, A") << 2 << 0 << "A" << 1 << 1;
        QTest::newRow("Shift+F10 in the details, Down, Enter") << 2 << 1 << "Down Return" << 1 << 1;
        QTest::newRow("X's menu request in the details, A") << 3 << 1 << "A" << 1 << 1;
        QTest::newRow("X's menu request in the tree, Escape") << 3 << 0 << "Escape" << 1 << 0;
        QTest::newRow("Shift+F10, C closes the window") << 2 << 0 << "C" << 1 << 2;
        QTest::newRow("Menu key, Enter on the first entry closes") << 1 << 0 << "Return" << 1 << 2;
        QTest::newRow("Alt+Space in the details, Down, Enter") << 0 << 1 << "Down Return" << 0 << 1;
        QTest::newRow("right-click on the background, Escape") << 4 << 0 << "Escape" << 2 << 0;
        QTest::newRow("right-click on the tree: no menu") << 5 << 0 << "" << -1 << 0;
    }
    void systemMenuFromTheKeyboard()
    {
        QFETCH(int, how);
        QFETCH(int, focus);
        QFETCH(QString, inMenu);
        QFETCH(int, at);
        QFETCH(int, outcome);
        ScriptedWorker worker;
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        QPoint expectedAt, shownAt;
        bool shown = false, closedFromMenu = false;
        QStringList abouts;
        QTimer aboutWatch;  // ends the About box once it runs
        aboutWatch.callOnTimeout([&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *about = qobject_cast<CAboutDlg *>(w); about && about->IsRunning()) {
                    abouts << about->GetWindowText();
                    about->PressKey(Qt::Key_Return);
                }
        });
        run.drive.Then([&] { return dlg.isVisible(); });
        run.drive.Then([&] {
            QWidget *control = focus == 0 ? static_cast<QWidget *>(dlg.m_treePrinters) : dlg.m_editDetails;
            QApplication::setActiveWindow(&dlg);
            control->setFocus(Qt::OtherFocusReason);
            QMenu *menu = dlg.GetSystemMenu();
            expectedAt = at == 1 ? control->mapToGlobal(QPoint(0, 0)) : dlg.mapToGlobal(QPoint(0, 0));
            const QPoint background(dlg.width() / 2, 4);  // above the controls, clear of the banner's edge
            switch (how) {
            case 0: QTest::keyClick(control, Qt::Key_Space, Qt::AltModifier); break;
            case 1: QTest::keyClick(control, Qt::Key_Menu); break;
            case 2: QTest::keyClick(control, Qt::Key_F10, Qt::ShiftModifier); break;
            case 3: {
                QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(2, 2), control->mapToGlobal(QPoint(2, 2)));
                QCoreApplication::sendEvent(control, &request);
                break;
            }
            case 4: {
                expectedAt = dlg.mapToGlobal(background);
                QContextMenuEvent click(QContextMenuEvent::Mouse, background, expectedAt);
                QCoreApplication::sendEvent(&dlg, &click);
                break;
            }
            case 5: {
                QWidget *viewport = dlg.m_treePrinters->viewport();
                QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20), viewport->mapToGlobal(QPoint(20, 20)));
                QCoreApplication::sendEvent(viewport, &click);
                break;
            }
            }
            shown = menu->isVisible();
            shownAt = menu->pos();
            aboutWatch.start(5);
            for (const QString &key : inMenu.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                if (!menu->isVisible())
                    break;
                if (key.size() == 1)
                    QTest::keyClick(menu, key.toLower().at(0).toLatin1());
                else
                    QTest::keyClick(menu, key == QLatin1String("Down") ? Qt::Key_Down
                                          : key == QLatin1String("Return") ? Qt::Key_Return
                                                                            : Qt::Key_Escape);
            }
            menu->hide();
            closedFromMenu = dlg.ShutdownBegun();  // its end, a queued Cancel, follows
            return true;
        });
        // The window goes on after the About box or a closed menu; Escape ends it then.
        run.drive.Then([&] {
            if (!dlg.ShutdownBegun())
                dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        const int result = dlg.DoModal();
        aboutWatch.stop();
        QVERIFY(!run.drive.Aborted());
        QCOMPARE(shown, at >= 0);
        if (at >= 0)
            QCOMPARE(shownAt, expectedAt);
        QCOMPARE(abouts, outcome == 1 ? QStringList{QStringLiteral("About USB Kestrum")} : QStringList());
        QCOMPARE(closedFromMenu, outcome == 2);
        QCOMPARE(result, IDCANCEL);  // the Close entry and Escape both end through the shutdown
        QVERIFY(worker.sawStop);
        QVERIFY(!g_hStopEvent && !g_hWorkerThread);
        QVERIFY(run.boxes.Calls().empty());
    }

    void stubbornWorkerGetsOneWarningAndProgramStillEnds()
    {
        ScriptedWorker worker;
        worker.stubborn = true;
        std::vector<MessageBoxCall> calls;
        {
            MonitorRun run(worker.Body());
            auto &dlg = run.dlg;
            auto &drive = run.drive;
            drive.Then([&] { return dlg.isVisible(); });
            drive.Then([&] { dlg.close(); return true; });  // WM_CLOSE, then its queued Cancel: two ways in
            QCOMPARE(dlg.DoModal(), IDCANCEL);
            QVERIFY(!g_hStopEvent && !g_hChoiceEvent && !g_hWorkerThread);
            calls = run.boxes.Calls();
        }
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].text, QStringLiteral("Child thread exit abnormal !"));
        QCOMPARE(calls[0].flags, UINT(0x30));
        QCOMPARE(calls[0].caption, CWinApp::AppName());
        // The window has gone; the worker wakes and must find nothing freed under it.
        worker.release->Set();
        QVERIFY(worker.done->Wait(10000) == WAIT_OBJECT_0);
    }

    void repliesShowInTreeListAndDetails()
    {
        ScriptedWorker worker;
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        auto &drive = run.drive;
        QStringList names;
        QString status, jobs, percent, details;
        std::weak_ptr<StatusReply> lastReply;
        drive.Then([&] { return dlg.isVisible(); });
        drive.Then([&] {
            PostReply(dlg, ReplyWith({{0, "Laser 1020"}, {1, "Inkjet Pro 6"}}));
            return true;
        });
        drive.Then([&] { return dlg.m_treePrinters->topLevelItem(0)->childCount() == 2; });
        drive.Then([&] {
            dlg.m_treePrinters->setCurrentItem(dlg.m_treePrinters->topLevelItem(0)->child(1));
            PostReply(dlg, ReplyWith({{0, "Laser 1020"}, {1, "Inkjet Pro 7"}}, 0x8C));
            return true;
        });
        drive.Then([&] { return dlg.m_treePrinters->topLevelItem(0)->child(1)->text(0) == QStringLiteral("Inkjet Pro 7"); });
        drive.Then([&] {
            QTreeWidgetItem *root = dlg.m_treePrinters->topLevelItem(0);
            for (int i = 0; i < root->childCount(); ++i)
                names << root->child(i)->text(0);
            status = dlg.m_listStatus->GetItemText(0, 0);
            jobs = dlg.m_listStatus->GetItemText(0, 1);
            percent = dlg.m_listStatus->GetItemText(0, 2);
            details = dlg.m_editDetails->toPlainText();
            // A reply still queued when the window closes is dropped with it.
            std::shared_ptr<StatusReply> keep;
            PostReply(dlg, ReplyWith({{0, "late"}}), &keep);
            lastReply = keep;
            dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        dlg.DoModal();
        QVERIFY(!drive.Aborted());
        QCOMPARE(names, (QStringList{QStringLiteral("Laser 1020"), QStringLiteral("Inkjet Pro 7")}));
        QCOMPARE(status, QStringLiteral("BUSY"));
        QCOMPARE(jobs, QStringLiteral("2"));
        QCOMPARE(percent, QStringLiteral("37%"));
        QVERIFY(details.startsWith(QStringLiteral("Port Type: \t\tBi-direction\n")));
        QCoreApplication::processEvents();
        QVERIFY(lastReply.expired());
        QCOMPARE(dlg.m_treePrinters->topLevelItem(0)->child(0)->text(0), QStringLiteral("Laser 1020"));
    }

    // The details text's tab stops stand every 32 dialog units (56 pixels), so
    // the two tabs after each label put all four values in one column.
    void detailsValuesStandInOneColumn()
    {
        ScriptedWorker worker;
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        auto &drive = run.drive;
        qreal tabStop = 0;
        std::vector<int> valueX;
        QStringList lines;
        drive.Then([&] { return dlg.isVisible(); });
        drive.Then([&] {
            PrinterRecord record{};
            record.portType = 1;
            std::strcpy(record.currentUser, "alice");
            const std::uint8_t address[4] = {192, 168, 1, 20};
            std::memcpy(record.userAddress, address, 4);
            record.jobCount = 2;
            record.statusFlags = 0x8C;
            record.printedPercent = 37;
            record.docSize = 1536;
            dlg.ShowPrinterRecord(record);
            tabStop = dlg.m_editDetails->tabStopDistance();
            QTextDocument *doc = dlg.m_editDetails->document();
            doc->documentLayout()->documentSize();  // lays the text out
            for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
                if (block.text().isEmpty())
                    continue;
                lines << block.text();
                const int at = block.text().indexOf(QStringLiteral("\t\t")) + 2;
                // From the left edge of the text, where the tab stops are counted from.
                const QTextLine line = block.layout()->lineForTextPosition(at);
                valueX.push_back(qRound(line.cursorToX(at) - line.cursorToX(0)));
            }
            dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        dlg.DoModal();
        QVERIFY(!drive.Aborted());
        QCOMPARE(tabStop, qreal(56));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(valueX, (std::vector<int>{168, 168, 168, 168}));
    }

    void selectingRootClearsAndPrinterFillsAtOnce()
    {
        ScriptedWorker worker;
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        auto &drive = run.drive;
        int rowsAfterRoot = -1, rowsAfterPrinter = -1;
        QString textAfterRoot = QStringLiteral("x");
        drive.Then([&] { return dlg.isVisible(); });
        drive.Then([&] { PostReply(dlg, ReplyWith({{0, "A"}})); return true; });
        drive.Then([&] { return dlg.m_treePrinters->topLevelItem(0)->childCount() == 1; });
        drive.Then([&] {
            QTreeWidgetItem *root = dlg.m_treePrinters->topLevelItem(0);
            dlg.m_treePrinters->setCurrentItem(root->child(0));
            rowsAfterPrinter = dlg.m_listStatus->GetItemCount();
            dlg.m_treePrinters->setCurrentItem(root);
            rowsAfterRoot = dlg.m_listStatus->GetItemCount();
            textAfterRoot = dlg.m_editDetails->toPlainText();
            dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        dlg.DoModal();
        QCOMPARE(rowsAfterPrinter, 1);
        QCOMPARE(rowsAfterRoot, 0);
        QCOMPARE(textAfterRoot, QString());
    }

    void refusalEndsProgramWithoutShowingMainWindow()
    {
        ScriptedWorker worker;
        bool chosen = true;
        worker.afterNotice = [&](WorkerHost &host) {
            PostMessage(host.Window(HostWindow::Main), WM_ASK_SERVER_ADDRESS);
            host.ChoiceEvent()->Wait(INFINITE);
            chosen = host.ServerChosen() != 0;
            if (!chosen)
                PostMessage(host.Window(HostWindow::Main), WM_CLOSE);
        };
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        auto &drive = run.drive;
        auto &boxes = run.boxes;
        bool mainShown = false;
        drive.Then([&] { mainShown |= dlg.isVisible(); return dlg.m_serverAddressDlg.IsRunning(); });
        drive.Then([&] { dlg.m_serverAddressDlg.PressKey(Qt::Key_Escape); return true; });
        drive.Then([&] { mainShown |= dlg.isVisible(); return false; });
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        QVERIFY(!drive.Aborted());
        QVERIFY(!chosen);
        QVERIFY(!mainShown);
        QCOMPARE(dlg.GetWindowText(), QStringLiteral("USB Kestrum"));
        QVERIFY(boxes.Calls().empty());
    }

    void choiceQueuedBehindCloseOpensNoDialog()
    {
        ScriptedWorker worker;
        EventHandle choice;
        worker.afterNotice = [&](WorkerHost &host) {
            choice = host.ChoiceEvent();
            PostMessage(host.Window(HostWindow::Main), WM_CLOSE);
            PostMessage(host.Window(HostWindow::Main), WM_CHOOSE_SERVER);
        };
        MonitorRun run(worker.Body());
        QCOMPARE(run.dlg.DoModal(), IDCANCEL);
        QVERIFY(!run.drive.Aborted());
        QVERIFY(!run.dlg.m_serverListDlg.RunEnded());  // never opened in a closing program
        QVERIFY(choice && choice->IsSet());            // yet the worker is released
        QCOMPARE(run.dlg.m_bServerChosen, 0);
        QVERIFY(run.boxes.Calls().empty());
    }

    // The worker's close request (a server gone silent) while a dialog stands over
    // the main window: the program ends, and no dialog is left on screen without it.
    void workerCloseEndsDialogsOverTheWindow_data()
    {
        QTest::addColumn<int>("over");
        QTest::newRow("About box") << 0;
        QTest::newRow("server list") << 1;
    }
    void workerCloseEndsDialogsOverTheWindow()
    {
        QFETCH(int, over);
        ScriptedWorker worker;
        MonitorRun run(worker.Body());
        auto &dlg = run.dlg;
        bool dialogLeft = true;
        CDialog *standing = nullptr;
        run.drive.Then([&] { return dlg.isVisible(); });
        run.drive.Then([&] {
            QTimer::singleShot(0, &dlg, [&] {
                if (over == 0) {
                    CAboutDlg about;
                    standing = &about;
                    about.DoModal();
                    standing = nullptr;
                } else {
                    standing = &dlg.m_serverListDlg;
                    dlg.SendMessage(WM_CHOOSE_SERVER);
                }
            });
            return true;
        });
        run.drive.Then([&] { return standing && standing->IsRunning(); });
        run.drive.Then([&] {
            std::thread([h = dlg.GetSafeHwnd()] { PostMessage(h, WM_CLOSE); }).join();
            return true;
        });
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        dialogLeft = dlg.m_serverListDlg.IsRunning();
        QVERIFY(!run.drive.Aborted());
        QVERIFY(!dialogLeft);
        QVERIFY(worker.sawStop);
        QVERIFY(run.boxes.Calls().empty());
    }

    void workerBoxDuringShutdownIsShownAndNoFalseWarning()
    {
        ScriptedWorker worker;
        worker.boxAfterStop = true;
        MonitorRun run(worker.Body());
        run.drive.Then([&] { return run.dlg.isVisible(); });
        run.drive.Then([&] { run.dlg.PressKey(Qt::Key_Escape); return true; });
        QCOMPARE(run.dlg.DoModal(), IDCANCEL);
        const auto calls = run.boxes.Calls();
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].text, QStringLiteral("Connect Failed!\n"));
        QVERIFY(calls[0].fromOtherThread);
        QVERIFY(worker.done->IsSet());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
