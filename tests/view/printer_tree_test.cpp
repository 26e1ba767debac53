// The printer tree kept in step with sequences of replies, and the selection rule.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <vector>

#include "tests/view/fake_tree.h"
#include "tests/view/record_builder.h"
#include "view/printer_tree.h"

namespace {

// One slot of a reply: an empty name is an empty slot.
struct Slot {
    std::string name;
    std::uint8_t flags = 0x88;
};

StatusReply MakeReply(const std::vector<Slot> &slots)
{
    StatusReply reply;
    std::memset(&reply, 0, sizeof reply);
    for (std::size_t i = 0; i < slots.size() && i < PrinterSlots; ++i)
        if (!slots[i].name.empty())
            reply.records[i] = MakeRecord(slots[i].name, slots[i].flags);
    return reply;
}

struct Harness {
    FakeTree tree;
    TreeControl::Item root = nullptr;
    TreeControl::Item items[8] = {};
    StatusReply records;
    int count = 0;

    Harness()
    {
        std::memset(&records, 0, sizeof records);
        root = InsertRootItem(tree);
    }

    const PrinterRecord *Apply(const StatusReply &reply)
    {
        return SyncPrinterTree(tree, root, items, records, count, reply);
    }

    // The root's children in tree order as "data:text/image", space-separated.
    std::string Shape() const
    {
        std::ostringstream out;
        for (const FakeTree::Node *n : tree.Children(root))
            out << (out.tellp() > 0 ? " " : "") << n->data << ':' << n->text << '/' << n->image;
        return out.str();
    }

    // What must hold after every reply, whatever came before.
    void CheckInvariants(const StatusReply &reply) const
    {
        ASSERT_EQ(tree.Children(nullptr).size(), 1u) << "only the root is at top level";
        const FakeTree::Node *r = FakeTree::AsNode(root);
        EXPECT_EQ(r->text, "Remote Printers:");
        EXPECT_EQ(r->image, 0);
        EXPECT_EQ(r->data, 0u);
        EXPECT_EQ(std::memcmp(&records, &reply, sizeof reply), 0) << "all eight records copied";

        std::vector<const FakeTree::Node *> expected;
        for (std::size_t i = 0; i < PrinterSlots; ++i) {
            if (IsSlotUsed(reply.records[i])) {
                ASSERT_NE(items[i], nullptr) << "slot " << i;
                expected.push_back(FakeTree::AsNode(items[i]));
            } else {
                EXPECT_EQ(items[i], nullptr) << "slot " << i;
            }
        }
        EXPECT_EQ(tree.Children(root), expected) << "one item per used slot, in slot order";
    }
};

struct Step {
    std::vector<Slot> reply;
    std::string shape;
    int count;
    int inserts;  // insertions this reply
    int deletes;
};

struct Sequence {
    const char *what;
    std::vector<Step> steps;
};

TEST(PrinterTree, SequencesOfReplies)
{
    const std::vector<Slot> eight = {{"P1"}, {"P2"}, {"P3"}, {"P4"}, {"P5"}, {"P6"}, {"P7"}, {"P8"}};
    const std::string eightShape = "1:P1/1 2:P2/1 3:P3/1 4:P4/1 5:P5/1 6:P6/1 7:P7/1 8:P8/1";
    const Sequence sequences[] = {
        {"appear, gap in the middle, refill",
         {
             {{{"A"}, {"B"}, {"C"}}, "1:A/1 2:B/1 3:C/1", 3, 3, 0},
             {{{"A"}, {"B"}, {"C"}}, "1:A/1 2:B/1 3:C/1", 3, 0, 0},
             {{{"A"}, {"B"}, {"C"}, {"D"}}, "1:A/1 2:B/1 3:C/1 4:D/1", 4, 1, 0},
             {{{"A"}, {""}, {"C"}, {"D"}}, "1:A/1 3:C/1 4:D/1", 1, 0, 1},
             // The printers behind the gap are still refreshed.
             {{{"A"}, {""}, {"C2"}, {"D", 0xA0}}, "1:A/1 3:C2/1 4:D/2", 1, 0, 0},
             {{{"A"}, {""}, {"C2", 0x00}, {"D"}}, "1:A/1 3:C2/2 4:D/1", 1, 0, 0},
             // Slot 1 comes back between its neighbours; nothing is duplicated.
             {{{"A"}, {"B"}, {"C2"}, {"D"}}, "1:A/1 2:B/1 3:C2/1 4:D/1", 4, 1, 0},
             {{{"A"}, {"B"}, {"C2"}, {"D"}}, "1:A/1 2:B/1 3:C2/1 4:D/1", 4, 0, 0},
         }},
        {"vanish from the end, then everything",
         {
             {{{"A"}, {"B"}, {"C"}, {"D"}}, "1:A/1 2:B/1 3:C/1 4:D/1", 4, 4, 0},
             {{{"A"}, {"B"}}, "1:A/1 2:B/1", 2, 0, 2},
             {{}, "", 0, 0, 2},
             {{}, "", 0, 0, 0},
             {{{"A"}}, "1:A/1", 1, 1, 0},
         }},
        {"all eight full twice",
         {
             {eight, eightShape, 8, 8, 0},
             {eight, eightShape, 8, 0, 0},
             {{}, "", 0, 0, 8},
         }},
        {"slot 0 empty",
         {
             {{{""}, {"B"}, {"C"}}, "2:B/1 3:C/1", 0, 2, 0},
             {{{"A"}, {"B"}, {"C"}}, "1:A/1 2:B/1 3:C/1", 3, 1, 0},
             {{{""}, {"B"}, {"C"}}, "2:B/1 3:C/1", 0, 0, 1},
         }},
        {"sparse slots fill in from both sides",
         {
             {{{""}, {""}, {""}, {""}, {""}, {""}, {""}, {"H"}}, "8:H/1", 0, 1, 0},
             {{{""}, {""}, {""}, {"D"}, {""}, {""}, {""}, {"H"}}, "4:D/1 8:H/1", 0, 1, 0},
             {{{"A"}, {""}, {""}, {"D"}, {""}, {"F"}, {""}, {"H"}}, "1:A/1 4:D/1 6:F/1 8:H/1", 1, 2, 0},
             {{{"A"}, {""}, {"C"}, {""}, {"E"}, {""}, {"G"}, {""}}, "1:A/1 3:C/1 5:E/1 7:G/1", 1, 3, 3},
             {eight, eightShape, 8, 4, 0},
         }},
        {"renames and state changes",
         {
             {{{"A", 0x88}, {"B", 0x8C}}, "1:A/1 2:B/1", 2, 2, 0},
             {{{"Z", 0xA0}, {"B", 0x88}}, "1:Z/2 2:B/1", 2, 0, 0},
             {{{"Z", 0x8C}, {"B", 0x84}}, "1:Z/1 2:B/2", 2, 0, 0},
             {{{"Z", 0x7F}, {"B", 0xFF}}, "1:Z/2 2:B/1", 2, 0, 0},
         }},
    };

    for (const Sequence &seq : sequences) {
        SCOPED_TRACE(seq.what);
        Harness h;
        int step = 0;
        for (const Step &s : seq.steps) {
            SCOPED_TRACE(testing::Message() << "reply " << step++);
            const int inserts = h.tree.inserts, deletes = h.tree.deletes;
            const StatusReply reply = MakeReply(s.reply);
            h.Apply(reply);
            EXPECT_EQ(h.Shape(), s.shape);
            EXPECT_EQ(h.count, s.count);
            EXPECT_EQ(h.tree.inserts - inserts, s.inserts);
            EXPECT_EQ(h.tree.deletes - deletes, s.deletes);
            h.CheckInvariants(reply);
        }
    }
}

TEST(PrinterTree, EveryShownPrinterIsRefreshedEachReply)
{
    Harness h;
    const StatusReply reply = MakeReply({{"A"}, {""}, {"C"}, {"D"}});
    h.Apply(reply);
    const int texts = h.tree.textSets, images = h.tree.imageSets;
    h.Apply(reply);
    EXPECT_EQ(h.tree.textSets - texts, 3);
    EXPECT_EQ(h.tree.imageSets - images, 3);
}

TEST(PrinterTree, PrinterImage)
{
    struct Case {
        std::uint8_t flags;
        int image;
    };
    const Case cases[] = {
        {0x88, 1}, {0x8C, 1}, {0xFF, 1}, {0x98, 1}, {0xA0, 2}, {0x80, 2},
        {0x84, 2}, {0x08, 2}, {0x7F, 2}, {0x00, 2}, {0xF7, 2},
    };
    for (const Case &c : cases)
        EXPECT_EQ(GetPrinterImage(c.flags), c.image) << "flags 0x" << std::hex << int(c.flags);
}

TEST(PrinterTree, OddRecordsShowSafely)
{
    Harness h;
    StatusReply reply = MakeReply({});
    // A name filling its field, the user name right behind it.
    std::memset(reply.records[0].printerName, 'N', sizeof reply.records[0].printerName);
    std::memcpy(reply.records[0].currentUser, "tail", 4);
    // 8-bit bytes, negative counts, a percent far above 100.
    reply.records[1] = MakeRecord("Dru\xE7k\xFF", 0xFF);
    reply.records[1].jobCount = -7;
    reply.records[1].printedPercent = 5000;
    reply.records[1].docSize = -1;
    h.Apply(reply);
    const auto children = h.tree.Children(h.root);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0]->text, std::string(64, 'N'));
    EXPECT_EQ(children[1]->text, "Dru\xE7k\xFF");
    EXPECT_EQ(h.count, 2);
}

TEST(PrinterTree, InitialState)
{
    Harness h;
    EXPECT_EQ(h.Shape(), "");
    EXPECT_EQ(g_nPrinterItems, 0);
    EXPECT_EQ(SelectedPrinterRecord(h.tree, h.records), nullptr);
    h.tree.Select(h.root);
    EXPECT_EQ(SelectedPrinterRecord(h.tree, h.records), nullptr);
}

// Selection: the record re-shown after each reply, and the selection rule on its own.
struct SelectionCase {
    const char *what;
    std::vector<Slot> first;
    int selectSlot;  // -1: the root, -2: nothing
    std::vector<Slot> second;
    int shownSlot;     // slot whose record the reply re-shows; -1: none
    int selectedSlot;  // slot the selection rule shows afterwards; -1: clear
};

TEST(PrinterTree, SelectionFollowsItsPrinter)
{
    const SelectionCase cases[] = {
        {"same printers again", {{"A"}, {"B"}, {"C"}}, 1, {{"A"}, {"B2", 0xA0}, {"C"}}, 1, 1},
        {"printer behind a new gap", {{"A"}, {"B"}, {"C"}}, 2, {{"A"}, {""}, {"C2"}}, 2, 2},
        {"root selected", {{"A"}, {"B"}}, -1, {{"A"}, {"B"}}, -1, -1},
        {"nothing selected", {{"A"}, {"B"}}, -2, {{"A"}, {"B"}}, -1, -1},
        {"selected middle vanishes: next sibling", {{"A"}, {"B"}, {"C"}}, 1, {{"A"}, {""}, {"C"}}, 2, 2},
        {"selected last vanishes: previous sibling", {{"A"}, {"B"}, {"C"}}, 2, {{"A"}, {"B"}}, 1, 1},
        {"only printer vanishes: the root", {{"A"}}, 0, {}, -1, -1},
        {"all vanish from the middle: the root", {{"A"}, {"B"}, {"C"}}, 1, {}, -1, -1},
        {"printer behind slot 0 gap", {{"A"}, {"B"}}, 1, {{""}, {"B"}}, 1, 1},
        {"eight full", {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}, {"7"}, {"8"}}, 7,
         {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}, {"7"}, {"8b"}}, 7, 7},
    };
    for (const SelectionCase &c : cases) {
        SCOPED_TRACE(c.what);
        Harness h;
        h.Apply(MakeReply(c.first));
        if (c.selectSlot >= 0)
            h.tree.Select(h.items[c.selectSlot]);
        else if (c.selectSlot == -1)
            h.tree.Select(h.root);

        // A selection change reported mid-walk must already see this reply's records.
        const StatusReply second = MakeReply(c.second);
        int callbacks = 0;
        h.tree.onSelectionChanged = [&](TreeControl::Item now, TreeControl::Item) {
            ++callbacks;
            const PrinterRecord *rec = SelectedPrinterRecord(h.tree, h.records);
            const std::uint32_t d = now ? h.tree.GetItemData(now) : 0;
            if (d == 0) {
                EXPECT_EQ(rec, nullptr);
            } else {
                ASSERT_NE(rec, nullptr);
                EXPECT_EQ(std::memcmp(rec, &second.records[d - 1], sizeof *rec), 0);
            }
        };
        const PrinterRecord *shown = h.Apply(second);
        h.tree.onSelectionChanged = nullptr;

        if (c.shownSlot < 0) {
            EXPECT_EQ(shown, nullptr);
        } else {
            EXPECT_EQ(shown, &h.records.records[c.shownSlot]);
            EXPECT_EQ(FieldText(shown->printerName), c.second[c.shownSlot].name);
        }
        const PrinterRecord *selected = SelectedPrinterRecord(h.tree, h.records);
        if (c.selectedSlot < 0) {
            EXPECT_EQ(selected, nullptr);
        } else {
            EXPECT_EQ(selected, &h.records.records[c.selectedSlot]);
        }
        if (c.selectSlot >= 0 && !IsSlotUsed(second.records[c.selectSlot])) {
            EXPECT_GE(callbacks, 1) << "the fake reports the moved selection";
        }
        h.CheckInvariants(second);
    }
}

TEST(PrinterTree, SelectionOfAnItemWithoutASlotIsNotReShown)
{
    // An item the walk does not own (its slot has no item) is never re-shown.
    Harness h;
    h.Apply(MakeReply({{"A"}, {"B"}}));
    TreeControl::Item stray = h.tree.InsertItem("stray", h.root, h.items[1]);
    h.tree.SetItemData(stray, 5);
    h.tree.Select(stray);
    EXPECT_EQ(h.Apply(MakeReply({{"A"}, {"B"}})), nullptr);
    EXPECT_EQ(SelectedPrinterRecord(h.tree, h.records), &h.records.records[4]);
}

TEST(PrinterTree, SelectingAPrinterShowsItsLatestRecord)
{
    Harness h;
    h.Apply(MakeReply({{"A"}, {"B"}, {"C"}}));
    StatusReply next = MakeReply({{"A"}, {"B"}, {"C"}});
    next.records[2].jobCount = 4;
    h.Apply(next);
    h.tree.Select(h.items[2]);
    const PrinterRecord *rec = SelectedPrinterRecord(h.tree, h.records);
    ASSERT_EQ(rec, &h.records.records[2]);
    EXPECT_EQ(rec->jobCount, 4);
}

}  // namespace
