// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A tree control for tests: real child order, a selection that moves to a neighbour when the selected item is deleted
// (reported while the old item is still alive), and a failure whenever a dead handle is used; and the printer tree
// kept on it reply after reply, with what must hold after each. A failure is a GoogleTest failure unless the includer
// names its own FAKE_TREE_FAILURE(text).
#pragma once
#ifndef FAKE_TREE_FAILURE
#include <gtest/gtest.h>
#define FAKE_TREE_FAILURE(text) ADD_FAILURE() << (text)
#endif

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "view/printer_tree.h"
#include "view/tree_control.h"

class FakeTree : public TreeControl {
public:
    struct Node {
        Node(std::string t, Node *p) : text(std::move(t)), parent(p) {}
        std::string text;
        Node *parent;
        int image = -1;
        std::uint32_t data = 0;
        bool alive = true;
        std::vector<Node *> children;
    };
    std::function<void(Item now, Item dying)> onSelectionChanged;
    int inserts = 0, deletes = 0;

    Item InsertItem(const std::string &text, Item parent, Item after) override
    {
        Node *p = parent ? Live(parent) : nullptr;
        std::vector<Node *> &siblings = Siblings(p);
        auto pos = after ? std::find(siblings.begin(), siblings.end(), Live(after)) : siblings.begin();
        if (after && pos == siblings.end())
            FAKE_TREE_FAILURE("insert after an item that is not a child of the parent");
        else if (after)
            ++pos;
        nodes_.push_back(std::make_unique<Node>(text, p));
        ++inserts;
        return *siblings.insert(pos, nodes_.back().get());
    }
    void SetItemText(Item item, const std::string &text) override { Live(item)->text = text; }
    void SetItemImage(Item item, int image) override { Live(item)->image = image; }
    void SetItemData(Item item, std::uint32_t data) override { Live(item)->data = data; }
    std::uint32_t GetItemData(Item item) const override { return Live(item)->data; }
    Item GetSelectedItem() const override { return selected_; }
    void DeleteItem(Item item) override
    {
        Node *n = Live(item);
        std::vector<Node *> &siblings = Siblings(n->parent);
        auto pos = std::find(siblings.begin(), siblings.end(), n);
        if (selected_ == n) {
            // Next sibling, else previous sibling, else the parent.
            selected_ = pos + 1 != siblings.end() ? *(pos + 1) : pos != siblings.begin() ? *(pos - 1) : n->parent;
            if (onSelectionChanged)
                onSelectionChanged(selected_, n);
        }
        siblings.erase(pos);
        n->alive = false;
        ++deletes;
    }

    void Select(Item item) { selected_ = item ? Live(item) : nullptr; }
    std::vector<Node *> &Siblings(Node *parent) { return parent ? parent->children : top_; }

private:
    Node *Live(Item item) const
    {
        auto *n = const_cast<Node *>(static_cast<const Node *>(item));
        if (!n || !n->alive)
            FAKE_TREE_FAILURE(std::string("tree operation on ") + (n ? "a deleted" : "a null") + " item");
        return n;
    }

    std::vector<std::unique_ptr<Node>> nodes_;  // never freed, so a stale handle is caught
    std::vector<Node *> top_;
    Node *selected_ = nullptr;
};

// The printer tree as the main window keeps it, on a fake tree.
struct PrinterTreeWalk {
    FakeTree tree;
    TreeControl::Item root = InsertRootItem(tree);
    TreeControl::Item items[PrinterSlots] = {};
    std::unique_ptr<StatusReply> records = std::make_unique<StatusReply>();  // a block of its own: overreads show
    int count = -1;

    // The record of the selected item's slot, by the item's data, while that slot has an item.
    const PrinterRecord *Selected()
    {
        const std::uint32_t d = tree.GetSelectedItem() ? tree.GetItemData(tree.GetSelectedItem()) : 0;
        return d >= 1 && d <= PrinterSlots && items[d - 1] ? &records->records[d - 1] : nullptr;
    }

    // Applies a reply and checks what must hold after any: the one root, all eight records taken, one item per used
    // slot in slot order showing its name, data and picture, the count of the slots before the first empty one, and the
    // selected printer re-shown while its slot has an item. Returns the root's children as "data:text/image".
    std::string Apply(const StatusReply &reply, const PrinterRecord **shownOut = nullptr)
    {
        const PrinterRecord *shown = SyncPrinterTree(tree, root, items, *records, count, reply);
        auto *r = static_cast<FakeTree::Node *>(const_cast<void *>(root));
        std::string shape, fault;
        if (tree.Siblings(nullptr) != std::vector<FakeTree::Node *>{r} || r->text != RootItemText || r->image != 0)
            fault += " root;";
        if (std::memcmp(records.get(), &reply, sizeof reply) != 0)
            fault += " records;";
        std::size_t child = 0, firstEmpty = PrinterSlots;
        for (std::size_t i = 0; i < PrinterSlots; ++i) {
            const PrinterRecord &rec = reply.records[i];
            firstEmpty = std::min(firstEmpty, IsSlotUsed(rec) ? PrinterSlots : i);
            const FakeTree::Node *n = child < r->children.size() ? r->children[child] : nullptr;
            if ((items[i] != nullptr) != IsSlotUsed(rec) || (items[i] && n != items[i]))
                fault += " item of slot " + std::to_string(i) + ";";
            if (!items[i] || n != items[i])
                continue;
            ++child;
            shape +=
                (shape.empty() ? "" : " ") + std::to_string(n->data) + ':' + n->text + '/' + std::to_string(n->image);
            const std::string name(rec.printerName, ::strnlen(rec.printerName, sizeof rec.printerName));
            if (n->text != name || n->data != i + 1 || n->image != ((rec.statusFlags & 0x88) == 0x88 ? 1 : 2))
                fault += " text, data or picture of slot " + std::to_string(i) + ";";
        }
        if (child != r->children.size() || count != int(firstEmpty) || shown != Selected())
            fault += " children, count or shown record;";
        if (!fault.empty())
            FAKE_TREE_FAILURE("after a reply:" + fault);
        if (shownOut)
            *shownOut = shown;
        return shape;
    }
};
