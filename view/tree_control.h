// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The few tree operations the printer walk needs. The window implements it on
// its tree widget; tests and benchmarks use small fakes.
#pragma once
#include <cstdint>
#include <string>

class TreeControl {
public:
    using Item = const void *;  // opaque item handle; nullptr = none
    virtual ~TreeControl() = default;
    // Inserts a child of parent with text only, placed right after `after` (nullptr: as the first child).
    virtual Item InsertItem(const std::string &text, Item parent, Item after) = 0;
    virtual void SetItemText(Item item, const std::string &text) = 0;  // 8-bit (Latin-1) bytes
    virtual void SetItemImage(Item item, int image) = 0;               // image and selected image alike
    virtual void SetItemData(Item item, std::uint32_t data) = 0;
    virtual std::uint32_t GetItemData(Item item) const = 0;
    virtual void DeleteItem(Item item) = 0;
    virtual Item GetSelectedItem() const = 0;
};
