// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What assistive technology is given, offscreen: the rule that finds a
// control's label in its template, every window's names and roles, the printer
// view's items, rows and text, and the message boxes.
#include "main_window_harness.h"

#include "app/messages.h"
#include "dialogs/about_dlg.h"
#include "platform/ui/accessibility.h"

#include <QAccessible>
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cstring>

using namespace platform;

namespace {

using Heard = QList<QPair<int, QString>>;  // (role, name) of each control and part, in order

Heard HearAll(QWidget *root)
{
    Heard heard;
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(root);
    std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *iface) {
        for (int i = 0; i < iface->childCount(); ++i) {
            QAccessibleInterface *child = iface->child(i);
            if (!child || child->state().invisible || child->role() == QAccessible::ScrollBar)
                continue;
            if (child->role() == QAccessible::Client && child->text(QAccessible::Name).isEmpty())
                continue;  // a scroll area's frame: nothing to read
            heard << qMakePair(static_cast<int>(child->role()), child->text(QAccessible::Name));
            if (child->role() != QAccessible::Tree && child->role() != QAccessible::Table)
                walk(child);
        }
    };
    walk(window);
    return heard;
}

QPair<int, QString> Says(QAccessible::Role role, const char *name)
{
    return qMakePair(int(role), QString::fromUtf8(name));
}

// Runs one dialog, hears it once it is up, and closes it.
Heard HearDialog(CDialog &dlg)
{
    Heard heard;
    QTimer::singleShot(0, &dlg, [&] {
        heard = HearAll(&dlg);
        dlg.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    return heard;
}

ControlTemplate Entry(ControlKind kind, const char *text = "")
{
    return ControlTemplate{100, kind, text, 0, 0, 10, 10, true, false};
}

void PostReply(CMonitorDlg &dlg, const std::vector<std::pair<const char *, std::uint8_t>> &printers)
{
    auto reply = std::make_shared<StatusReply>();
    std::memset(reply.get(), 0, sizeof *reply);
    for (std::size_t i = 0; i < printers.size(); ++i) {
        std::strcpy(reply->records[i].printerName, printers[i].first);
        reply->records[i].statusFlags = printers[i].second;
        reply->records[i].jobCount = 1;
    }
    PostMessage(dlg.GetSafeHwnd(), WM_STATUS_REPLY, reinterpret_cast<WPARAM>(reply.get()), 0, reply);
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    // The static text just before a control in the tab ring, over buttons only.
    void labelOfAControl_data()
    {
        using K = ControlKind;
        QTest::addColumn<std::vector<ControlTemplate>>("controls");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("label");
        QTest::newRow("address entry: the label after it, round OK and Abort")
            << FindDialogTemplate(IDD_SERVER_ADDRESS).controls << 1 << 2;
        QTest::newRow("server list: none") << FindDialogTemplate(IDD_SERVER_LIST).controls << 0 << -1;
        QTest::newRow("main window: none") << FindDialogTemplate(IDD_MONITOR_DIALOG).controls << 2 << -1;
        QTest::newRow("label right before") << std::vector{Entry(K::StaticText, "A:"), Entry(K::Edit)} << 1 << 0;
        QTest::newRow("over a button") << std::vector{Entry(K::StaticText), Entry(K::PushButton), Entry(K::Edit)} << 2
                                       << 0;
        QTest::newRow("another control comes first")
            << std::vector{Entry(K::StaticText), Entry(K::Edit), Entry(K::ListBox)} << 2 << -1;
        QTest::newRow("an icon comes first")
            << std::vector{Entry(K::StaticText), Entry(K::StaticIcon), Entry(K::Edit)} << 2 << -1;
        QTest::newRow("a button has no label") << std::vector{Entry(K::StaticText), Entry(K::PushButton)} << 1 << -1;
        QTest::newRow("alone") << std::vector{Entry(K::TreeView)} << 0 << -1;
    }
    void labelOfAControl()
    {
        QFETCH(std::vector<ControlTemplate>, controls);
        QFETCH(int, index);
        QFETCH(int, label);
        const DialogTemplate t{1, "", 100, 100, "Arial", 10, false, false, controls};
        QCOMPARE(TemplateLabelOf(t, static_cast<std::size_t>(index)), label);
    }

    void choiceDialogsAndAboutBox_data()
    {
        using R = QAccessible::Role;
        QTest::addColumn<int>("which");
        QTest::addColumn<Heard>("heard");
        QTest::newRow("server list") << 0
                                     << Heard{Says(R::List, "Print servers"), Says(R::Button, "OK"),
                                              Says(R::Button, "Cancel")};
        QTest::newRow("address entry") << 1
                                       << Heard{Says(R::Button, "OK"),
                                                Says(R::Grouping, "Input Server IP:"),
                                                Says(R::EditableText, "Input Server IP: field 1 of 4"),
                                                Says(R::StaticText, "."),
                                                Says(R::EditableText, "Input Server IP: field 2 of 4"),
                                                Says(R::StaticText, "."),
                                                Says(R::EditableText, "Input Server IP: field 3 of 4"),
                                                Says(R::StaticText, "."),
                                                Says(R::EditableText, "Input Server IP: field 4 of 4"),
                                                Says(R::StaticText, "Input Server IP:"),
                                                Says(R::Button, "Abort")};
        QTest::newRow("About box") << 2
                                   << Heard{Says(R::Graphic, ""), Says(R::StaticText, "USB Kestrum Ver 1.0"),
                                            Says(R::StaticText, "Print server monitor for USB printers"),
                                            Says(R::Button, "OK")};
    }
    void choiceDialogsAndAboutBox()
    {
        QFETCH(int, which);
        QFETCH(Heard, heard);
        CServerListDlg list;
        CServerAddressDlg address;
        CAboutDlg about;
        CDialog *dialogs[] = {&list, &address, &about};
        QCOMPARE(HearDialog(*dialogs[which]), heard);
    }

    // The main window's controls; a printer's 8-bit name, its status row as
    // cells under their headings, and its details as read-only multi-line text.
    void mainWindow()
    {
        using R = QAccessible::Role;
        MonitorRun run(QuietWorker());
        auto &dlg = run.dlg;
        Heard heard, printers;
        QStringList headings, cells;
        QAccessible::State detailsState;
        QString detailsText;
        auto reply = std::make_shared<StatusReply>();
        std::memset(reply.get(), 0, sizeof *reply);
        std::strcpy(reply->records[0].printerName, "Caf\xe9 Laser");
        reply->records[0].statusFlags = 0x8C;
        reply->records[0].jobCount = 2;
        reply->records[0].printedPercent = 37;
        run.drive.Then([&] { return dlg.isVisible(); });
        run.drive.Then([&] {
            heard = HearAll(&dlg);
            PostMessage(dlg.GetSafeHwnd(), WM_STATUS_REPLY, reinterpret_cast<WPARAM>(reply.get()), 0, reply);
            return true;
        });
        run.drive.Then([&] { return dlg.m_treePrinters->topLevelItem(0)->childCount() == 1; });
        run.drive.Then([&] {
            dlg.m_treePrinters->setFocus();
            QTest::keyClick(dlg.m_treePrinters, Qt::Key_Down);  // from the root to the printer
            QAccessibleInterface *tree = QAccessible::queryAccessibleInterface(dlg.m_treePrinters);
            for (int i = 0; i < tree->childCount(); ++i)
                if (QAccessibleInterface *item = tree->child(i); item && !item->state().invisible)
                    printers << qMakePair(int(item->role()), item->text(QAccessible::Name));
            QAccessibleTableInterface *table =
                QAccessible::queryAccessibleInterface(dlg.m_listStatus)->tableInterface();
            for (int c = 0; table && c < table->columnCount(); ++c) {
                headings << table->columnDescription(c);
                cells << table->cellAt(0, c)->text(QAccessible::Name);
            }
            QAccessibleInterface *details = QAccessible::queryAccessibleInterface(dlg.m_editDetails);
            detailsState = details->state();
            detailsText = details->textInterface()->text(0, details->textInterface()->characterCount());
            dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        dlg.DoModal();
        QVERIFY(!run.drive.Aborted());
        QCOMPARE(heard, (Heard{Says(R::Tree, "Printers"), Says(R::Table, "Printer status"),
                               Says(R::EditableText, "Printer details"), Says(R::Button, "Exit")}));
        QCOMPARE(printers, (Heard{Says(R::TreeItem, "Remote Printers:"), Says(R::TreeItem, "Café Laser")}));
        QCOMPARE(headings, (QStringList{"Status", "Job in Queue", "Printed Percent"}));
        QCOMPARE(cells, (QStringList{"BUSY", "2", "37%"}));
        QVERIFY(detailsState.readOnly);
        QVERIFY(detailsState.multiLine);
        QVERIFY(
            detailsText.startsWith(QStringLiteral("Port Type: \t\tBi-direction\nCurrent User: \t\t\nIP Address: ")));
    }

    // A renamed item is announced through the accessible child that reads its
    // name: for the tree's printers and for the status row's cells.
    void renamedItemsPointAtTheirChild()
    {
        MonitorRun run(QuietWorker());
        auto &dlg = run.dlg;
        QStringList expected, pointed;
        auto point = [&](QTreeView &view, const QModelIndex &index) {
            expected << index.data().toString();
            QAccessibleInterface *child =
                QAccessible::queryAccessibleInterface(&view)->child(AccessibleChildIndex(view, index));
            pointed << (child ? child->text(QAccessible::Name) : QString());
        };
        run.drive.Then([&] { return dlg.isVisible(); });
        run.drive.Then([&] {
            PostReply(dlg, {{"Laser", 0x88}, {"Inkjet \xc9", 0xA0}, {"Matrix", 0x8C}});
            return true;
        });
        run.drive.Then([&] { return dlg.m_treePrinters->topLevelItem(0)->childCount() == 3; });
        run.drive.Then([&] {
            dlg.m_treePrinters->setFocus();
            QTest::keyClick(dlg.m_treePrinters, Qt::Key_End);
            QAbstractItemModel *tree = dlg.m_treePrinters->model();
            const QModelIndex root = tree->index(0, 0);
            point(*dlg.m_treePrinters, root);
            for (int i = 0; i < 3; ++i)
                point(*dlg.m_treePrinters, tree->index(i, 0, root));
            for (int column = 0; column < 3; ++column)
                point(*dlg.m_listStatus, dlg.m_listStatus->model()->index(0, column));
            dlg.PressKey(Qt::Key_Escape);
            return true;
        });
        dlg.DoModal();
        QVERIFY(!run.drive.Aborted());
        QCOMPARE(expected, (QStringList{"Remote Printers:", "Laser", "Inkjet \u00c9", "Matrix", "BUSY", "1",
                                        "Size Counting..."}));
        QCOMPARE(pointed, expected);
    }

    // Every box reads its title, its text and its one button.
    void messageBoxes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<uint>("flags");
        QTest::newRow("server stopped") << "Connect Failed!\n"
                                        << "" << uint(MB_ICONEXCLAMATION);
        QTest::newRow("blank address") << "IP Address can not be blank!"
                                       << "Input IP Address Error" << uint(MB_ICONHAND);
        QTest::newRow("worker did not stop") << "Child thread exit abnormal !"
                                             << "" << uint(MB_ICONEXCLAMATION);
    }
    void messageBoxes()
    {
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(uint, flags);
        MessageBoxService service;
        QString title, shown;
        QStringList buttons;
        int role = -1;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(box);
            role = iface->role();
            title = iface->text(QAccessible::Name);
            for (const auto &[r, name] : HearAll(box))
                if (r == QAccessible::StaticText && !name.isEmpty())
                    shown = name;
                else if (r == QAccessible::Button)
                    buttons << name;
            box->accept();
        });
        MessageBox(nullptr, text, caption, flags);
        QCOMPARE(role, int(QAccessible::AlertMessage));
        QCOMPARE(title, caption.isEmpty() ? CWinApp::AppName() : caption);
        QCOMPARE(shown, text);
        QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
    }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
