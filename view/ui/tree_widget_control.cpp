// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/ui/tree_widget_control.h"

namespace {
constexpr int DataRole = Qt::UserRole + 1;
}

TreeControl::Item TreeWidgetControl::InsertItem(const std::string &text, Item parent, Item after)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, FromRecordText(text));
    QTreeWidgetItem *p = ToWidgetItem(parent);
    QTreeWidgetItem *a = ToWidgetItem(after);
    if (p) {
        int index = a ? p->indexOfChild(a) + 1 : 0;
        p->insertChild(index, item);
    } else {
        int index = a ? m_tree.indexOfTopLevelItem(a) + 1 : 0;
        m_tree.insertTopLevelItem(index, item);
    }
    return item;
}

void TreeWidgetControl::SetItemText(Item item, const std::string &text)
{
    if (QTreeWidgetItem *i = ToWidgetItem(item))
        i->setText(0, FromRecordText(text));
}

void TreeWidgetControl::SetItemImage(Item item, int image)
{
    if (QTreeWidgetItem *i = ToWidgetItem(item))
        i->setIcon(0, m_images.Icon(image));
}

void TreeWidgetControl::SetItemData(Item item, std::uint32_t data)
{
    if (QTreeWidgetItem *i = ToWidgetItem(item))
        i->setData(0, DataRole, data);
}

std::uint32_t TreeWidgetControl::GetItemData(Item item) const
{
    QTreeWidgetItem *i = ToWidgetItem(item);
    return i ? i->data(0, DataRole).toUInt() : 0;
}

void TreeWidgetControl::DeleteItem(Item item) { delete ToWidgetItem(item); }

TreeControl::Item TreeWidgetControl::GetSelectedItem() const { return m_tree.currentItem(); }
