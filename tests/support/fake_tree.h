// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A tree control for tests: real child order, a selection that moves to a neighbour when the selected item is deleted
// (reported while the old item is still alive), and a failure whenever a dead handle is used. The failure is a
// GoogleTest failure unless the includer names its own FAKE_TREE_FAILURE(text).
#pragma once
#ifndef FAKE_TREE_FAILURE
#include <gtest/gtest.h>
#define FAKE_TREE_FAILURE(text) ADD_FAILURE() << (text)
#endif

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
        siblings.erase(std::find(siblings.begin(), siblings.end(), n));
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
