#include "dialogs/about_dlg.h"

#include <QLabel>

using namespace platform;

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX)
{
    m_strVersion = QString();
    m_strVersion += QStringLiteral("USB");
    m_strVersion += QStringLiteral(" Kestrum ");
    m_strVersion += QStringLiteral("Ver 1.0");
}

void CAboutDlg::DoDataExchange(CDataExchange *dx)
{
    DDX_Text(dx, IDC_VERSION_TEXT, m_strVersion);
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The application icon in the first static control.
    for (const ControlTemplate &c : Template().controls)
        if (c.kind == ControlKind::StaticIcon) {
            QLabel *icon = nullptr;
            for (QLabel *label : findChildren<QLabel *>())
                if (label->property("kestrumControlId").toInt() == c.id && label->pixmap().isNull() && label->text().isEmpty())
                    icon = label;
            if (icon)
                icon->setPixmap(QPixmap(QStringLiteral(":/res/icon32.png")));
            break;
        }
    SetWindowText(QStringLiteral("About ") + QStringLiteral("USB") + QStringLiteral(" Kestrum"));
    return TRUE;
}
