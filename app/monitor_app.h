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
};

extern CMonitorApp theApp;
