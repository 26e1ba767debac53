// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/monitor_app.h"

#include "app/desktop_notifier.h"
#include "app/monitor_dlg.h"

CMonitorApp theApp;

platform::BOOL CMonitorApp::InitInstance()
{
    DesktopNotifier notifier(m_bSessionBus);
    CMonitorDlg dlg;
    dlg.m_pNotifier = &notifier;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    m_nExitCode = dlg.Failed() ? 1 : 0;
    return platform::FALSE;  // no message loop of our own: the program ends with the dialog
}
