// The server list, the address dialog and the main window's handling of the choice,
// each run modally with the user's actions scheduled before the run starts.
#include "app/globals.h"
#include "app/messages.h"
#include "app/monitor_dlg.h"
#include "dialogs/server_address_dlg.h"
#include "dialogs/server_list_dlg.h"
#include "platform/ui/message_box.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace {

constexpr int kStayedOpen = 77;     // the test ended a run that its action left open
constexpr int kWatchdogEnded = 99;  // nothing ended the run

enum Action {
    OkButton, EnterKey, CancelButton, EscapeKey, CloseBox, CloseCall,
    EnterInControl, EscapeInControl, EnterInField, EscapeInField, DoubleClick
};

// Ends a run that the test failed to end, so that a fault fails the test instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(CDialog &dlg)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, &dlg, [&dlg] { dlg.EndDialog(kWatchdogEnded); });
        m_timer.start(5000);
    }

private:
    QTimer m_timer;
};

// A handled close request may queue a Cancel behind it: let it through.
void Drain(QObject *receiver) { QCoreApplication::sendPostedEvents(receiver, 0); }

void Perform(CDialog &dlg, int action)
{
    switch (action) {
    case OkButton: QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton); break;
    case EnterKey: dlg.PressKey(Qt::Key_Return); break;
    case CancelButton: QTest::mouseClick(dlg.GetDlgItem(IDCANCEL), Qt::LeftButton); break;
    case EscapeKey: dlg.PressKey(Qt::Key_Escape); break;
    case CloseBox: {
        QCloseEvent close;
        QCoreApplication::sendEvent(&dlg, &close);
        break;
    }
    case CloseCall: dlg.close(); break;
    // The real key goes to the focused control first and reaches the dialog only if the control passes it on.
    case EnterInControl:
        if (QWidget *focused = dlg.focusWidget())
            QTest::keyClick(focused, Qt::Key_Return);
        break;
    case EscapeInControl:
        if (QWidget *focused = dlg.focusWidget())
            QTest::keyClick(focused, Qt::Key_Escape);
        break;
    case EnterInField:
    case EscapeInField:
        if (auto *edit = dlg.findChild<IpAddressEdit *>()) {
            edit->Field(3)->setFocus();
            QTest::keyClick(edit->Field(3), action == EnterInField ? Qt::Key_Return : Qt::Key_Escape);
        }
        break;
    default: break;
    }
    Drain(&dlg);
}

void PostServer(const HWND &h, const std::string &text, BOOL *accepted = nullptr)
{
    // The message owns its text: the sender keeps no copy.
    auto owned = std::make_shared<std::string>(text);
    const BOOL ok = PostMessage(h, WM_ADD_SERVER, reinterpret_cast<WPARAM>(owned->c_str()), 0, owned);
    if (accepted)
        *accepted = ok;
}

SortedListBox *List(const CServerListDlg &dlg) { return dlg.Item<SortedListBox>(IDC_SERVER_LIST); }

QStringList Entries(const CServerListDlg &dlg)
{
    QStringList texts;
    if (SortedListBox *list = List(dlg))
        for (int i = 0; i < list->GetCount(); ++i)
            texts << list->GetText(i);
    return texts;
}

void AddServers(CServerListDlg &dlg, const QStringList &servers)
{
    for (const QString &s : servers)
        PostServer(dlg.GetSafeHwnd(), s.toStdString());
    Drain(&dlg);
}

void ClickEntry(CServerListDlg &dlg, int row, bool twice = false)
{
    SortedListBox *list = List(dlg);
    if (!list || !list->item(row))
        return;
    const QPoint at = list->visualItemRect(list->item(row)).center();
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    else
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
}

void TypeAddress(CServerAddressDlg &dlg, const QString &dotted)
{
    const QStringList parts = dotted.split(QLatin1Char('.'));
    for (int i = 0; i < 4 && dlg.m_ipAddressCtrl; ++i)
        dlg.m_ipAddressCtrl->Field(i)->setText(i < parts.size() ? parts[i] : QString());
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void listEntriesStandInTextOrder_data();
    void listEntriesStandInTextOrder();
    void listTakesEntriesFromAnotherThread();
    void listEnding_data();
    void listEnding();
    void listOkWithoutSelectionKeepsTheRunGoing();
    void listIgnoresPostsToAnEndedRun_data();
    void listIgnoresPostsToAnEndedRun();
    void firstFocus_data();
    void firstFocus();
    void addressEnding_data();
    void addressEnding();
    void addressSecondRunStartsBlank();
    void choiceHandlers_data();
    void choiceHandlers();

private:
    std::vector<MessageBoxCall> m_boxes;
};

void DialogsTest::initTestCase()
{
    SetMessageBoxHook([this](const MessageBoxCall &call) {
        m_boxes.push_back(call);
        return IDOK;
    });
}

void DialogsTest::cleanupTestCase() { SetMessageBoxHook(nullptr); }

void DialogsTest::init() { m_boxes.clear(); }

void DialogsTest::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        w->hide();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void DialogsTest::listEntriesStandInTextOrder_data()
{
    QTest::addColumn<QStringList>("arrivals");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("text order, not numeric") << QStringList{"192.168.0.9", "192.168.0.10"}
                                             << QStringList{"192.168.0.10", "192.168.0.9"};
    QTest::newRow("not arrival order") << QStringList{"10.0.0.3", "10.0.0.1", "10.0.0.2"}
                                       << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3"};
    QTest::newRow("a server that answers twice is listed twice")
        << QStringList{"10.0.0.5", "10.0.0.1", "10.0.0.5"} << QStringList{"10.0.0.1", "10.0.0.5", "10.0.0.5"};
}

void DialogsTest::listEntriesStandInTextOrder()
{
    QFETCH(QStringList, arrivals);
    QFETCH(QStringList, shown);
    CServerListDlg dlg;
    Watchdog watchdog(dlg);
    QList<int> counts;
    QStringList entries;
    QTimer::singleShot(0, &dlg, [&] {
        for (const QString &s : arrivals) {
            AddServers(dlg, {s});
            counts << List(dlg)->GetCount();
        }
        entries = Entries(dlg);
        dlg.PressKey(Qt::Key_Escape);
    });
    QCOMPARE(dlg.DoModal(), IDCANCEL);
    QList<int> oneEach;
    for (int i = 1; i <= arrivals.size(); ++i)
        oneEach << i;
    QCOMPARE(counts, oneEach);
    QCOMPARE(entries, shown);
}

void DialogsTest::listTakesEntriesFromAnotherThread()
{
    CServerListDlg dlg;
    Watchdog watchdog(dlg);
    constexpr int kPosts = 40;
    int accepted = 0;
    QStringList entries;
    QTimer::singleShot(0, &dlg, [&] {
        const HWND h = dlg.GetSafeHwnd();
        std::thread poster([&] {
            for (int i = 0; i < kPosts; ++i) {
                BOOL ok = FALSE;
                PostServer(h, "10.0.1." + std::to_string(i), &ok);
                accepted += ok ? 1 : 0;
            }
        });
        poster.join();
        Drain(&dlg);
        entries = Entries(dlg);
        dlg.PressKey(Qt::Key_Escape);
    });
    QCOMPARE(dlg.DoModal(), IDCANCEL);
    QCOMPARE(accepted, kPosts);
    QCOMPARE(entries.size(), kPosts);
    QStringList sorted = entries;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(entries, sorted);
    QVERIFY(entries.contains("10.0.1.39"));
}

void DialogsTest::listEnding_data()
{
    QTest::addColumn<QStringList>("servers");
    QTest::addColumn<int>("pick");  // row clicked first, -1 for none
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("chosen");

    const QStringList two{"10.0.0.9", "10.0.0.10"};  // shown as 10.0.0.10, 10.0.0.9
    QTest::newRow("OK, nothing selected") << two << -1 << int(OkButton) << kStayedOpen << "";
    QTest::newRow("Enter, nothing selected") << two << -1 << int(EnterKey) << kStayedOpen << "";
    QTest::newRow("OK, empty list") << QStringList{} << -1 << int(OkButton) << kStayedOpen << "";
    QTest::newRow("double-click only selects") << two << 1 << int(DoubleClick) << kStayedOpen << "";
    QTest::newRow("OK with a selection") << two << 1 << int(OkButton) << IDOK << "10.0.0.9";
    QTest::newRow("Enter with a selection") << two << 0 << int(EnterKey) << IDOK << "10.0.0.10";
    QTest::newRow("Enter in the list box") << two << 1 << int(EnterInControl) << IDOK << "10.0.0.9";
    QTest::newRow("Cancel") << two << 0 << int(CancelButton) << IDCANCEL << "";
    QTest::newRow("Escape") << two << 0 << int(EscapeKey) << IDCANCEL << "";
    QTest::newRow("Escape in the list box") << two << 0 << int(EscapeInControl) << IDCANCEL << "";
    QTest::newRow("close box") << two << 0 << int(CloseBox) << IDCANCEL << "";
    QTest::newRow("close()") << two << -1 << int(CloseCall) << IDCANCEL << "";
}

void DialogsTest::listEnding()
{
    QFETCH(QStringList, servers);
    QFETCH(int, pick);
    QFETCH(int, action);
    QFETCH(int, result);
    QFETCH(QString, chosen);
    CServerListDlg dlg;
    Watchdog watchdog(dlg);
    int selectedAfter = -2;
    QTimer::singleShot(0, &dlg, [&] {
        AddServers(dlg, servers);
        if (pick >= 0)
            ClickEntry(dlg, pick, action == DoubleClick);
        Perform(dlg, action);
        if (dlg.IsRunning())
            selectedAfter = List(dlg)->GetCurSel();
        dlg.EndDialog(kStayedOpen);  // no effect once the action has ended the run
    });
    QCOMPARE(dlg.DoModal(), result);
    QVERIFY(m_boxes.empty());
    if (result == kStayedOpen)
        QCOMPARE(selectedAfter, pick);
    if (result == IDOK)
        QCOMPARE(dlg.m_strChosenServer, chosen);
}

void DialogsTest::listOkWithoutSelectionKeepsTheRunGoing()
{
    CServerListDlg dlg;
    Watchdog watchdog(dlg);
    bool openAfterFirstOk = false;
    QTimer::singleShot(0, &dlg, [&] {
        AddServers(dlg, {"10.0.0.2", "10.0.0.1"});
        Perform(dlg, OkButton);
        openAfterFirstOk = dlg.IsRunning();
        AddServers(dlg, {"10.0.0.3"});  // the worker may still be adding
        ClickEntry(dlg, 2);
        Perform(dlg, OkButton);
    });
    QCOMPARE(dlg.DoModal(), IDOK);
    QVERIFY(openAfterFirstOk);
    QCOMPARE(dlg.m_strChosenServer, QString("10.0.0.3"));
    QVERIFY(m_boxes.empty());
}

void DialogsTest::listIgnoresPostsToAnEndedRun_data()
{
    QTest::addColumn<bool>("queuedAtEnd");
    QTest::newRow("posted after the run ended") << false;
    QTest::newRow("still queued when the run ended") << true;
}

void DialogsTest::listIgnoresPostsToAnEndedRun()
{
    QFETCH(bool, queuedAtEnd);
    CServerListDlg dlg;
    HWND first;
    {
        Watchdog watchdog(dlg);
        QTimer::singleShot(0, &dlg, [&] {
            first = dlg.GetSafeHwnd();
            if (queuedAtEnd)
                PostServer(first, "10.0.0.1");
            dlg.PressKey(Qt::Key_Escape);
        });
        QCOMPARE(dlg.DoModal(), IDCANCEL);
    }
    QVERIFY(first);
    BOOL acceptedLate = TRUE;
    if (!queuedAtEnd)
        PostServer(first, "10.0.0.1", &acceptedLate);

    Watchdog watchdog(dlg);
    int before = -1, after = -1;
    QTimer::singleShot(0, &dlg, [&] {
        Drain(&dlg);
        before = List(dlg)->GetCount();
        AddServers(dlg, {"10.0.0.2"});
        after = List(dlg)->GetCount();
        dlg.PressKey(Qt::Key_Escape);
    });
    QCOMPARE(dlg.DoModal(), IDCANCEL);
    if (!queuedAtEnd)
        QCOMPARE(acceptedLate, FALSE);
    QCOMPARE(before, 0);
    QCOMPARE(after, 1);
}

void DialogsTest::firstFocus_data()
{
    QTest::addColumn<bool>("listDialog");
    QTest::addColumn<int>("control");
    QTest::newRow("server list: the list box") << true << IDC_SERVER_LIST;
    QTest::newRow("address: the OK button") << false << IDOK;
}

void DialogsTest::firstFocus()
{
    QFETCH(bool, listDialog);
    QFETCH(int, control);
    std::unique_ptr<CDialog> dlg;
    if (listDialog)
        dlg = std::make_unique<CServerListDlg>();
    else
        dlg = std::make_unique<CServerAddressDlg>();
    Watchdog watchdog(*dlg);
    QWidget *focused = nullptr;
    QWidget *expected = nullptr;
    QTimer::singleShot(0, dlg.get(), [&] {
        focused = dlg->focusWidget();
        expected = dlg->GetDlgItem(control);
        dlg->PressKey(Qt::Key_Escape);
    });
    QCOMPARE(dlg->DoModal(), IDCANCEL);
    QVERIFY(expected);
    QCOMPARE(focused, expected);
}

void DialogsTest::addressEnding_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("result");
    QTest::addColumn<uint>("address");
    QTest::addColumn<int>("boxes");

    QTest::newRow("blank, OK") << "" << int(OkButton) << kStayedOpen << 0u << 1;
    QTest::newRow("blank, Enter") << "" << int(EnterKey) << kStayedOpen << 0u << 1;
    QTest::newRow("only the first field") << "10" << int(OkButton) << IDOK << 0x0A000000u << 0;
    QTest::newRow("only the third field") << "..7" << int(OkButton) << IDOK << 0x00000700u << 0;
    QTest::newRow("Enter is OK") << "192.168.1.20" << int(EnterKey) << IDOK << 0xC0A80114u << 0;
    QTest::newRow("Enter on the OK button") << "10.0.0.5" << int(EnterInControl) << IDOK << 0x0A000005u << 0;
    QTest::newRow("Enter in a field") << "10.0.0.5" << int(EnterInField) << IDOK << 0x0A000005u << 0;
    QTest::newRow("blank, Enter in a field") << "" << int(EnterInField) << kStayedOpen << 0u << 1;
    QTest::newRow("Escape in a field") << "10.0.0.5" << int(EscapeInField) << IDCANCEL << 0u << 0;
    QTest::newRow("Abort") << "10.0.0.5" << int(CancelButton) << IDCANCEL << 0u << 0;
    QTest::newRow("Escape") << "" << int(EscapeKey) << IDCANCEL << 0u << 0;
    QTest::newRow("no close box") << "" << int(CloseBox) << kStayedOpen << 0u << 0;
}

void DialogsTest::addressEnding()
{
    QFETCH(QString, typed);
    QFETCH(int, action);
    QFETCH(int, result);
    QFETCH(uint, address);
    QFETCH(int, boxes);
    CServerAddressDlg dlg;
    Watchdog watchdog(dlg);
    QStringList fieldsAfter;
    QTimer::singleShot(0, &dlg, [&] {
        TypeAddress(dlg, typed);
        Perform(dlg, action);
        if (dlg.IsRunning() && dlg.m_ipAddressCtrl)
            for (int i = 0; i < 4; ++i)
                fieldsAfter << dlg.m_ipAddressCtrl->Field(i)->text();
        dlg.EndDialog(kStayedOpen);
    });
    QCOMPARE(dlg.DoModal(), result);
    QCOMPARE(int(m_boxes.size()), boxes);
    for (const MessageBoxCall &box : m_boxes) {
        QCOMPARE(box.text, QString("IP Address can not be blank!"));
        QCOMPARE(box.caption, QString("Input IP Address Error"));
        QCOMPARE(box.flags, 0x10u);
    }
    if (result == kStayedOpen)
        QCOMPARE(fieldsAfter, (QStringList{"", "", "", ""}));
    if (result == IDOK)
        QCOMPARE(dlg.m_dwAddress, DWORD(address));
}

void DialogsTest::addressSecondRunStartsBlank()
{
    CServerAddressDlg dlg;
    for (const QString &typed : {QString("10.0.0.5"), QString("192.168.1.20")}) {
        Watchdog watchdog(dlg);
        bool blankAtStart = false;
        QTimer::singleShot(0, &dlg, [&] {
            blankAtStart = dlg.m_ipAddressCtrl && dlg.m_ipAddressCtrl->IsBlank();
            TypeAddress(dlg, typed);
            Perform(dlg, OkButton);
        });
        QCOMPARE(dlg.DoModal(), IDOK);
        QVERIFY(blankAtStart);
    }
    QCOMPARE(dlg.m_dwAddress, DWORD(0xC0A80114u));
}

void DialogsTest::choiceHandlers_data()
{
    QTest::addColumn<bool>("fromList");
    QTest::addColumn<QString>("entry");  // picked from the list, or typed
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("shown");  // empty: the title is left as it was
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray before("\x01\x02\x03\x04", 4);
    QTest::newRow("list: 10.0.0.5") << true << "10.0.0.5" << int(OkButton) << "10.0.0.5" << QByteArray("\x0a\x00\x00\x05", 4);
    QTest::newRow("list: Cancel") << true << "10.0.0.5" << int(CancelButton) << "" << before;
    QTest::newRow("list: close box") << true << "10.0.0.5" << int(CloseBox) << "" << before;
    QTest::newRow("typed: 10.0.0.5") << false << "10.0.0.5" << int(EnterKey) << "10.0.0.5" << QByteArray("\x0a\x00\x00\x05", 4);
    QTest::newRow("typed: 192.168.1.20") << false << "192.168.1.20" << int(OkButton) << "192.168.1.20"
                                         << QByteArray("\xc0\xa8\x01\x14", 4);
    QTest::newRow("typed: only 10") << false << "10" << int(OkButton) << "10.0.0.0" << QByteArray("\x0a\x00\x00\x00", 4);
    QTest::newRow("typed: Abort") << false << "10.0.0.5" << int(CancelButton) << "" << before;
    QTest::newRow("typed: Escape") << false << "" << int(EscapeKey) << "" << before;
}

void DialogsTest::choiceHandlers()
{
    QFETCH(bool, fromList);
    QFETCH(QString, entry);
    QFETCH(int, action);
    QFETCH(QString, shown);
    QFETCH(QByteArray, bytes);

    CMonitorDlg dlg(nullptr, [](std::shared_ptr<WorkerHost>) {});
    g_hChoiceEvent = CreateEvent();
    dlg.m_bServerChosen = 7;  // neither answer
    dlg.m_serverAddr.sin_family = AF_INET;
    dlg.m_serverAddr.sin_port = 0x1234;
    std::memcpy(&dlg.m_serverAddr.sin_addr, "\x01\x02\x03\x04", 4);
    const QString titleBefore = dlg.GetWindowText();

    // What the worker sees once the event is set.
    struct Seen {
        bool signalled = false;
        int chosen = -1;
        QByteArray bytes;
    } seen;
    const EventHandle choice = g_hChoiceEvent;
    std::thread worker([&] {
        seen.signalled = WaitForSingleObject(choice, 10000) == WAIT_OBJECT_0;
        seen.chosen = dlg.m_bServerChosen;
        seen.bytes = QByteArray(reinterpret_cast<const char *>(&dlg.m_serverAddr.sin_addr), 4);
    });

    Watchdog listWatchdog(dlg.m_serverListDlg);
    Watchdog addressWatchdog(dlg.m_serverAddressDlg);
    QTimer::singleShot(0, &dlg, [&] {
        if (fromList) {
            CServerListDlg &list = dlg.m_serverListDlg;
            AddServers(list, {"10.0.0.50", entry, "192.168.0.9"});
            ClickEntry(list, Entries(list).indexOf(entry));
            Perform(list, action);
        } else {
            TypeAddress(dlg.m_serverAddressDlg, entry);
            Perform(dlg.m_serverAddressDlg, action);
        }
    });
    const LRESULT handled = dlg.SendMessage(fromList ? WM_CHOOSE_SERVER : WM_ASK_SERVER_ADDRESS);
    worker.join();

    QCOMPARE(handled, LRESULT(0));
    const bool accepted = !shown.isEmpty();
    QVERIFY(g_hChoiceEvent->IsSet());
    QVERIFY(seen.signalled);
    QCOMPARE(seen.chosen, accepted ? 1 : 0);
    QCOMPARE(seen.bytes, bytes);
    QCOMPARE(dlg.m_bServerChosen, accepted ? 1 : 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&dlg.m_serverAddr.sin_addr), 4), bytes);
    QCOMPARE(int(dlg.m_serverAddr.sin_family), AF_INET);
    QCOMPARE(int(dlg.m_serverAddr.sin_port), 0x1234);
    QCOMPARE(dlg.GetWindowText(), accepted ? "USB Kestrum (Server IP: " + shown + ")" : titleBefore);
    QVERIFY(m_boxes.empty());
    g_hChoiceEvent.reset();
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
