// The printer tree kept in step with sequences of replies, and the selection rule.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/view/fake_tree.h"
#include "view/printer_tree.h"

namespace {

// A reply from one name per slot: "." is an empty slot, a trailing "!" a paper-out printer.
StatusReply MakeReply(const std::string &names)
{
    StatusReply reply{};
    std::istringstream in(names);
    std::string w;
    for (std::size_t i = 0; in >> w; ++i)
        if (w != ".")
            reply.records[i] = w.back() == '!' ? MakeRecord(w.substr(0, w.size() - 1), 0xA0) : MakeRecord(w);
    return reply;
}

struct Harness {
    FakeTree tree;
    TreeControl::Item root = InsertRootItem(tree);
    TreeControl::Item items[8] = {};
    StatusReply records{};
    int count = -1;

    const PrinterRecord *Apply(const StatusReply &reply)
    {
        return SyncPrinterTree(tree, root, items, records, count, reply);
    }

    // What must hold after any reply; returns the root's children as "data:text/image".
    std::string Check(const StatusReply &reply)
    {
        auto *r = static_cast<FakeTree::Node *>(const_cast<void *>(root));
        EXPECT_EQ(tree.Siblings(nullptr), std::vector<FakeTree::Node *>{r});
        EXPECT_EQ(r->text + "/" + std::to_string(r->image) + "/" + std::to_string(r->data), "Remote Printers:/0/0");
        EXPECT_EQ(std::memcmp(&records, &reply, sizeof reply), 0) << "all eight records copied";
        std::vector<const void *> used, shown(r->children.begin(), r->children.end());
        for (std::size_t i = 0; i < PrinterSlots; ++i) {
            EXPECT_EQ(items[i] != nullptr, IsSlotUsed(reply.records[i])) << "slot " << i;
            if (items[i])
                used.push_back(items[i]);
        }
        EXPECT_EQ(shown, used) << "one item per used slot, in slot order";
        std::ostringstream out;
        for (const FakeTree::Node *n : r->children)
            out << (out.tellp() > 0 ? " " : "") << n->data << ':' << n->text << '/' << n->image;
        return out.str();
    }
};

TEST(PrinterTree, SequencesOfReplies)
{
    struct Step {
        std::string reply, shape;
        int count, inserts, deletes;  // inserts and deletes of this reply
    };
    // A name that fills its field and 8-bit bytes are shown as they are.
    const std::string n64(64, 'N'), eight = n64 + " Dru\xE7k 3 4 5 6 7 8";
    const std::string eightShape = "1:" + n64 + "/1 2:Dru\xE7k/1 3:3/1 4:4/1 5:5/1 6:6/1 7:7/1 8:8/1";
    const std::vector<std::vector<Step>> sequences = {
        {
            {"A B C", "1:A/1 2:B/1 3:C/1", 3, 3, 0},
            {"A B C", "1:A/1 2:B/1 3:C/1", 3, 0, 0},
            {"A . C D", "1:A/1 3:C/1 4:D/1", 1, 1, 1},
            {"A . C2! D!", "1:A/1 3:C2/2 4:D/2", 1, 0, 0},  // behind the gap, still refreshed
            {"A B C2 D", "1:A/1 2:B/1 3:C2/1 4:D/1", 4, 1, 0},
            {"", "", 0, 0, 4},
        },
        {
            {". . . . . . . H", "8:H/1", 0, 1, 0},
            {"A . C! . . F", "1:A/1 3:C/2 6:F/1", 1, 3, 1},
            {eight, eightShape, 8, 5, 0},
            {eight, eightShape, 8, 0, 0},
        },
    };
    for (std::size_t s = 0; s < sequences.size(); ++s) {
        Harness h;
        for (const Step &step : sequences[s]) {
            SCOPED_TRACE(testing::Message() << "sequence " << s << " reply '" << step.reply << "'");
            const int inserts = h.tree.inserts, deletes = h.tree.deletes;
            const StatusReply reply = MakeReply(step.reply);
            h.Apply(reply);
            EXPECT_EQ(h.Check(reply), step.shape);
            EXPECT_EQ(h.count, step.count);
            EXPECT_EQ(h.tree.inserts - inserts, step.inserts);
            EXPECT_EQ(h.tree.deletes - deletes, step.deletes);
        }
    }
    // Busy does not matter; on line without no-fault, or no-fault off line, is a fault.
    for (const auto &c : std::vector<std::pair<std::uint8_t, int>>{{0x8C, 1}, {0x80, 2}, {0x08, 2}, {0x7F, 2}})
        EXPECT_EQ(GetPrinterImage(c.first), c.second) << std::hex << int(c.first);
}

TEST(PrinterTree, SelectionFollowsItsPrinter)
{
    struct Case {
        std::string first;
        int select;  // slot; -1: the root, -2: nothing
        std::string second;
        int shown;  // slot whose record the reply re-shows and the selection rule shows; -1: none
    };
    const Case cases[] = {
        {"A B C", 1, "A B2! C", 1}, {"A B C", 2, "A . C2", 2}, {"A", -1, "A", -1}, {"A", -2, "A", -1},
        {"A B C", 1, "A . C", 2},  // moved to the next sibling
        {"A B C", 1, "", -1},      // and at last to the root
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.first + " -> " + c.second);
        Harness h;
        h.Apply(MakeReply(c.first));
        if (c.select != -2)
            h.tree.Select(c.select >= 0 ? h.items[c.select] : h.root);

        // A selection change reported mid-walk must already see this reply's records.
        const StatusReply second = MakeReply(c.second);
        int callbacks = 0;
        h.tree.onSelectionChanged = [&](TreeControl::Item now, TreeControl::Item dying) {
            ++callbacks;
            for (TreeControl::Item item : h.items)
                EXPECT_NE(item, dying) << "the walk still holds the dying item";
            const PrinterRecord *rec = SelectedPrinterRecord(h.tree, h.records);
            const std::uint32_t d = h.tree.GetItemData(now);
            ASSERT_EQ(rec != nullptr, d != 0);
            EXPECT_TRUE(!rec || std::memcmp(rec, &second.records[d - 1], sizeof *rec) == 0);
        };
        const PrinterRecord *shown = h.Apply(second);
        h.tree.onSelectionChanged = nullptr;
        EXPECT_EQ(shown, c.shown < 0 ? nullptr : &h.records.records[c.shown]);
        EXPECT_EQ(SelectedPrinterRecord(h.tree, h.records), shown);
        EXPECT_EQ(callbacks > 0, c.select >= 0 && !IsSlotUsed(second.records[c.select]));
        h.Check(second);
    }

    // An item the walk does not own (its slot has no item) is never re-shown.
    Harness h;
    h.Apply(MakeReply("A B"));
    TreeControl::Item stray = h.tree.InsertItem("stray", h.root, h.items[1]);
    h.tree.SetItemData(stray, 5);
    h.tree.Select(stray);
    EXPECT_EQ(h.Apply(MakeReply("A B")), nullptr);
    EXPECT_EQ(SelectedPrinterRecord(h.tree, h.records), &h.records.records[4]);
}

}  // namespace
