// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/printer_tree.h"

int g_nPrinterItems = 0;

namespace {

// Item data 0 is the root; 1 to 8 name slots 0 to 7.
int SlotOfItemData(std::uint32_t data) { return (data >= 1 && data <= PrinterSlots) ? static_cast<int>(data) - 1 : -1; }

}  // namespace

int GetPrinterImage(std::uint8_t flags) { return IsOnLineReady(flags) ? ReadyPrinterImage : FaultPrinterImage; }

TreeControl::Item InsertRootItem(TreeControl &tree)
{
    TreeControl::Item root = tree.InsertItem(RootItemText, nullptr, nullptr);
    tree.SetItemImage(root, RootImage);
    tree.SetItemData(root, 0);
    return root;
}

const PrinterRecord *SyncPrinterTree(TreeControl &tree, TreeControl::Item root, TreeControl::Item (&items)[8],
                                     StatusReply &records, int &printerItems, const StatusReply &reply)
{
    // Take the whole reply first: deleting an item can make the tree report a
    // selection change at once, and that handler must find this reply's records.
    records = reply;

    int count = static_cast<int>(PrinterSlots);
    bool gapSeen = false;
    TreeControl::Item previous = nullptr;  // the item of the nearest used slot before i
    for (std::size_t i = 0; i < PrinterSlots; ++i) {
        const PrinterRecord &record = records.records[i];
        if (IsSlotUsed(record)) {
            const std::string name = FieldText(record.printerName);
            if (items[i]) {
                tree.SetItemText(items[i], name);
            } else {
                // Placed after the preceding slot's item so the tree stays in slot order.
                items[i] = tree.InsertItem(name, root, previous);
                tree.SetItemData(items[i], static_cast<std::uint32_t>(i + 1));
            }
            tree.SetItemImage(items[i], GetPrinterImage(record.statusFlags));
            previous = items[i];
        } else {
            if (!gapSeen) {
                count = static_cast<int>(i);
                gapSeen = true;
            }
            if (items[i]) {
                // Forget the handle before the tree can call back about it.
                TreeControl::Item dying = items[i];
                items[i] = nullptr;
                tree.DeleteItem(dying);
            }
        }
    }
    printerItems = count;

    TreeControl::Item selected = tree.GetSelectedItem();
    if (!selected)
        return nullptr;
    const int slot = SlotOfItemData(tree.GetItemData(selected));
    if (slot < 0 || !items[slot])
        return nullptr;
    return &records.records[slot];
}

const PrinterRecord *SelectedPrinterRecord(const TreeControl &tree, const StatusReply &records)
{
    TreeControl::Item selected = tree.GetSelectedItem();
    if (!selected)
        return nullptr;
    const int slot = SlotOfItemData(tree.GetItemData(selected));
    return slot < 0 ? nullptr : &records.records[slot];
}
