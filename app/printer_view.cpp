// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's printer tree, status list and details text.
#include "app/desktop_notifier.h"
#include "app/messages.h"
#include "app/monitor_dlg.h"
#include "text/endpoint.h"
#include "view/printer_details.h"
#include "view/printer_tree.h"
#include "view/ui/tree_widget_control.h"

#include <QPlainTextEdit>

using namespace platform;

namespace {
constexpr int StatusColumnWidth = 121;
}

QString CMonitorDlg::ControlDescription(int id) const
{
    switch (id) {
    case IDC_PRINTER_TREE: return QStringLiteral("Printers");
    case IDC_STATUS_LIST: return QStringLiteral("Printer status");
    case IDC_DETAILS_EDIT: return QStringLiteral("Printer details");
    default: return QString();
    }
}

void CMonitorDlg::InitPrinterView()
{
    if (!m_treePrinters || !m_listStatus || !m_editDetails)
        return;
    // Buttons, lines, lines at the root, selection always shown.
    m_treePrinters->setRootIsDecorated(true);
    m_treePrinters->setItemsExpandable(true);
    m_treeControl = std::make_unique<TreeWidgetControl>(*m_treePrinters, m_imageList);
    m_hRootItem = InsertRootItem(*m_treeControl);
    TreeWidgetControl::ToWidgetItem(m_hRootItem)->setExpanded(true);
    // Deleting the current item reports a change with a dying "previous" item:
    // the handler ignores both arguments and asks the tree again.
    connect(m_treePrinters, &QTreeWidget::currentItemChanged, this, [this] { OnSelchangedPrinterTree(); });

    m_listStatus->InsertColumn(0, QStringLiteral("Status"), StatusColumnWidth);
    m_listStatus->InsertColumn(1, QStringLiteral("Job in Queue"), StatusColumnWidth);
    m_listStatus->InsertColumn(2, QStringLiteral("Printed Percent"), StatusColumnWidth);
    m_editDetails->setReadOnly(true);
}

LRESULT CMonitorDlg::OnStatusReply(WPARAM wParam, LPARAM)
{
    const auto *reply = reinterpret_cast<const StatusReply *>(wParam);
    if (!reply || !m_treeControl)
        return 0;
    const PrinterRecord *shown =
        SyncPrinterTree(*m_treeControl, m_hRootItem, m_hPrinterItems, m_records, g_nPrinterItems, *reply);
    if (shown)
        SendMessage(WM_SHOW_DETAILS, reinterpret_cast<WPARAM>(shown), 0);
    AnnounceAlerts(*reply);
    return 0;
}

// A printer that went off line, out of paper or into a fault reaches the
// desktop too, for whoever is not looking at the window.
void CMonitorDlg::AnnounceAlerts(const StatusReply &reply)
{
    const std::vector<AlertChange> changes = m_alerts.Update(reply);
    if (m_pNotifier && !changes.empty())
        m_pNotifier->Apply(changes, QString::fromStdString(ktext::Ipv4Text(m_serverAddr.sin_addr.s_addr)));
}

void CMonitorDlg::OnSelchangedPrinterTree()
{
    if (!m_treeControl)
        return;
    if (const PrinterRecord *record = SelectedPrinterRecord(*m_treeControl, m_records))
        ShowPrinterRecord(*record);
    else
        ClearDetails();
}

LRESULT CMonitorDlg::OnShowDetails(WPARAM wParam, LPARAM)
{
    if (const auto *record = reinterpret_cast<const PrinterRecord *>(wParam))
        ShowPrinterRecord(*record);
    return 0;
}

void CMonitorDlg::ClearDetails()
{
    if (m_listStatus)
        m_listStatus->DeleteAllItems();
    if (m_editDetails)
        m_editDetails->setPlainText(QString());
}

void CMonitorDlg::ShowPrinterRecord(const PrinterRecord &record)
{
    if (!m_listStatus || !m_editDetails)
        return;
    const StatusRow row = MakeStatusRow(record);
    // One row, rewritten whole; kept in place when it is there already, so a
    // refresh that changes nothing costs the widgets nothing.
    if (m_listStatus->GetItemCount() != 1) {
        m_listStatus->DeleteAllItems();
        m_listStatus->InsertItem(0, QString());
    }
    m_listStatus->SetItemText(0, 0, FromRecordText(row.status));
    m_listStatus->SetItemText(0, 1, FromRecordText(row.jobs));
    m_listStatus->SetItemText(0, 2, row.percent ? FromRecordText(*row.percent) : QString());
    // The lines end in CR LF; the edit shows a line break for each pair.
    const QString details =
        FromRecordText(FormatDetailsText(record)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (m_editDetails->toPlainText() != details)
        m_editDetails->setPlainText(details);
}
