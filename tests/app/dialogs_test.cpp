// The server list, the address dialog and the main window's handling of the choice,
// each run modally with the user's actions scheduled before the run starts.
#include "app/globals.h"
#include "app/messages.h"
#include "app/monitor_dlg.h"
#include "platform/ui/message_box.h"

#include <QApplication>
#include <QCloseEvent>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace {

constexpr int kStayedOpen = 77;     // the action left the run going; the test ended it
constexpr int kWatchdogEnded = 99;  // nothing ended the run

// Real keys go to the focused control, which must pass Enter and Escape on to the dialog.
enum Action { OkButton, CancelButton, EnterKey, EscapeKey, RealEnter, RealEscape, CloseBox, CloseCall, DoubleClick };

// Ends a run that the test failed to end, so that a fault fails the test instead of hanging it.
struct Watchdog {
    explicit Watchdog(CDialog &dlg)
    {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &dlg, [&dlg] { dlg.EndDialog(kWatchdogEnded); });
        timer.start(5000);
    }
    QTimer timer;
};

// Lets posted messages through, and the Cancel that a close request queues.
void Drain(QObject *receiver) { QCoreApplication::sendPostedEvents(receiver, 0); }

void Perform(CDialog &dlg, int action)
{
    QWidget *focused = dlg.focusWidget();
    QCloseEvent close;
    switch (action) {
    case OkButton: QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton); break;
    case CancelButton: QTest::mouseClick(dlg.GetDlgItem(IDCANCEL), Qt::LeftButton); break;
    case EnterKey: dlg.PressKey(Qt::Key_Return); break;
    case EscapeKey: dlg.PressKey(Qt::Key_Escape); break;
    case RealEnter: if (focused) QTest::keyClick(focused, Qt::Key_Return); break;
    case RealEscape: if (focused) QTest::keyClick(focused, Qt::Key_Escape); break;
    case CloseBox: QCoreApplication::sendEvent(&dlg, &close); break;
    case CloseCall: dlg.close(); break;
    default: break;
    }
    Drain(&dlg);
}

BOOL PostServer(const HWND &h, const std::string &text)
{
    auto owned = std::make_shared<std::string>(text);  // the message owns its text
    return PostMessage(h, WM_ADD_SERVER, reinterpret_cast<WPARAM>(owned->c_str()), 0, owned);
}

SortedListBox *List(const CServerListDlg &dlg) { return dlg.Item<SortedListBox>(IDC_SERVER_LIST); }

QStringList Entries(const CServerListDlg &dlg)
{
    QStringList texts;
    for (int i = 0; List(dlg) && i < List(dlg)->GetCount(); ++i)
        texts << List(dlg)->GetText(i);
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
    if (!List(dlg) || !List(dlg)->item(row))
        return;
    const QPoint at = List(dlg)->visualItemRect(List(dlg)->item(row)).center();
    if (twice)
        QTest::mouseDClick(List(dlg)->viewport(), Qt::LeftButton, {}, at);
    else
        QTest::mouseClick(List(dlg)->viewport(), Qt::LeftButton, {}, at);
}

// Fills the fields of a dotted text ("10" fills only the first) and leaves the focus in the last one.
void TypeAddress(CServerAddressDlg &dlg, const QString &dotted)
{
    if (dotted.isEmpty() || !dlg.m_ipAddressCtrl)
        return;
    const QStringList parts = dotted.split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i)
        dlg.m_ipAddressCtrl->Field(i)->setText(i < parts.size() ? parts[i] : QString());
    dlg.m_ipAddressCtrl->Field(3)->setFocus();
}

QByteArray AddressBytes(const sockaddr_in &a) { return QByteArray(reinterpret_cast<const char *>(&a.sin_addr), 4); }

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        SetMessageBoxHook([this](const MessageBoxCall &call) {
            m_boxes.push_back(call);
            return IDOK;
        });
    }
    void cleanupTestCase() { SetMessageBoxHook(nullptr); }
    void init() { m_boxes.clear(); }
    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            w->hide();
        g_hChoiceEvent.reset();
    }

    void listOrder_data();
    void listOrder();
    void listTakesEntriesFromAnotherThread();
    void listEnding_data();
    void listEnding();
    void listIgnoresPostsToAnEndedRun_data();
    void listIgnoresPostsToAnEndedRun();
    void addressEnding_data();
    void addressEnding();
    void addressSecondRunStartsBlank();
    void choiceHandlers_data();
    void choiceHandlers();

private:
    std::vector<MessageBoxCall> m_boxes;
};

void DialogsTest::listOrder_data()
{
    QTest::addColumn<QStringList>("arrivals");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("text order, not numeric") << QStringList{"192.168.0.9", "192.168.0.10"}
                                             << QStringList{"192.168.0.10", "192.168.0.9"};
    QTest::newRow("not arrival order") << QStringList{"10.0.0.3", "10.0.0.1", "10.0.0.2"}
                                       << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3"};
    QTest::newRow("an answer twice is listed twice") << QStringList{"10.0.0.5", "10.0.0.1", "10.0.0.5"}
                                                     << QStringList{"10.0.0.1", "10.0.0.5", "10.0.0.5"};
}

void DialogsTest::listOrder()
{
    QFETCH(QStringList, arrivals);
    QFETCH(QStringList, shown);
    CServerListDlg dlg;
    Watchdog watchdog(dlg);
    QList<int> counts, oneEach;
    QStringList entries;
    QTimer::singleShot(0, &dlg, [&] {
        for (const QString &s : arrivals) {
            AddServers(dlg, {s});
            counts << Entries(dlg).size();
        }
        entries = Entries(dlg);
        dlg.PressKey(Qt::Key_Escape);
    });
    QCOMPARE(dlg.DoModal(), IDCANCEL);
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
        std::thread poster([&, h = dlg.GetSafeHwnd()] {
            for (int i = 0; i < kPosts; ++i)
                accepted += PostServer(h, "10.0.1." + std::to_string(i)) ? 1 : 0;
        });
        poster.join();
        Drain(&dlg);
        entries = Entries(dlg);
        dlg.PressKey(Qt::Key_Escape);
    });
    QCOMPARE(dlg.DoModal(), IDCANCEL);
    QCOMPARE(accepted, kPosts);
    QCOMPARE(entries.size(), kPosts);
    QVERIFY(std::is_sorted(entries.begin(), entries.end()));
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
    QTest::newRow("Enter in the list box") << two << 1 << int(RealEnter) << IDOK << "10.0.0.9";
    QTest::newRow("Cancel") << two << 0 << int(CancelButton) << IDCANCEL << "";
    QTest::newRow("Escape") << two << 0 << int(EscapeKey) << IDCANCEL << "";
    QTest::newRow("Escape in the list box") << two << 0 << int(RealEscape) << IDCANCEL << "";
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
    bool startedOnList = false;
    int selectedAfter = -2;
    QTimer::singleShot(0, &dlg, [&] {
        startedOnList = dlg.focusWidget() && dlg.focusWidget() == List(dlg);
        AddServers(dlg, servers);
        if (pick >= 0)
            ClickEntry(dlg, pick, action == DoubleClick);
        Perform(dlg, action);
        if (dlg.IsRunning())
            selectedAfter = List(dlg)->GetCurSel();
        dlg.EndDialog(kStayedOpen);  // no effect once the action has ended the run
    });
    QCOMPARE(dlg.DoModal(), result);
    QVERIFY(startedOnList);
    QVERIFY(m_boxes.empty());
    if (result == kStayedOpen)
        QCOMPARE(selectedAfter, pick);
    if (result == IDOK)
        QCOMPARE(dlg.m_strChosenServer, chosen);
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
    auto watchdog = std::make_unique<Watchdog>(dlg);
    HWND first;
    QTimer::singleShot(0, &dlg, [&] {
        first = dlg.GetSafeHwnd();
        if (queuedAtEnd)
            PostServer(first, "10.0.0.1");
        dlg.PressKey(Qt::Key_Escape);
    });
    QCOMPARE(dlg.DoModal(), IDCANCEL);
    QVERIFY(first);
    if (!queuedAtEnd)
        QCOMPARE(PostServer(first, "10.0.0.1"), FALSE);

    watchdog = std::make_unique<Watchdog>(dlg);
    QStringList before, after;
    QTimer::singleShot(0, &dlg, [&] {
        Drain(&dlg);
        before = Entries(dlg);
        AddServers(dlg, {"10.0.0.2"});
        after = Entries(dlg);
        dlg.PressKey(Qt::Key_Escape);
    });
    QCOMPARE(dlg.DoModal(), IDCANCEL);
    QCOMPARE(before, QStringList());
    QCOMPARE(after, QStringList{"10.0.0.2"});
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
    QTest::newRow("blank, Enter on the OK button") << "" << int(RealEnter) << kStayedOpen << 0u << 1;
    QTest::newRow("only the first field") << "10" << int(OkButton) << IDOK << 0x0A000000u << 0;
    QTest::newRow("only the third field") << "..7" << int(OkButton) << IDOK << 0x00000700u << 0;
    QTest::newRow("Enter is OK") << "192.168.1.20" << int(EnterKey) << IDOK << 0xC0A80114u << 0;
    QTest::newRow("Enter in a field") << "10.0.0.5" << int(RealEnter) << IDOK << 0x0A000005u << 0;
    QTest::newRow("Abort") << "10.0.0.5" << int(CancelButton) << IDCANCEL << 0u << 0;
    QTest::newRow("Escape") << "" << int(EscapeKey) << IDCANCEL << 0u << 0;
    QTest::newRow("Escape in a field") << "10.0.0.5" << int(RealEscape) << IDCANCEL << 0u << 0;
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
    bool startedOnOk = false, stillBlank = false;
    QTimer::singleShot(0, &dlg, [&] {
        startedOnOk = dlg.focusWidget() && dlg.focusWidget() == dlg.GetDlgItem(IDOK);
        TypeAddress(dlg, typed);
        Perform(dlg, action);
        stillBlank = dlg.IsRunning() && dlg.m_ipAddressCtrl && dlg.m_ipAddressCtrl->IsBlank();
        dlg.EndDialog(kStayedOpen);
    });
    QCOMPARE(dlg.DoModal(), result);
    QVERIFY(startedOnOk);
    QCOMPARE(int(m_boxes.size()), boxes);
    for (const MessageBoxCall &box : m_boxes) {
        QCOMPARE(box.text, QString("IP Address can not be blank!"));
        QCOMPARE(box.caption, QString("Input IP Address Error"));
        QCOMPARE(box.flags, 0x10u);
    }
    if (result == kStayedOpen)
        QVERIFY(stillBlank);
    if (result == IDOK)
        QCOMPARE(dlg.m_dwAddress, DWORD(address));
}

void DialogsTest::addressSecondRunStartsBlank()
{
    // Each run builds its controls afresh: the bound control must be the new one.
    CServerAddressDlg dlg;
    for (const char *typed : {"10.0.0.5", "192.168.1.20"}) {
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
    QTest::addColumn<QString>("shown");  // empty: a refusal, the title stays
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray before("\x01\x02\x03\x04", 4);
    const QByteArray tenZeroZeroFive("\x0a\x00\x00\x05", 4);
    QTest::newRow("list: 10.0.0.5") << true << "10.0.0.5" << int(OkButton) << "10.0.0.5" << tenZeroZeroFive;
    QTest::newRow("list: Cancel") << true << "10.0.0.5" << int(CancelButton) << "" << before;
    QTest::newRow("list: close box") << true << "10.0.0.5" << int(CloseBox) << "" << before;
    QTest::newRow("typed: 10.0.0.5") << false << "10.0.0.5" << int(EnterKey) << "10.0.0.5" << tenZeroZeroFive;
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
        seenBytes = AddressBytes(dlg.m_serverAddr);
    });

    Watchdog listWatchdog(dlg.m_serverListDlg), addressWatchdog(dlg.m_serverAddressDlg);
    bool setDuringRun = true;
    QTimer::singleShot(0, &dlg, [&] {
        setDuringRun = g_hChoiceEvent->IsSet();  // the worker must wait while the user chooses
        if (fromList) {
            AddServers(dlg.m_serverListDlg, {"10.0.0.50", entry, "192.168.0.9"});
            ClickEntry(dlg.m_serverListDlg, Entries(dlg.m_serverListDlg).indexOf(entry));
            Perform(dlg.m_serverListDlg, action);
        } else {
            TypeAddress(dlg.m_serverAddressDlg, entry);
            Perform(dlg.m_serverAddressDlg, action);
        }
    });
    const LRESULT handled = dlg.SendMessage(fromList ? WM_CHOOSE_SERVER : WM_ASK_SERVER_ADDRESS);
    worker.join();

    const int chosen = shown.isEmpty() ? 0 : 1;
    QCOMPARE(handled, LRESULT(0));
    QVERIFY(!setDuringRun);
    QVERIFY(g_hChoiceEvent->IsSet());
    QVERIFY(signalled);
    QCOMPARE(seenChosen, chosen);
    QCOMPARE(seenBytes, bytes);
    QCOMPARE(dlg.m_bServerChosen, chosen);
    QCOMPARE(AddressBytes(dlg.m_serverAddr), bytes);
    QCOMPARE(int(dlg.m_serverAddr.sin_family), AF_INET);  // the worker fills these in itself
    QCOMPARE(int(dlg.m_serverAddr.sin_port), 0x1234);
    QCOMPARE(dlg.GetWindowText(), chosen ? "USB Kestrum (Server IP: " + shown + ")" : titleBefore);
    QVERIFY(m_boxes.empty());
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
