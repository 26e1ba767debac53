// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The whole monitor, offscreen, with its real worker, discovery and gateway
// lookup: run by lan_monitor_test.sh in the client namespace of a private test
// LAN, one test function per LAN layout.
#include "main_window_harness.h"

#include "app/messages.h"
#include "view/printer_tree.h"

#include <QPlainTextEdit>
#include <QTest>

using namespace platform;

namespace {

QStringList ListEntries(CServerListDlg &list)
{
    QStringList out;
    for (int i = 0; i < list.Item<SortedListBox>(IDC_SERVER_LIST)->GetCount(); ++i)
        out << list.Item<SortedListBox>(IDC_SERVER_LIST)->GetText(i);
    return out;
}

int PrinterItems(CMonitorDlg &dlg)
{
    return dlg.m_treePrinters->topLevelItemCount() ? dlg.m_treePrinters->topLevelItem(0)->childCount() : 0;
}

// Waits for `servers` entries and picks entry `pick` (or, with none, types
// 10.213.0.1), waits for printers and closes, unless the worker closes first.
struct LanRun {
    MonitorRun run;
    QStringList entries;
    QString title, details;
    bool noticeSeen = false;
    LanRun(int servers, int pick)
    {
        auto &dlg = run.dlg;
        run.drive.Then([&, servers] {
            noticeSeen |= dlg.m_findingDlg.IsRunning();
            return servers ? dlg.m_serverListDlg.IsRunning() && ListEntries(dlg.m_serverListDlg).size() == servers
                           : dlg.m_serverAddressDlg.IsRunning();
        });
        run.drive.Then([&, servers, pick] {
            if (servers) {
                entries = ListEntries(dlg.m_serverListDlg);
                dlg.m_serverListDlg.Item<SortedListBox>(IDC_SERVER_LIST)->SetCurSel(pick);
                dlg.m_serverListDlg.PressKey(Qt::Key_Return);
            } else {
                dlg.m_serverAddressDlg.m_ipAddressCtrl->SetAddress(0x0AD50001);
                dlg.m_serverAddressDlg.PressKey(Qt::Key_Return);
            }
            return true;
        });
        run.drive.Then([&] { return dlg.isVisible() && PrinterItems(dlg) > 0; });
        run.drive.Then([&, servers] {
            title = dlg.GetWindowText();
            dlg.m_treePrinters->setCurrentItem(dlg.m_treePrinters->topLevelItem(0)->child(0));
            details = dlg.m_editDetails->toPlainText();
            if (servers)
                dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        QVERIFY(!run.drive.Aborted());
        QVERIFY(noticeSeen);
        QVERIFY(details.startsWith(QStringLiteral("Port Type:")));
    }
};

}  // namespace

class MonitorLanTest : public QObject {
    Q_OBJECT
private slots:
    // Two servers answer the broadcast: both are listed; the chosen one is polled.
    void twoServers()
    {
        LanRun lan(2, 1);
        QCOMPARE(lan.entries, (QStringList{"10.213.0.1", "10.213.0.2"}));
        QCOMPARE(lan.title, QStringLiteral("USB Kestrum (Server IP: 10.213.0.2)"));
        QVERIFY(lan.run.boxes.Calls().empty());
    }

    // Nobody answers the broadcast; the default gateway does, and is listed.
    void gatewayOnly()
    {
        LanRun lan(1, 0);
        QCOMPARE(lan.entries, QStringList{"10.213.0.1"});
        QCOMPARE(lan.title, QStringLiteral("USB Kestrum (Server IP: 10.213.0.1)"));
        QVERIFY(lan.run.boxes.Calls().empty());
    }

    // Nobody answers at all: the typed address is polled until the server falls
    // silent, and the worker ends the program with the warning.
    void typedAddressThenServerFallsSilent()
    {
        LanRun lan(0, 0);
        QCOMPARE(lan.title, QStringLiteral("USB Kestrum (Server IP: 10.213.0.1)"));
        const auto calls = lan.run.boxes.Calls();
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].text, QStringLiteral("Connect Failed!\n"));
        QCOMPARE(calls[0].flags, UINT(0x30));
    }
};

QTEST_MAIN(MonitorLanTest)
#include "monitor_lan_test.moc"
