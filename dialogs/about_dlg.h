// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The About box, opened from the system menu.
#pragma once
#include "platform/ui/dialog.h"

#include <QString>

class CAboutDlg : public platform::CDialog {
    Q_OBJECT
public:
    CAboutDlg();

    QString m_strVersion;

protected:
    void DoDataExchange(platform::CDataExchange *dx) override;
    platform::BOOL OnInitDialog() override;
};
