// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/server_address_dlg.h"

#include "platform/ui/message_box.h"

using namespace platform;

void CServerAddressDlg::DoDataExchange(CDataExchange *dx) { DDX_Control(dx, IDC_SERVER_IPADDRESS, m_ipAddressCtrl); }

void CServerAddressDlg::OnOK()
{
    if (!m_ipAddressCtrl || m_ipAddressCtrl->IsBlank()) {
        MessageBox(this, QStringLiteral("IP Address can not be blank!"), QStringLiteral("Input IP Address Error"),
                   MB_OK | MB_ICONHAND);
        return;
    }
    m_ipAddressCtrl->GetAddress(m_dwAddress);
    CDialog::OnOK();
}
