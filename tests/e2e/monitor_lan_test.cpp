// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The whole monitor offscreen with its real worker, in a LAN client (lan_monitor_test.sh) where no server
// answers the search: the typed address is polled until the server falls silent, then the warning ends it.
#include "main_window_harness.h"

#include <QPlainTextEdit>
#include <QTest>

using namespace platform;

class MonitorLanTest : public QObject {
    Q_OBJECT
private slots:
    void typedAddressThenServerFallsSilent()
    {
        MonitorRun run;
        auto &dlg = run.dlg;
        bool noticeSeen = false;
        QString details;
        run.drive.Then([&] {
            noticeSeen |= dlg.m_findingDlg.IsRunning();
            return dlg.m_serverAddressDlg.IsRunning();
        });
        run.drive.Then([&] {
            dlg.m_serverAddressDlg.m_ipAddressCtrl->SetAddress(0x0AD50001);
            dlg.m_serverAddressDlg.PressKey(Qt::Key_Return);
            return true;
        });
        run.drive.Then([&] {  // the controls are bound once the window shows
            return dlg.isVisible() && dlg.m_treePrinters->topLevelItem(0)->childCount() > 0;
        });
        run.drive.Then([&] {
            dlg.m_treePrinters->setCurrentItem(dlg.m_treePrinters->topLevelItem(0)->child(0));
            details = dlg.m_editDetails->toPlainText();
            return true;
        });
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        QVERIFY(!run.drive.Aborted());
        QVERIFY(noticeSeen);
        QVERIFY(details.startsWith(QStringLiteral("Port Type:")));
        QCOMPARE(dlg.GetWindowText(), QStringLiteral("USB Kestrum (Server IP: 10.213.0.1)"));
        const auto calls = run.boxes.Calls();
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].text, QStringLiteral("Connect Failed!\n"));
        QCOMPARE(calls[0].flags, UINT(0x30));
    }
};

QTEST_MAIN(MonitorLanTest)
#include "monitor_lan_test.moc"
