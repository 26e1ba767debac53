// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's handling of the server choice.
#include "app/globals.h"
#include "app/monitor_dlg.h"
#include "app/worker_host_impl.h"
#include "dialogs/product_name.h"
#include "text/endpoint.h"

#include <arpa/inet.h>

using namespace platform;

void CMonitorDlg::RecordChoice(std::uint32_t networkAddress, const QString &shownAddress)
{
    m_serverAddr.sin_addr.s_addr = networkAddress;
    SetWindowText(ProductLine() + ProductName() + QStringLiteral(" (Server IP: ") + shownAddress + QStringLiteral(")"));
    m_bServerChosen = 1;
}

void CMonitorDlg::RecordRefusal() { m_bServerChosen = 0; }

void CMonitorDlg::ReleaseWorkerFromChoice()
{
    SetEvent(g_hChoiceEvent);
    // After the shutdown the global handle is gone; the worker's own still counts.
    if (m_host)
        SetEvent(m_host->ChoiceEvent());
}

LRESULT CMonitorDlg::OnChooseServer(WPARAM, LPARAM)
{
    // A closing program opens no dialog: the request counts as a refusal.
    if (!ShutdownBegun() && m_serverListDlg.DoModal() == IDOK) {
        const std::string text = m_serverListDlg.m_strChosenServer.toStdString();
        RecordChoice(ktext::ParseIpv4(text).value_or(INADDR_NONE), m_serverListDlg.m_strChosenServer);
    } else {
        RecordRefusal();
    }
    ReleaseWorkerFromChoice();
    return 0;
}

LRESULT CMonitorDlg::OnAskServerAddress(WPARAM, LPARAM)
{
    if (!ShutdownBegun() && m_serverAddressDlg.DoModal() == IDOK) {
        const std::uint32_t address = htonl(m_serverAddressDlg.m_dwAddress);
        RecordChoice(address, QString::fromStdString(ktext::Ipv4Text(address)));
    } else {
        RecordRefusal();
    }
    ReleaseWorkerFromChoice();
    return 0;
}
