// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The report list view as a reader expects it: a table whose column headings
// and cells read as the window shows them. Children: the headings first, then
// the cells row by row, as Qt's item views number them in their focus events.
#include "platform/ui/accessibility.h"

#include "platform/ui/controls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHeaderView>
#include <QPointer>
#include <QWindow>
#include <map>

namespace platform {

namespace {

class ReportCell final : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    ReportCell(ReportListView *view, int row, int column) : m_view(view), m_row(row), m_column(column) {}

    bool isValid() const override
    {
        return m_view && m_column < m_view->columnCount() && m_row < m_view->GetItemCount();
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_view); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid())
            return QString();
        return m_row < 0 ? m_view->headerItem()->text(m_column) : m_view->GetItemText(m_row, m_column);
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return m_row < 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }
    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface *>(this) : nullptr;
    }

    bool isSelected() const override
    {
        QTreeWidgetItem *item = m_row >= 0 && m_view ? m_view->topLevelItem(m_row) : nullptr;
        return item && item->isSelected();
    }
    QList<QAccessibleInterface *> columnHeaderCells() const override;
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

private:
    QPointer<ReportListView> m_view;
    int m_row;  // -1: the column heading
    int m_column;
};

QRect ReportCell::rect() const
{
    if (!isValid())
        return QRect();
    QHeaderView *header = m_view->header();
    const int x = header->sectionViewportPosition(m_column);
    const int width = header->sectionSize(m_column);
    if (m_row < 0)
        return QRect(header->mapToGlobal(QPoint(x, 0)), QSize(width, header->height()));
    const QRect row = m_view->visualItemRect(m_view->topLevelItem(m_row));
    return QRect(m_view->viewport()->mapToGlobal(QPoint(x, row.top())), QSize(width, row.height()));
}

QAccessible::State ReportCell::state() const
{
    QAccessible::State s;
    if (!isValid() || !m_view->isVisible() || (m_row < 0 && m_view->isHeaderHidden())) {
        s.invisible = true;
        return s;
    }
    if (m_row < 0)
        return s;
    s.selectable = true;
    s.selected = isSelected();
    s.focusable = true;
    QTreeWidgetItem *current = m_view->currentItem();
    s.focused = m_view->hasFocus() && current && m_view->indexOfTopLevelItem(current) == m_row &&
                m_view->currentColumn() == m_column;
    return s;
}

QList<QAccessibleInterface *> ReportCell::columnHeaderCells() const
{
    QAccessibleInterface *table = parent();
    QAccessibleInterface *heading = table ? table->child(m_column) : nullptr;
    return heading ? QList<QAccessibleInterface *>{heading} : QList<QAccessibleInterface *>{};
}

class ReportListAccessible final : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit ReportListAccessible(ReportListView *view) : QAccessibleWidget(view, QAccessible::Table) {}
    ~ReportListAccessible() override { DropCells(); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    int childCount() const override { return (rowCount() + 1) * columnCount(); }
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override;

    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        return row >= 0 && column >= 0 && column < columnCount() ? child((row + 1) * columnCount() + column) : nullptr;
    }
    int selectedCellCount() const override { return selectedCells().size(); }
    QList<QAccessibleInterface *> selectedCells() const override;
    QString columnDescription(int column) const override { return View()->headerItem()->text(column); }
    QString rowDescription(int) const override { return QString(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return selectedRows().size(); }
    int columnCount() const override { return View()->columnCount(); }
    int rowCount() const override { return View()->GetItemCount(); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *event) override
    {
        // A cell stands for a place, not for an item: only a change of shape drops them.
        if (event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged)
            DropCells();
    }

private:
    ReportListView *View() const { return static_cast<ReportListView *>(widget()); }
    void DropCells()
    {
        for (const auto &[index, id] : m_cells)
            QAccessible::deleteAccessibleInterface(id);
        m_cells.clear();
    }
    mutable std::map<int, QAccessible::Id> m_cells;  // child index -> registered cell
};

QAccessibleInterface *ReportListAccessible::child(int index) const
{
    const int columns = columnCount();
    if (index < 0 || index >= childCount() || columns <= 0)
        return nullptr;
    auto it = m_cells.find(index);
    if (it != m_cells.end())
        return QAccessible::accessibleInterface(it->second);
    auto *cell = new ReportCell(View(), index / columns - 1, index % columns);
    m_cells.emplace(index, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

int ReportListAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    const QAccessibleTableCellInterface *cell =
        child ? const_cast<QAccessibleInterface *>(child)->tableCellInterface() : nullptr;
    if (!cell || child->parent() != this)
        return -1;
    return (cell->rowIndex() + 1) * columnCount() + cell->columnIndex();
}

QAccessibleInterface *ReportListAccessible::childAt(int x, int y) const
{
    for (int i = 0; i < childCount(); ++i)
        if (QAccessibleInterface *c = child(i); c && !c->state().invisible && c->rect().contains(x, y))
            return c;
    return nullptr;
}

QAccessibleInterface *ReportListAccessible::focusChild() const
{
    QTreeWidgetItem *current = View()->currentItem();
    if (!View()->hasFocus() || !current)
        return nullptr;
    return cellAt(View()->indexOfTopLevelItem(current), View()->currentColumn());
}

QList<int> ReportListAccessible::selectedRows() const
{
    QList<int> rows;
    for (int row = 0; row < rowCount(); ++row)
        if (isRowSelected(row))
            rows << row;
    return rows;
}

bool ReportListAccessible::isRowSelected(int row) const
{
    QTreeWidgetItem *item = View()->topLevelItem(row);
    return item && item->isSelected();
}

QList<QAccessibleInterface *> ReportListAccessible::selectedCells() const
{
    QList<QAccessibleInterface *> cells;
    for (int row : selectedRows())
        for (int column = 0; column < columnCount(); ++column)
            cells << cellAt(row, column);
    return cells;
}

QAccessibleInterface *LayerFactory(const QString &className, QObject *object)
{
    auto *view = qobject_cast<ReportListView *>(object);
    if (view && className == QLatin1String(view->metaObject()->className()))
        return new ReportListAccessible(view);
    auto *address = qobject_cast<IpAddressEdit *>(object);
    if (address && className == QLatin1String(address->metaObject()->className()))
        return new QAccessibleWidget(address, QAccessible::Grouping);
    return nullptr;
}

}  // namespace

void InstallAccessibleControls() { QAccessible::installFactory(LayerFactory); }

}  // namespace platform
