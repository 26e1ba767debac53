// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/monitor_app.h"

#include "app/monitor_dlg.h"

CMonitorApp theApp;

platform::BOOL CMonitorApp::InitInstance()
{
    CMonitorDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return platform::FALSE;  // no message loop of our own: the program ends with the dialog
}
