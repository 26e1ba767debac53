// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The printer walk's tree operations on the window's tree widget.
#pragma once
#include "platform/ui/controls.h"
#include "platform/ui/image_list.h"
#include "view/tree_control.h"

class TreeWidgetControl final : public TreeControl {
public:
    TreeWidgetControl(platform::TreeView &tree, const platform::ImageList &images) : m_tree(tree), m_images(images) {}

    Item InsertItem(const std::string &text, Item parent, Item after) override;
    void SetItemText(Item item, const std::string &text) override;
    void SetItemImage(Item item, int image) override;
    void SetItemData(Item item, std::uint32_t data) override;
    std::uint32_t GetItemData(Item item) const override;
    void DeleteItem(Item item) override;
    Item GetSelectedItem() const override;

    static QTreeWidgetItem *ToWidgetItem(Item item)
    {
        return const_cast<QTreeWidgetItem *>(static_cast<const QTreeWidgetItem *>(item));
    }

private:
    platform::TreeView &m_tree;
    const platform::ImageList &m_images;
};

// Record text fields are 8-bit characters.
inline QString FromRecordText(const std::string &bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
