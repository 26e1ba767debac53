// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// "Print Server IP List": the servers that answered, for the user to pick one.
#pragma once
#include "platform/ui/dialog.h"

#include <QString>

class CServerListDlg : public platform::CDialog {
    Q_OBJECT
public:
    CServerListDlg() : CDialog(IDD_SERVER_LIST) {}

    QString m_strChosenServer;

protected:
    void DoDataExchange(platform::CDataExchange *dx) override;
    platform::BOOL OnInitDialog() override;
    void OnOK() override;
    QString ControlDescription(int id) const override;
    platform::LRESULT WindowProc(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) override;

private:
    platform::LRESULT OnAddServer(platform::WPARAM wParam, platform::LPARAM lParam);
    void OnClose();
};
