// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/server_list_dlg.h"

#include "app/messages.h"
#include "platform/ui/controls.h"
#include "res/pictures.h"

using namespace platform;

void CServerListDlg::DoDataExchange(CDataExchange *dx) { DDX_LBString(dx, IDC_SERVER_LIST, m_strChosenServer); }

BOOL CServerListDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    QIcon icon;
    icon.addFile(QString::fromLatin1(AppIconPath(16)), QSize(16, 16));
    setWindowIcon(icon);
    return TRUE;
}

QString CServerListDlg::ControlDescription(int id) const
{
    return id == IDC_SERVER_LIST ? QStringLiteral("Print servers") : QString();
}

LRESULT CServerListDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_ADD_SERVER: return OnAddServer(wParam, lParam);
    case WM_CLOSE: OnClose(); return 0;
    default: return CDialog::WindowProc(msg, wParam, lParam);
    }
}

LRESULT CServerListDlg::OnAddServer(WPARAM wParam, LPARAM)
{
    auto *list = Item<SortedListBox>(IDC_SERVER_LIST);
    const auto *text = reinterpret_cast<const char *>(wParam);
    if (list && text)
        list->AddString(QString::fromLatin1(text));  // the list keeps its own copy
    return 0;
}

void CServerListDlg::OnOK()
{
    UpdateData(TRUE);
    if (!m_strChosenServer.isEmpty())
        CDialog::OnOK();
}

void CServerListDlg::OnClose() { CDialog::OnCancel(); }
