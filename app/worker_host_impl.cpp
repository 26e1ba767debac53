// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/worker_host_impl.h"

#include "app/monitor_dlg.h"
#include "platform/ui/message_box.h"

#include <QPointer>

void MonitorWorkerHost::Detach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dlg = nullptr;
}

platform::CDialog *MonitorWorkerHost::DialogOf(HostWindow which) const
{
    if (!m_dlg)
        return nullptr;
    switch (which) {
    case HostWindow::Main: return m_dlg;
    case HostWindow::Finding: return &m_dlg->m_findingDlg;
    case HostWindow::ServerList: return &m_dlg->m_serverListDlg;
    }
    return nullptr;
}

platform::HWND MonitorWorkerHost::Window(HostWindow which)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    platform::CDialog *dlg = DialogOf(which);
    return dlg ? dlg->GetSafeHwnd() : nullptr;
}

bool MonitorWorkerHost::RunEnded(HostWindow which)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    platform::CDialog *dlg = DialogOf(which);
    return !dlg || dlg->RunEnded();
}

// The choice is written by the window thread before the choice event is set
// and read here only after it was seen set; the event's lock orders the two.
int MonitorWorkerHost::ServerChosen()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dlg ? m_dlg->m_bServerChosen : 0;
}

std::uint32_t MonitorWorkerHost::ServerAddress()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dlg ? m_dlg->m_serverAddr.sin_addr.s_addr : 0;
}

int MonitorWorkerHost::MessageBox(const char *text, platform::UINT flags)
{
    m_showedError = true;
    QPointer<CMonitorDlg> owner;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        owner = m_dlg;
    }
    return platform::MessageBoxFromAnyThread(QString::fromLatin1(text), QString(), flags,
                                             [owner]() -> QWidget * { return owner.data(); });
}
