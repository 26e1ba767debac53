// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What assistive technology is given, offscreen: the rule that finds a
// control's label in its template, the choice dialogs' names and roles, and the
// accessible child a renamed item points at. The AT-SPI run reads the rest.
#include "main_window_harness.h"

#include "platform/ui/accessibility.h"

#include <QAccessible>
#include <QTest>

using namespace platform;

namespace {

using Heard = QList<QPair<int, QString>>;  // (role, name) of each control and part, in order

Heard HearAll(QAccessibleInterface *iface)
{
    Heard heard;
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        if (!child || child->state().invisible || child->role() == QAccessible::ScrollBar ||
            (child->role() == QAccessible::Client && child->text(QAccessible::Name).isEmpty()))
            continue;  // a scroll area's frame: nothing to read
        heard << qMakePair(int(child->role()), child->text(QAccessible::Name)) << HearAll(child);
    }
    return heard;
}

QPair<int, QString> Says(QAccessible::Role role, const char *name) { return {int(role), QString::fromUtf8(name)}; }

ControlTemplate Entry(ControlKind kind, const char *text = "")
{
    return ControlTemplate{100, kind, text, 0, 0, 10, 10, true, false};
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

    void choiceDialogs()
    {
        using R = QAccessible::Role;
        CServerListDlg list;
        CServerAddressDlg address;
        QList<Heard> heard;
        for (CDialog *dlg : {static_cast<CDialog *>(&list), static_cast<CDialog *>(&address)}) {
            QTimer::singleShot(0, dlg, [&heard, dlg] {
                heard << HearAll(QAccessible::queryAccessibleInterface(dlg));
                dlg->EndDialog(IDCANCEL);
            });
            dlg->DoModal();
        }
        Heard fields;
        for (const char *field : {"Input Server IP: field 1 of 4", "Input Server IP: field 2 of 4",
                                  "Input Server IP: field 3 of 4", "Input Server IP: field 4 of 4"})
            fields << Says(R::EditableText, field) << Says(R::StaticText, ".");
        fields.removeLast();
        QCOMPARE(heard,
                 (QList<Heard>{{Says(R::List, "Print servers"), Says(R::Button, "OK"), Says(R::Button, "Cancel")},
                               Heard{Says(R::Button, "OK"), Says(R::Grouping, "Input Server IP:")} + fields +
                                   Heard{Says(R::StaticText, "Input Server IP:"), Says(R::Button, "Abort")}}));
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
            PostReply(dlg, {Printer("Laser", 0x88, 1), Printer("Inkjet \xc9", 0xA0, 1), Printer("Matrix", 0x8C, 1)});
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
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
