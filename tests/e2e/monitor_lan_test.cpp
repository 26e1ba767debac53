// The whole monitor, offscreen, with its real worker, discovery and gateway
// lookup, on a private test LAN: run by lan_monitor_test.sh inside the client
// namespace, one test function per LAN layout.
#include "tests/window/main_window_harness.h"

#include "app/messages.h"
#include "view/printer_tree.h"

#include <QPlainTextEdit>
#include <QTest>

using namespace platform;

namespace {

QStringList ListEntries(CServerListDlg &list)
{
    QStringList out;
    if (auto *box = list.Item<SortedListBox>(IDC_SERVER_LIST))
        for (int i = 0; i < box->GetCount(); ++i)
            out << box->GetText(i);
    return out;
}

int PrinterItems(CMonitorDlg &dlg)
{
    return dlg.m_treePrinters && dlg.m_treePrinters->topLevelItemCount()
               ? dlg.m_treePrinters->topLevelItem(0)->childCount()
               : 0;
}

// Waits for the list to hold `servers` entries, picks entry `pick`, waits for
// printers from the chosen server, then closes. Returns the list and the title.
std::pair<QStringList, QString> ChooseFromList(int servers, int pick)
{
    MonitorRun run;
    auto &dlg = run.dlg;
    QStringList entries;
    QString title;
    bool noticeSeen = false;
    run.drive.Then([&] {
        noticeSeen |= dlg.m_findingDlg.IsRunning();
        return dlg.m_serverListDlg.IsRunning() && ListEntries(dlg.m_serverListDlg).size() == servers;
    });
    run.drive.Then([&] {
        entries = ListEntries(dlg.m_serverListDlg);
        dlg.m_serverListDlg.Item<SortedListBox>(IDC_SERVER_LIST)->SetCurSel(pick);
        dlg.m_serverListDlg.PressKey(Qt::Key_Return);
        return true;
    });
    run.drive.Then([&] { return dlg.isVisible() && PrinterItems(dlg) > 0; });
    run.drive.Then([&] { title = dlg.GetWindowText(); dlg.PressKey(Qt::Key_Escape); return true; });
    dlg.DoModal();
    if (run.drive.Aborted() || !noticeSeen || !run.boxes.Calls().empty())
        return {};
    return {entries, title};
}

}  // namespace

class MonitorLanTest : public QObject {
    Q_OBJECT
private slots:
    // Two servers answer the broadcast: both are listed; the chosen one is polled.
    void twoServers()
    {
        const auto [entries, title] = ChooseFromList(2, 1);
        QCOMPARE(entries, (QStringList{QStringLiteral("10.213.0.1"), QStringLiteral("10.213.0.2")}));
        QCOMPARE(title, QStringLiteral("USB Kestrum (Server IP: 10.213.0.2)"));
    }

    // Nobody answers the broadcast; the default gateway does, and is listed.
    void gatewayOnly()
    {
        const auto [entries, title] = ChooseFromList(1, 0);
        QCOMPARE(entries, QStringList{QStringLiteral("10.213.0.1")});
        QCOMPARE(title, QStringLiteral("USB Kestrum (Server IP: 10.213.0.1)"));
    }

    // Nobody answers at all: the address is typed, and polling goes there;
    // then the server falls silent and the program ends with the warning.
    void typedAddressThenServerFallsSilent()
    {
        MonitorRun run;
        auto &dlg = run.dlg;
        auto &drive = run.drive;
        auto &boxes = run.boxes;
        QString title, details;
        drive.Then([&] { return dlg.m_serverAddressDlg.IsRunning(); });
        drive.Then([&] {
            dlg.m_serverAddressDlg.m_ipAddressCtrl->SetAddress(0x0AD50001);  // 10.213.0.1
            dlg.m_serverAddressDlg.PressKey(Qt::Key_Return);
            return true;
        });
        drive.Then([&] { return PrinterItems(dlg) > 0; });
        drive.Then([&] {
            title = dlg.GetWindowText();
            dlg.m_treePrinters->setCurrentItem(dlg.m_treePrinters->topLevelItem(0)->child(0));
            details = dlg.m_editDetails->toPlainText();
            return true;
        });
        QCOMPARE(dlg.DoModal(), IDCANCEL);  // closed by the worker, not by us
        QVERIFY(!drive.Aborted());
        QCOMPARE(title, QStringLiteral("USB Kestrum (Server IP: 10.213.0.1)"));
        QVERIFY(details.startsWith(QStringLiteral("Port Type:")));
        const auto calls = boxes.Calls();
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].text, QStringLiteral("Connect Failed!\n"));
        QCOMPARE(calls[0].flags, UINT(0x30));
    }
};

QTEST_MAIN(MonitorLanTest)
#include "monitor_lan_test.moc"
