// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// "Please Input IP Address": the address typed by hand when nobody answered.
#pragma once
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"

class CServerAddressDlg : public platform::CDialog {
    Q_OBJECT
public:
    CServerAddressDlg() : CDialog(IDD_SERVER_ADDRESS) {}

    platform::DWORD m_dwAddress = 0;  // first field in the top byte
    platform::IpAddressEdit *m_ipAddressCtrl = nullptr;

protected:
    void DoDataExchange(platform::CDataExchange *dx) override;
    void OnOK() override;
};
