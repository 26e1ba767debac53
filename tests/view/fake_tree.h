// A tree control for tests: real parent/child order, a selection that moves to
// a neighbour when the selected item is deleted (with the change reported while
// the old item is still alive), and checks that no dead handle is ever used.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "view/tree_control.h"

class FakeTree : public TreeControl {
public:
    struct Node {
        std::string text;
        int image = -1;
        std::uint32_t data = 0;
        Node *parent = nullptr;
        std::vector<Node *> children;
        bool alive = true;
    };

    // Called when deleting moves the selection: (new selection, dying old one).
    std::function<void(Item now, Item before)> onSelectionChanged;

    int inserts = 0;
    int deletes = 0;
    int textSets = 0;
    int imageSets = 0;

    Item InsertItem(const std::string &text, Item parent, Item after) override
    {
        Node *p = parent ? Live(parent) : nullptr;
        std::vector<Node *> &siblings = p ? p->children : top_;
        auto pos = siblings.begin();
        if (after) {
            Node *a = Live(after);
            pos = std::find(siblings.begin(), siblings.end(), a);
            if (pos == siblings.end()) {
                ADD_FAILURE() << "insert after an item that is not a child of the parent";
                pos = siblings.begin();
            } else {
                ++pos;
            }
        }
        nodes_.push_back(std::make_unique<Node>());
        Node *n = nodes_.back().get();
        n->text = text;
        n->parent = p;
        siblings.insert(pos, n);
        ++inserts;
        return n;
    }

    void SetItemText(Item item, const std::string &text) override
    {
        if (Node *n = Live(item)) {
            n->text = text;
            ++textSets;
        }
    }

    void SetItemImage(Item item, int image) override
    {
        if (Node *n = Live(item)) {
            n->image = image;
            ++imageSets;
        }
    }

    void SetItemData(Item item, std::uint32_t data) override
    {
        if (Node *n = Live(item))
            n->data = data;
    }

    std::uint32_t GetItemData(Item item) const override
    {
        const Node *n = Live(item);
        return n ? n->data : 0;
    }

    void DeleteItem(Item item) override
    {
        Node *n = Live(item);
        if (!n)
            return;
        std::vector<Node *> &siblings = n->parent ? n->parent->children : top_;
        auto pos = std::find(siblings.begin(), siblings.end(), n);
        if (selected_ && Within(selected_, n)) {
            // Next sibling, else previous sibling, else the parent.
            Node *next = nullptr;
            if (pos + 1 != siblings.end())
                next = *(pos + 1);
            else if (pos != siblings.begin())
                next = *(pos - 1);
            else
                next = n->parent;
            Node *before = selected_;
            selected_ = next;
            if (onSelectionChanged)
                onSelectionChanged(next, before);
            // The handler may have changed the tree; find the item again.
            pos = std::find(siblings.begin(), siblings.end(), n);
        }
        siblings.erase(pos);
        Kill(n);
        ++deletes;
    }

    Item GetSelectedItem() const override { return selected_; }

    void Select(Item item) { selected_ = item ? Live(item) : nullptr; }

    // The children of parent (top level for nullptr), in order.
    std::vector<const Node *> Children(Item parent) const
    {
        const std::vector<Node *> &list = parent ? static_cast<const Node *>(parent)->children : top_;
        return std::vector<const Node *>(list.begin(), list.end());
    }

    static const Node *AsNode(Item item) { return static_cast<const Node *>(item); }

private:
    Node *Live(Item item) const
    {
        auto *n = const_cast<Node *>(static_cast<const Node *>(item));
        if (!n || !n->alive) {
            ADD_FAILURE() << "tree operation on " << (n ? "a deleted" : "a null") << " item";
            return nullptr;
        }
        return n;
    }

    static bool Within(const Node *n, const Node *ancestor)
    {
        for (; n; n = n->parent)
            if (n == ancestor)
                return true;
        return false;
    }

    static void Kill(Node *n)
    {
        n->alive = false;
        for (Node *c : n->children)
            Kill(c);
    }

    // Nodes are never freed while the tree lives, so a stale handle is caught, not undefined.
    std::vector<std::unique_ptr<Node>> nodes_;
    std::vector<Node *> top_;
    Node *selected_ = nullptr;
};
