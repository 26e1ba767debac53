// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What assistive technology is given, offscreen: the label a control takes from its template and the
// accessible child a renamed item points at. The AT-SPI run reads the windows' names and roles.
#include "main_window_harness.h"

#include "platform/ui/accessibility.h"

#include <QAccessible>
#include <QTest>

using namespace platform;

namespace {

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

    // A renamed item (a printer, a status cell) is announced through the child that reads its name.
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
