// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: runs the main window and ends with it.
#pragma once
#include "platform/ui/win_app.h"

class CMonitorApp : public platform::CWinApp {
public:
    CMonitorApp() = default;
    ~CMonitorApp() override = default;
    platform::BOOL InitInstance() override;
    // The program's exit status: 1 when the window ended on an error message, else 0.
    int ExitInstance() const { return m_nExitCode; }

    bool m_bSessionBus = false;  // the session names a bus: notifications may go there

private:
    int m_nExitCode = 0;
};

extern CMonitorApp theApp;
