// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/win_app.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {

namespace {
CWinApp *g_app = nullptr;  // the one application object, registered by its constructor
}

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

QString CWinApp::AppName()
{
    QString path = QCoreApplication::applicationFilePath();
    if (path.isEmpty())
        return QCoreApplication::applicationName();
    return QFileInfo(path).completeBaseName();
}

CDialog *AfxGetMainWnd() { return g_app ? g_app->GetMainWnd() : nullptr; }

}  // namespace platform
