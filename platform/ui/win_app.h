// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: one per process, it knows the main window.
#pragma once
#include "platform/win_types.h"

#include <QString>

namespace platform {

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp &) = delete;
    CWinApp &operator=(const CWinApp &) = delete;

    virtual BOOL InitInstance() { return FALSE; }
    // The main window: the owner of every dialog run without a parent. Window thread only.
    CDialog *GetMainWnd() const { return m_pMainWnd; }
    CDialog *m_pMainWnd = nullptr;

    // The program's name: the executable's name without its extension.
    static QString AppName();
};

CDialog *AfxGetMainWnd();

}  // namespace platform
