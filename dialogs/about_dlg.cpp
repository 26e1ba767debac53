// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/about_dlg.h"

#include "dialogs/product_name.h"
#include "res/pictures.h"

#include <QLabel>

using namespace platform;

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX)
{
    m_strVersion = QString();
    m_strVersion += ProductLine();
    m_strVersion += ProductName() + QStringLiteral(" ");
    m_strVersion += QStringLiteral("Ver 1.0");
}

void CAboutDlg::DoDataExchange(CDataExchange *dx) { DDX_Text(dx, IDC_VERSION_TEXT, m_strVersion); }

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The application icon in the template's icon control.
    const auto &controls = Template().controls;
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].kind == ControlKind::StaticIcon)
            if (auto *icon = qobject_cast<QLabel *>(ControlAt(i)))
                icon->setPixmap(QPixmap(QString::fromLatin1(AppIconPath(32))));
    SetWindowText(QStringLiteral("About ") + ProductLine() + ProductName());
    return TRUE;
}
