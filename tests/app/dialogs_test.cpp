// The server list, the address dialog, the main window's handling of the choice and
// the About box, each run modally with the user's actions scheduled before the run starts.
#include "app/globals.h"
#include "app/messages.h"
#include "app/monitor_dlg.h"
#include "dialogs/about_dlg.h"
#include "platform/ui/message_box.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QtTest>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace {

// Real keys go to the focused control, which must pass Enter and Escape on to the dialog.
enum Action { OkButton, CancelButton, RealEnter, RealEscape, CloseBox, DoubleClick };

// Ends every run still going after a while, so that a fault fails the test instead of hanging it.
struct Watchdog {
    QTimer timer;
    Watchdog()
    {
        timer.callOnTimeout([] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *dlg = qobject_cast<CDialog *>(w); dlg && dlg->IsRunning())
                    dlg->EndDialog(99);
        });
        timer.start(5000);
    }
};

void Perform(CDialog &dlg, int action)
{
    QCloseEvent close;
    if (action == OkButton || action == CancelButton)
        QTest::mouseClick(dlg.GetDlgItem(action == OkButton ? IDOK : IDCANCEL), Qt::LeftButton);
    else if ((action == RealEnter || action == RealEscape) && dlg.focusWidget())
        QTest::keyClick(dlg.focusWidget(), action == RealEnter ? Qt::Key_Return : Qt::Key_Escape);
    else if (action == CloseBox)
        QCoreApplication::sendEvent(&dlg, &close);
    QCoreApplication::sendPostedEvents(&dlg, 0);  // the Cancel that a close request queues
}

BOOL PostServer(HWND h, const std::string &text)
{
    auto owned = std::make_shared<std::string>(text);  // the message owns its text
    return PostMessage(h, WM_ADD_SERVER, reinterpret_cast<WPARAM>(owned->c_str()), 0, owned);
}

SortedListBox *List(const CServerListDlg &dlg) { return dlg.Item<SortedListBox>(IDC_SERVER_LIST); }

// Fills the fields of a dotted text ("10" fills only the first) and leaves the focus in the last one.
void TypeAddress(CServerAddressDlg &dlg, const QString &dotted)
{
    if (dotted.isEmpty() || !dlg.m_ipAddressCtrl)
        return;
    for (int i = 0; i < 4; ++i)
        dlg.m_ipAddressCtrl->Field(i)->setText(dotted.split(QLatin1Char('.')).value(i));
    dlg.m_ipAddressCtrl->Field(3)->setFocus();
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
    std::vector<MessageBoxCall> m_boxes;
    std::unique_ptr<CMonitorDlg> m_dlg;  // one for all choices: each run must start afresh

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(resources);
        SetMessageBoxHook([this](const MessageBoxCall &call) {
            m_boxes.push_back(call);
            return IDOK;
        });
        m_dlg = std::make_unique<CMonitorDlg>(nullptr, [](std::shared_ptr<WorkerHost>) {});
    }
    void cleanupTestCase()
    {
        m_dlg.reset();
        SetMessageBoxHook(nullptr);
    }
    void init() { m_boxes.clear(); }
    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            w->hide();
        g_hChoiceEvent.reset();
    }

    void choice_data()
    {
        QTest::addColumn<int>("pick");      // the list's row clicked first; -1: none, -2: the address dialog
        QTest::addColumn<QString>("typed");  // into the address dialog
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("staysOpen");  // the test then ends the run
        QTest::addColumn<QString>("shown");   // empty: a refusal, the title and address stay
        // The list shows 10.0.0.10, 10.0.0.9, 10.0.0.9.
        QTest::newRow("list: OK, nothing selected") << -1 << "" << int(OkButton) << true << "";
        QTest::newRow("list: double-click only selects") << 1 << "" << int(DoubleClick) << true << "";
        QTest::newRow("list: OK") << 1 << "" << int(OkButton) << false << "10.0.0.9";
        QTest::newRow("list: Enter in the list box") << 0 << "" << int(RealEnter) << false << "10.0.0.10";
        QTest::newRow("list: Escape in the list box") << 0 << "" << int(RealEscape) << false << "";
        QTest::newRow("list: close box") << 0 << "" << int(CloseBox) << false << "";
        QTest::newRow("typed: blank, OK") << -2 << "" << int(OkButton) << true << "";
        QTest::newRow("typed: blank, Enter on OK") << -2 << "" << int(RealEnter) << true << "";
        QTest::newRow("typed: only 10") << -2 << "10" << int(OkButton) << false << "10.0.0.0";
        QTest::newRow("typed: Enter in a field") << -2 << "192.168.1.20" << int(RealEnter) << false << "192.168.1.20";
        QTest::newRow("typed: Abort") << -2 << "10.0.0.5" << int(CancelButton) << false << "";
        QTest::newRow("typed: Escape in a field") << -2 << "10.0.0.5" << int(RealEscape) << false << "";
        QTest::newRow("typed: no close box") << -2 << "" << int(CloseBox) << true << "";
    }
    void choice()
    {
        QFETCH(int, pick);
        QFETCH(QString, typed);
        QFETCH(int, action);
        QFETCH(bool, staysOpen);
        QFETCH(QString, shown);
        QByteArray bytes("\x01\x02\x03\x04", 4);  // in dotted order, as the socket address holds them
        if (!shown.isEmpty())
            for (int i = 0; i < 4; ++i)
                bytes[i] = char(shown.section(QLatin1Char('.'), i, i).toInt());
        const bool fromList = pick > -2;
        CMonitorDlg &dlg = *m_dlg;
        g_hChoiceEvent = CreateEvent();
        dlg.m_bServerChosen = 7;  // neither outcome
        dlg.m_serverAddr.sin_family = AF_INET;
        dlg.m_serverAddr.sin_port = 0x1234;
        std::memcpy(&dlg.m_serverAddr.sin_addr, "\x01\x02\x03\x04", 4);
        const QString titleBefore = dlg.GetWindowText();

        // As the worker does: wait for the event, then read the outcome.
        bool signalled = false;
        int seenChosen = -1;
        QByteArray seenBytes;
        std::thread worker([&, choice = g_hChoiceEvent] {
            signalled = WaitForSingleObject(choice, 10000) == WAIT_OBJECT_0;
            seenChosen = dlg.m_bServerChosen;
            seenBytes = QByteArray(reinterpret_cast<const char *>(&dlg.m_serverAddr.sin_addr), 4);
        });
        Watchdog watchdog;
        bool setDuringRun = true, fresh = false, open = false, blankOrPicked = false;
        int accepted = 0;
        QStringList listed;
        QTimer::singleShot(0, &dlg, [&] {
            setDuringRun = g_hChoiceEvent->IsSet();  // the worker must wait while the user chooses
            CServerListDlg &list = dlg.m_serverListDlg;
            CServerAddressDlg &address = dlg.m_serverAddressDlg;
            CDialog &running = fromList ? static_cast<CDialog &>(list) : address;
            fresh = fromList ? running.focusWidget() == List(list) && List(list)->GetCount() == 0
                             : running.focusWidget() == address.GetDlgItem(IDOK) && address.m_ipAddressCtrl->IsBlank();
            if (fromList) {
                std::thread poster([&, h = list.GetSafeHwnd()] {  // as discovery does
                    for (const char *s : {"10.0.0.9", "10.0.0.10", "10.0.0.9"})
                        accepted += PostServer(h, s) ? 1 : 0;
                });
                poster.join();
                QCoreApplication::sendPostedEvents(&list, 0);
                for (int i = 0; i < List(list)->GetCount(); ++i)
                    listed << List(list)->GetText(i);
                if (QListWidgetItem *item = List(list)->item(pick)) {
                    const QPoint at = List(list)->visualItemRect(item).center();
                    if (action == DoubleClick)
                        QTest::mouseDClick(List(list)->viewport(), Qt::LeftButton, {}, at);
                    else
                        QTest::mouseClick(List(list)->viewport(), Qt::LeftButton, {}, at);
                }
            } else {
                TypeAddress(address, typed);
            }
            Perform(running, action);
            open = running.isVisible();  // an ended run hides its window at once
            blankOrPicked = fromList ? List(list)->GetCurSel() == pick : address.m_ipAddressCtrl->IsBlank();
            running.EndDialog(77);  // no effect once the action has ended the run
        });
        const LRESULT handled = dlg.SendMessage(fromList ? WM_CHOOSE_SERVER : WM_ASK_SERVER_ADDRESS);
        worker.join();

        QCOMPARE(handled, LRESULT(0));
        QVERIFY(fresh);
        // Text order, not numeric; an answer that came twice is listed twice.
        if (fromList)
            QCOMPARE(listed, (QStringList{"10.0.0.10", "10.0.0.9", "10.0.0.9"}));
        QCOMPARE(accepted, fromList ? 3 : 0);
        QCOMPARE(open, staysOpen);
        if (staysOpen)
            QVERIFY(blankOrPicked);
        const int warnings = !fromList && staysOpen && action != CloseBox ? 1 : 0;
        QCOMPARE(int(m_boxes.size()), warnings);  // one box per attempt, not one per key event
        for (const MessageBoxCall &box : m_boxes)
            QCOMPARE(box.text + "|" + box.caption + "|" + QString::number(box.flags),
                     QString("IP Address can not be blank!|Input IP Address Error|16"));
        QVERIFY(!setDuringRun);
        QVERIFY(signalled);
        QCOMPARE(seenChosen, shown.isEmpty() ? 0 : 1);
        QCOMPARE(seenBytes, bytes);
        QCOMPARE(int(dlg.m_serverAddr.sin_family), AF_INET);  // the worker fills these in itself
        QCOMPARE(int(dlg.m_serverAddr.sin_port), 0x1234);
        QCOMPARE(dlg.GetWindowText(), shown.isEmpty() ? titleBefore : "USB Kestrum (Server IP: " + shown + ")");
    }

    // The list's caret is its selection: every key that lands on an entry selects
    // it, also the entry that is current already; nothing is selected before.
    void listKeys_data()
    {
        QTest::addColumn<int>("servers");     // 10.0.0.1, then 10.0.0.2
        QTest::addColumn<int>("focus");       // 0: the list had the focus before the entries came;
                                              // 1: then Tab three times, round OK and Cancel;
                                              // 2: then the focus went away and came back (a window manager)
        QTest::addColumn<QString>("keys");    // on whatever has the focus; clickN clicks entry N, ctrlclickN
                                              // with Ctrl, OK clicks the button
        QTest::addColumn<QString>("chosen");  // empty: the dialog stays open
        const QString one = "10.0.0.1", two = "10.0.0.2";
        for (int focus : {0, 1, 2}) {
            const QByteArray how = focus == 0 ? "" : focus == 1 ? ", after Tab x3" : ", refocused";
            QTest::newRow("one: Home, Return" + how) << 1 << focus << "Home Return" << one;
            QTest::newRow("one: Down, Return" + how) << 1 << focus << "Down Return" << one;
            QTest::newRow("one: Return alone" + how) << 1 << focus << "Return" << "";
            QTest::newRow("two: Home, Return" + how) << 2 << focus << "Home Return" << one;
            QTest::newRow("two: Down, Return" + how) << 2 << focus << "Down Return" << two;
            QTest::newRow("two: click the first, OK" + how) << 2 << focus << "click0 OK" << one;
            QTest::newRow("two: OK alone" + how) << 2 << focus << "OK" << "";
        }
        QTest::newRow("one: Up, Return") << 1 << 0 << "Up Return" << one;
        QTest::newRow("one: End, Return") << 1 << 0 << "End Return" << one;
        QTest::newRow("one: Page Up, Return") << 1 << 0 << "PgUp Return" << one;
        QTest::newRow("one: Page Down, Return") << 1 << 0 << "PgDn Return" << one;
        QTest::newRow("one: Space, Return") << 1 << 0 << "Space Return" << one;
        QTest::newRow("two: End, Return") << 2 << 0 << "End Return" << two;
        QTest::newRow("two: Page Down, Return") << 2 << 0 << "PgDn Return" << two;
        QTest::newRow("two: End, Page Up, Return") << 2 << 0 << "End PgUp Return" << one;
        QTest::newRow("two: Down, Up, Return") << 2 << 0 << "Down Up Return" << one;
        QTest::newRow("two: Down, Down, Return") << 2 << 0 << "Down Down Return" << two;
        QTest::newRow("two: Space, Return") << 2 << 0 << "Space Return" << one;
        QTest::newRow("two: Ctrl-click keeps the selection") << 2 << 0 << "click1 ctrlclick1 OK" << two;
        QTest::newRow("two: click the current entry, Return") << 2 << 1 << "click0 Return" << one;
    }
    void listKeys()
    {
        QFETCH(int, servers);
        QFETCH(int, focus);
        QFETCH(QString, keys);
        QFETCH(QString, chosen);
        CMonitorDlg &dlg = *m_dlg;
        g_hChoiceEvent = CreateEvent();
        dlg.m_bServerChosen = 7;
        Watchdog watchdog;
        int selectedBefore = -2, tabbedBackToList = -1;
        bool open = false, activeBefore = false;
        QTimer::singleShot(0, &dlg, [&] {
            CServerListDlg &list = dlg.m_serverListDlg;
            SortedListBox *box = List(list);
            // Active, as on a desktop: focus changes reach the controls.
            QApplication::setActiveWindow(&list);
            activeBefore = QApplication::activeWindow() == &list;
            for (int i = 1; i <= servers; ++i)
                PostServer(list.GetSafeHwnd(), "10.0.0." + std::to_string(i));
            QCoreApplication::sendPostedEvents(&list, 0);
            if (focus == 1) {
                for (int i = 0; i < 3; ++i)
                    QTest::keyClick(list.focusWidget(), Qt::Key_Tab);
                tabbedBackToList = list.focusWidget() == box ? 1 : 0;
            } else if (focus == 2) {
                list.GetDlgItem(IDOK)->setFocus(Qt::ActiveWindowFocusReason);
                box->setFocus(Qt::ActiveWindowFocusReason);
            }
            selectedBefore = box->GetCurSel();
            for (const QString &key : keys.split(QLatin1Char(' '))) {
                if (!list.IsRunning() || !list.isVisible())
                    break;
                if (key.contains(QLatin1String("click"))) {
                    const QPoint at = box->visualItemRect(box->item(key.right(1).toInt())).center();
                    const Qt::KeyboardModifiers mods = key.startsWith(QLatin1String("ctrl")) ? Qt::ControlModifier : Qt::NoModifier;
                    QTest::mouseClick(box->viewport(), Qt::LeftButton, mods, at);
                } else if (key == QLatin1String("OK")) {
                    QTest::mouseClick(list.GetDlgItem(IDOK), Qt::LeftButton);
                } else {
                    static const QMap<QString, Qt::Key> named{
                        {"Home", Qt::Key_Home}, {"End", Qt::Key_End}, {"Up", Qt::Key_Up}, {"Down", Qt::Key_Down},
                        {"PgUp", Qt::Key_PageUp}, {"PgDn", Qt::Key_PageDown}, {"Space", Qt::Key_Space},
                        {"Return", Qt::Key_Return}};
                    QTest::keyClick(list.focusWidget(), named.value(key));
                }
            }
            open = list.isVisible();
            list.EndDialog(77);  // no effect once the keys have ended the run
        });
        dlg.SendMessage(WM_CHOOSE_SERVER);
        QVERIFY(activeBefore);
        QCOMPARE(selectedBefore, -1);  // nothing selected until the user picks
        if (focus == 1)
            QCOMPARE(tabbedBackToList, 1);
        QCOMPARE(open, chosen.isEmpty());
        QCOMPARE(dlg.m_bServerChosen, chosen.isEmpty() ? 0 : 1);
        if (!chosen.isEmpty())
            QCOMPARE(dlg.GetWindowText(), "USB Kestrum (Server IP: " + chosen + ")");
    }

    void aboutFromSystemMenu_data()
    {
        QTest::addColumn<uint>("command");
        QTest::addColumn<bool>("opens");
        QTest::newRow("16, the About entry") << 16u << true;
        QTest::newRow("31") << 31u << true;
        QTest::newRow("upper bits ignored") << 0x10010u << true;
        QTest::newRow("15") << 15u << false;
        QTest::newRow("32") << 32u << false;
        QTest::newRow("move (0xF010)") << 0xF010u << false;
    }
    void aboutFromSystemMenu()
    {
        QFETCH(uint, command);
        QFETCH(bool, opens);
        CMonitorDlg monitor(nullptr, [](std::shared_ptr<WorkerHost>) {});
        const QString title = monitor.GetWindowText();
        QStringList seen;
        // Twice: each opening builds a fresh box, and the box is gone once it has closed.
        for (int opening = 0; opening < 2; ++opening) {
            Watchdog watchdog;
            QTimer::singleShot(0, &monitor, [&, opening] {  // runs only inside a box's run
                for (QWidget *w : QApplication::topLevelWidgets())
                    if (auto *about = qobject_cast<CAboutDlg *>(w); about && about->IsRunning()) {
                        auto *version = qobject_cast<QLabel *>(about->GetDlgItem(IDC_VERSION_TEXT));
                        auto *icon = qobject_cast<QLabel *>(about->GetDlgItem(IDC_STATIC));  // the first static
                        seen << about->GetWindowText() + " | " + (version ? version->text() : "?") +
                                    (about->focusWidget() == about->GetDlgItem(IDOK) ? " | OK focused" : "") +
                                    (icon && !icon->pixmap().isNull() ? " | icon" : "");
                        Perform(*about, opening ? CloseBox : OkButton);
                    }
            });
            monitor.SendMessage(WM_SYSCOMMAND, command, 0);
        }
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<CAboutDlg *>(w));
        const QString about = "About USB Kestrum | USB Kestrum Ver 1.0 | OK focused | icon";
        QCOMPARE(seen, (opens ? QStringList{about, about} : QStringList()));
        QCOMPARE(monitor.GetWindowText(), title);
        QVERIFY(m_boxes.empty());
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
