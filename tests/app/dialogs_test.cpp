// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The choice dialogs and the main window's handling of the choice, each run modally.
#include "app/globals.h"
#include "app/messages.h"
#include "app/monitor_dlg.h"
#include "platform/ui/message_box.h"

#include <QApplication>
#include <QCloseEvent>
#include <QtTest>
#include <functional>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

using namespace platform;

namespace {

// Real keys go to the focused control, which must pass Enter and Escape on to the dialog.
enum Action { OkButton, RealEnter, RealEscape, CloseBox };

void Perform(CDialog &dlg, int action)
{
    QCloseEvent close;
    if (action == OkButton)
        QTest::mouseClick(dlg.GetDlgItem(IDOK), Qt::LeftButton);
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

struct Outcome {
    bool waited = false, signalled = false, open = false;
    int chosen = -1;
    QByteArray bytes;
};

// Runs the dialog `msg` opens while a thread waits for the choice as the worker does; `act` plays the user.
Outcome RunChoice(CMonitorDlg &dlg, UINT msg, std::function<void(CDialog &)> act)
{
    Outcome out;
    std::memcpy(&dlg.m_serverAddr.sin_addr, "\x01\x02\x03\x04", 4);
    std::thread worker([&, choice = g_hChoiceEvent] {
        out.signalled = WaitForSingleObject(choice, 10000) == WAIT_OBJECT_0;
        out.chosen = dlg.m_bServerChosen;
        out.bytes = QByteArray(reinterpret_cast<const char *>(&dlg.m_serverAddr.sin_addr), 4);
    });
    CDialog &running = msg == WM_CHOOSE_SERVER ? static_cast<CDialog &>(dlg.m_serverListDlg) : dlg.m_serverAddressDlg;
    QTimer::singleShot(0, &dlg, [&] {
        out.waited = !g_hChoiceEvent->IsSet();
        act(running);
        out.open = running.isVisible();  // an ended run hides its window at once
        running.EndDialog(77);           // no effect once the user has ended the run
    });
    QTimer::singleShot(5000, &running, [&] { running.EndDialog(99); });  // a fault must not hang the test
    dlg.SendMessage(msg);
    worker.join();
    return out;
}

// What the worker and the title must show once `address` was chosen, or nothing was.
void CheckChosen(CMonitorDlg &dlg, const Outcome &out, const QString &address, const QString &titleBefore)
{
    QByteArray bytes("\x01\x02\x03\x04", 4);  // in dotted order, as the socket address holds them
    for (int i = 0; i < 4 && !address.isEmpty(); ++i)
        bytes[i] = char(address.section(QLatin1Char('.'), i, i).toInt());
    QVERIFY(out.waited);
    QVERIFY(out.signalled);
    QCOMPARE(out.chosen, address.isEmpty() ? 0 : 1);
    QCOMPARE(out.bytes, bytes);
    QCOMPARE(dlg.GetWindowText(), address.isEmpty() ? titleBefore : "USB Kestrum (Server IP: " + address + ")");
}

// Plays keys (Qt's names), clicks on entries ([d|ctrl]clickN), OK and Close on the running server list.
void Play(CServerListDlg &list, const QString &keys)
{
    SortedListBox *box = List(list);
    for (const QString &key : keys.split(QLatin1Char(' '))) {
        if (!list.IsRunning() || !list.isVisible())
            break;
        const QPoint at = key.contains(QLatin1String("click"))
                              ? box->visualItemRect(box->item(key.right(1).toInt())).center()
                              : QPoint();
        if (key.startsWith(QLatin1String("dclick")))
            QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, at);
        else if (key.contains(QLatin1String("click")))
            QTest::mouseClick(box->viewport(), Qt::LeftButton,
                              key.startsWith(QLatin1String("ctrl")) ? Qt::ControlModifier : Qt::NoModifier, at);
        else if (key == QLatin1String("OK") || key == QLatin1String("Close"))
            Perform(list, key == QLatin1String("OK") ? OkButton : CloseBox);
        else
            QTest::keyClick(list.focusWidget(), QKeySequence(key)[0].key());
    }
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
    void init()
    {
        m_boxes.clear();
        g_hChoiceEvent = CreateEvent();
        m_dlg->m_bServerChosen = 7;  // neither outcome
    }
    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            w->hide();
        g_hChoiceEvent.reset();
    }

    void typedAddress_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("shown");  // empty: refused, or still open if blank
        QTest::newRow("blank, Enter on OK: one warning") << "" << int(RealEnter) << "";
        QTest::newRow("only 10") << "10" << int(OkButton) << "10.0.0.0";
        QTest::newRow("Enter in a field") << "192.168.1.20" << int(RealEnter) << "192.168.1.20";
        QTest::newRow("Escape in a field") << "10.0.0.5" << int(RealEscape) << "";
        QTest::newRow("no close box") << "" << int(CloseBox) << "";
    }
    void typedAddress()
    {
        QFETCH(QString, typed);
        QFETCH(int, action);
        QFETCH(QString, shown);
        const QString title = m_dlg->GetWindowText();
        bool fresh = false, blank = false;
        const Outcome out = RunChoice(*m_dlg, WM_ASK_SERVER_ADDRESS, [&](CDialog &running) {
            auto &address = static_cast<CServerAddressDlg &>(running);
            fresh = running.focusWidget() == address.GetDlgItem(IDOK) && address.m_ipAddressCtrl->IsBlank();
            for (int i = 0; i < 4 && !typed.isEmpty(); ++i)  // "10" fills only the first field
                address.m_ipAddressCtrl->Field(i)->setText(typed.section(QLatin1Char('.'), i, i));
            address.m_ipAddressCtrl->Field(3)->setFocus();
            Perform(running, action);
            blank = address.m_ipAddressCtrl->IsBlank();
        });
        QVERIFY(fresh);
        QCOMPARE(out.open, typed.isEmpty());
        if (out.open)
            QVERIFY(blank);
        const int warnings = typed.isEmpty() && action != CloseBox ? 1 : 0;
        QCOMPARE(int(m_boxes.size()), warnings);  // one box per attempt, not one per key event
        for (const MessageBoxCall &box : m_boxes)
            QCOMPARE(box.text + "|" + box.caption + "|" + QString::number(box.flags),
                     QString("IP Address can not be blank!|Input IP Address Error|16"));
        CheckChosen(*m_dlg, out, shown, title);
    }

    // The list's caret is its selection: every key landing on an entry selects it, even the current one.
    void serverList_data()
    {
        QTest::addColumn<int>("servers");     // 10.0.0.9, 10.0.0.10, 10.0.0.9 again; listed in text order
        QTest::addColumn<QString>("keys");    // [d|ctrl]clickN clicks entry N, OK the button, Close the close box
        QTest::addColumn<QString>("chosen");  // empty: the dialog stays open; "none": refused
        const QString nine = "10.0.0.9", ten = "10.0.0.10";
        QTest::newRow("one: Home, Return") << 1 << "Home Return" << nine;
        QTest::newRow("one: Return alone") << 1 << "Return" << QString();
        QTest::newRow("one: Space, Return") << 1 << "Space Return" << nine;
        QTest::newRow("two: Down, Return") << 2 << "Down Return" << nine;
        QTest::newRow("two: click the first, OK") << 2 << "click0 OK" << ten;
        QTest::newRow("two: OK alone") << 2 << "OK" << QString();
        QTest::newRow("two: Page Down, Up, Return") << 2 << "PgDown Up Return" << ten;
        QTest::newRow("two: Ctrl-click keeps the selection") << 2 << "click1 ctrlclick1 OK" << nine;
        QTest::newRow("two: click the current entry, Return") << 2 << "click0 Return" << ten;
        QTest::newRow("two: double-click only selects") << 2 << "dclick1" << QString();
        QTest::newRow("two: close box refuses") << 2 << "click0 Close" << QString("none");
        QTest::newRow("three, one twice: End, Return") << 3 << "End Return" << nine;
    }
    void serverList()
    {
        QFETCH(int, servers);
        QFETCH(QString, keys);
        QFETCH(QString, chosen);
        const QString title = m_dlg->GetWindowText();
        int selectedBefore = -2, selectedAfter = -2, accepted = 0;
        bool fresh = false;
        QStringList listed;
        const Outcome out = RunChoice(*m_dlg, WM_CHOOSE_SERVER, [&](CDialog &running) {
            auto &list = static_cast<CServerListDlg &>(running);
            SortedListBox *box = List(list);
            fresh = list.focusWidget() == box && box->GetCount() == 0;
            QApplication::setActiveWindow(&list);      // as on a desktop: focus changes reach the controls
            std::thread([&, h = list.GetSafeHwnd()] {  // as discovery does
                for (const char *s : {"10.0.0.9", "10.0.0.10", "10.0.0.9"})
                    accepted += int(accepted < servers && PostServer(h, s));
            })
                .join();
            QCoreApplication::sendPostedEvents(&list, 0);
            for (int i = 0; i < box->GetCount(); ++i)
                listed << box->GetText(i);
            selectedBefore = box->GetCurSel();
            Play(list, keys);
            selectedAfter = box->GetCurSel();
        });
        QVERIFY(fresh);
        QCOMPARE(accepted, servers);
        const QStringList all{"10.0.0.10", "10.0.0.9", "10.0.0.9"};  // text order, not numeric
        QCOMPARE(listed, servers == 1 ? QStringList{"10.0.0.9"} : all.mid(0, servers));
        QCOMPARE(selectedBefore, -1);  // nothing selected until the user picks
        QCOMPARE(out.open, chosen.isEmpty());
        if (keys.startsWith(QLatin1String("dclick")))
            QCOMPARE(selectedAfter, 1);
        CheckChosen(*m_dlg, out, chosen.startsWith(QLatin1String("10.")) ? chosen : QString(), title);
        QVERIFY(m_boxes.empty());
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
