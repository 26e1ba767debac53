// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The window thread's share of one status reply, without widgets: decode the
// datagram, bring the tree in step, build the selected printer's texts.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "link/protocol.h"
#include "view/printer_details.h"
#include "view/printer_tree.h"
#include "bench/wire_replies.h"

namespace {

// A tree that only stores what it is told, in a fixed pool.
class PoolTree : public TreeControl {
public:
    Item InsertItem(const std::string &text, Item, Item) override
    {
        Node &n = pool_[used_++ % pool_.size()];
        n.text = text;
        return &n;
    }
    void SetItemText(Item item, const std::string &text) override { At(item).text = text; }
    void SetItemImage(Item item, int image) override { At(item).image = image; }
    void SetItemData(Item item, std::uint32_t data) override { At(item).data = data; }
    std::uint32_t GetItemData(Item item) const override { return static_cast<const Node *>(item)->data; }
    void DeleteItem(Item) override {}
    Item GetSelectedItem() const override { return selected_; }
    void Select(Item item) { selected_ = item; }

private:
    struct Node {
        std::string text;
        int image = 0;
        std::uint32_t data = 0;
    };
    static Node &At(Item item) { return *static_cast<Node *>(const_cast<void *>(item)); }
    std::array<Node, 16> pool_;
    std::size_t used_ = 0;
    Item selected_ = nullptr;
};

void BM_ReplyLogic(benchmark::State &state)
{
    const auto wire = MakeWireReplies(16);
    PoolTree tree;
    TreeControl::Item root = InsertRootItem(tree);
    TreeControl::Item items[8] = {};
    StatusReply records;
    std::memset(&records, 0, sizeof records);
    int printerItems = 0;

    const StatusReply first = DecodeStatusReply(wire[0].data(), wire[0].size());
    SyncPrinterTree(tree, root, items, records, printerItems, first);
    tree.Select(items[3]);

    std::size_t v = 1;
    for (auto _ : state) {
        const auto &datagram = wire[v++ % wire.size()];
        const StatusReply reply = DecodeStatusReply(datagram.data(), datagram.size());
        const PrinterRecord *shown = SyncPrinterTree(tree, root, items, records, printerItems, reply);
        if (shown) {
            StatusRow row = MakeStatusRow(*shown);
            std::string details = FormatDetailsText(*shown);
            benchmark::DoNotOptimize(row);
            benchmark::DoNotOptimize(details);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReplyLogic);

}  // namespace
