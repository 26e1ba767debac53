// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The notice "Please waiting ..." shown while the worker searches the network.
#pragma once
#include "platform/ui/dialog.h"

class CFindingDlg : public platform::CDialog {
    Q_OBJECT
public:
    CFindingDlg() : CDialog(IDD_FINDING) {}
};
