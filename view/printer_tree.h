// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The printer tree: the root "Remote Printers:" and one item per used slot,
// kept in step with each status reply without rebuilding it.
#pragma once
#include <cstdint>

#include "link/protocol.h"
#include "view/tree_control.h"

// The number of used slots before the first empty one in the latest reply (0 to 8).
extern int g_nPrinterItems;

// Images of the tree's image list.
constexpr int RootImage = 0;          // a printer with a globe
constexpr int ReadyPrinterImage = 1;  // a printer
constexpr int FaultPrinterImage = 2;  // a printer with a prohibition sign

constexpr const char *RootItemText = "Remote Printers:";

// Ready (on line, no fault) or not; the busy bit does not matter.
int GetPrinterImage(std::uint8_t flags);

// Inserts the root item with image 0 and data 0. The caller expands it.
TreeControl::Item InsertRootItem(TreeControl &tree);

// Brings the tree in step with one reply. records is CMonitorDlg::m_records, items is m_hPrinterItems.
// Returns the record to re-show for the selected printer, or nullptr to leave the details as they are.
const PrinterRecord *SyncPrinterTree(TreeControl &tree, TreeControl::Item root, TreeControl::Item (&items)[8],
                                     StatusReply &records, int &printerItems, const StatusReply &reply);

// The selection rule: the record to show for the selected item, or nullptr to clear the details.
const PrinterRecord *SelectedPrinterRecord(const TreeControl &tree, const StatusReply &records);
