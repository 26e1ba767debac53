// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Every fault mode of the simulator against the real worker and the main window, offscreen: each run ends as it must
// (polling on, or "Connect Failed!" and the program closing), and after every reply the tree, the status row and the
// details show exactly the datagram the simulator sent for that request: never bytes of an earlier or later one.
#include "tests/stress/loopback_simulator.h"
#include "main_window_harness.h"

#include "app/messages.h"
#include "link/status_worker.h"
#include "printsim/replies.h"
#include "printsim/scenario.h"
#include "view/printer_details.h"
#include "view/printer_tree.h"
#include "view/ui/tree_widget_control.h"

#include <QPlainTextEdit>
#include <QTest>
#include <cstring>

using namespace platform;

namespace {

// The main window, checked as each reply arrives against the simulator's own replay.
class WatchedMonitor : public CMonitorDlg {
public:
    WatchedMonitor(WorkerBody worker, printsim::ReplyFault fault)
        : CMonitorDlg(nullptr, std::move(worker)), m_fault(fault)
    {
    }
    int replies = 0;
    QStringList mismatches;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg != WM_STATUS_REPLY)
            return CMonitorDlg::WindowProc(msg, wParam, lParam);
        StatusReply reply;
        std::memcpy(&reply, reinterpret_cast<const void *>(wParam), sizeof reply);
        const LRESULT result = CMonitorDlg::WindowProc(msg, wParam, lParam);
        const int n = replies++;
        auto mismatch = [&](const QString &what) { mismatches << QStringLiteral("reply %1: %2").arg(n).arg(what); };
        std::vector<std::uint8_t> sent = printsim::StatusDatagram(m_sim.Reply(), m_fault, std::uint32_t(n));
        m_sim.Advance();
        sent.resize(StatusReplySize, 0);  // zero beyond the datagram's length
        if (std::memcmp(&reply, sent.data(), StatusReplySize) != 0)
            mismatch(QStringLiteral("not the datagram sent for this request"));
        QTreeWidgetItem *root = m_treePrinters->topLevelItem(0);
        int child = 0;
        for (std::size_t slot = 0; slot < PrinterSlots; ++slot) {
            QTreeWidgetItem *item = IsSlotUsed(reply.records[slot]) ? root->child(child++) : nullptr;
            if (IsSlotUsed(reply.records[slot]) &&
                (!item || item->text(0) != FromRecordText(FieldText(reply.records[slot].printerName)) ||
                 item->data(0, Qt::UserRole + 1).toUInt() != slot + 1))
                mismatch(QStringLiteral("tree item of slot %1").arg(slot));
        }
        if (root->childCount() != child)
            mismatch(QStringLiteral("%1 items for %2 used slots").arg(root->childCount()).arg(child));
        QTreeWidgetItem *current = m_treePrinters->currentItem();
        if (current && current != root) {
            const PrinterRecord &shown = reply.records[current->data(0, Qt::UserRole + 1).toUInt() - 1];
            const StatusRow row = MakeStatusRow(shown);
            if (m_listStatus->GetItemText(0, 0) != FromRecordText(row.status) ||
                m_listStatus->GetItemText(0, 1) != FromRecordText(row.jobs) ||
                m_listStatus->GetItemText(0, 2) != (row.percent ? FromRecordText(*row.percent) : QString()) ||
                m_editDetails->toPlainText() != FromRecordText(FormatDetailsText(shown)).replace("\r\n", "\n"))
                mismatch(QStringLiteral("status row or details of the selected printer"));
        } else if (!current && root->childCount() > 0) {  // the last printer selected: the details show too
            m_treePrinters->setCurrentItem(root->child(root->childCount() - 1));
        }
        return result;
    }

private:
    printsim::ReplyFault m_fault;
    printsim::Simulation m_sim{printsim::DefaultScenario()};
};

}  // namespace

class FaultRunsTest : public QObject {
    Q_OBJECT
private slots:
    void faultModesEndAsTheyMust_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("fault");    // printsim::ReplyFault
        QTest::addColumn<int>("entries");  // in the server list; 0: the address is typed
        QTest::addColumn<int>("replies");  // shown before the end
        QTest::addColumn<bool>("failed");  // "Connect Failed!" closes the program
        using F = printsim::ReplyFault;
        QTest::newRow("answering") << QStringList{} << int(F::None) << 1 << 3 << false;
        QTest::newRow("stops answering") << QStringList{"--stop-after", "2"} << int(F::None) << 1 << 2 << true;
        QTest::newRow("short") << QStringList{"--reply", "short"} << int(F::Short) << 1 << 2 << false;
        QTest::newRow("oversized") << QStringList{"--reply", "oversized"} << int(F::Oversized) << 1 << 0 << true;
        QTest::newRow("garbage") << QStringList{"--reply", "garbage"} << int(F::Garbage) << 1 << 4 << false;
        QTest::newRow("delayed") << QStringList{"--delay-ms", "300"} << int(F::None) << 1 << 2 << false;
        QTest::newRow("delayed past a second") << QStringList{"--delay-ms", "1300"} << int(F::None) << 1 << 0 << true;
        QTest::newRow("discovery answer of two bytes")
            << QStringList{"--discovery-reply", "oversized"} << int(F::None) << 0 << 2 << false;
        QTest::newRow("discovery answer a wrong byte")
            << QStringList{"--discovery-reply", "garbage"} << int(F::None) << 0 << 2 << false;
        QTest::newRow("every probe answered twice") << QStringList{"--answer-twice"} << int(F::None) << 2 << 2 << false;
    }
    void faultModesEndAsTheyMust()
    {
        QFETCH(QStringList, args);
        QFETCH(int, fault);
        QFETCH(int, entries);
        QFETCH(int, replies);
        QFETCH(bool, failed);
        std::vector<std::string> extra;
        for (const QString &a : args)
            extra.push_back(a.toStdString());
        SimulatorProcess sim(extra);
        QVERIFY(sim.Port() != 0);
        const LinkEndpoints ep = sim.Endpoints(2500);
        g_nPrinterItems = 0;
        MessageBoxService service;
        BoxRecorder boxes;
        WatchedMonitor dlg([ep](std::shared_ptr<WorkerHost> host) { StatusWorker(std::move(host), ep); },
                           printsim::ReplyFault(fault));
        MainWindowApp app(dlg);
        Driver drive(dlg);
        drive.Then([&] {  // every answer to the probe listed, or the address typed
            auto *list = dlg.m_serverListDlg.Item<SortedListBox>(IDC_SERVER_LIST);
            return (entries > 0 ? dlg.m_serverListDlg.IsRunning() && list && list->GetCount() == entries
                                : dlg.m_serverAddressDlg.IsRunning()) &&
                   AnswerServerChoice(dlg);
        });
        drive.Then([&] { return !failed && dlg.replies >= replies; });
        drive.Then([&] {
            dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        QVERIFY(!drive.Aborted());
        QCOMPARE(dlg.mismatches, QStringList{});
        QCOMPARE(dlg.replies, replies);
        const auto calls = boxes.Calls();
        QCOMPARE(calls.size(), std::size_t(failed ? 1 : 0));
        if (failed)
            QCOMPARE(calls[0].text, QStringLiteral("Connect Failed!\n"));
        QCOMPARE(dlg.GetWindowText(), QStringLiteral("USB Kestrum (Server IP: 127.0.0.1)"));
    }
};

QTEST_MAIN(FaultRunsTest)
#include "fault_runs_test.moc"
