// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The printer view's logic: decoding, the tree kept in step, the selection rule, the texts.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <tuple>
#include <vector>

#include "link/protocol.h"
#include "fake_tree.h"
#include "status_replies.h"
#include "view/printer_details.h"
#include "view/printer_tree.h"

namespace {

TEST(ReplyDecoding, KeepsWhatCameAndFieldsSitAtTheirOffsets)
{
    // Only the bytes received are kept; the rest reads as zero, so uncovered slots are empty.
    std::vector<unsigned char> wire(2000, 'x');
    for (std::size_t length : {0, 1, 130, 960, 2000}) {
        const StatusReply reply = DecodeStatusReply(wire.data(), length);
        const auto *bytes = reinterpret_cast<const unsigned char *>(&reply);
        for (std::size_t b = 0; b < StatusReplySize; ++b)
            ASSERT_EQ(bytes[b], b < length ? 'x' : 0) << "byte " << b << " of " << length;
        for (std::size_t i = 0; i < PrinterSlots; ++i)
            EXPECT_EQ(IsSlotUsed(reply.records[i]), i * PrinterRecordSize < length) << i << " of " << length;
    }
    // Signed little-endian integers across their boundaries, in the fourth record.
    for (std::uint32_t v : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x102u}) {
        std::fill(wire.begin(), wire.end(), 0);
        unsigned char *rec = wire.data() + 3 * PrinterRecordSize;
        std::memset(rec, 'N', 64);  // a name without a zero byte, the user right behind it
        std::memset(rec + 64, 0xE9, 32);
        const unsigned char tail[] = {10, 0, 7, 255, 1, 0x8C};
        std::memcpy(rec + 96, tail, sizeof tail);
        for (int f = 0; f < 16; ++f)
            rec[104 + f] = static_cast<unsigned char>((v + std::uint32_t(f / 4)) >> (8 * (f % 4)));
        const PrinterRecord r = DecodeStatusReply(wire.data(), StatusReplySize).records[3];
        EXPECT_EQ(FieldText(r.printerName), std::string(64, 'N'));
        EXPECT_EQ(FieldText(r.currentUser), std::string(32, '\xE9'));
        EXPECT_EQ(std::vector<unsigned>(r.userAddress, r.userAddress + 4), (std::vector<unsigned>{10, 0, 7, 255}));
        EXPECT_EQ(r.portType * 1000 + r.statusFlags, 1000 + 0x8C);
        EXPECT_EQ(r.docSize, std::int32_t(v)) << v;
        EXPECT_EQ(r.printedPercent, std::int32_t(v + 1u));
        EXPECT_EQ(r.jobCount, std::int32_t(v + 2u));
        EXPECT_EQ(r.docSizeUnknown, v + 3u);
    }
}

TEST(PrinterDetails, StatusRowAndDetailsText)
{
    const struct {
        std::uint8_t flags;
        std::int32_t jobs, percent;
        std::uint32_t sizeUnknown;
        const char *row;  // status|jobs|percent, "-" for a percent cell without text
    } rows[] = {
        {0x88, 0, 50, 0, "ON-LINE|0|-"},  // no job: no percent
        {0x8C, 2, 37, 0, "BUSY|2|37%"},
        {0x88, 1, 1, 0, "ON-LINE|1|1%"},
        {0x88, 1, 250, 0, "ON-LINE|1|100%"},
        {0x88, 1, -3, 0, "ON-LINE|1|-"},
        {0x84, 1, 40, 0, "ERROR|1|40%"},
        {0xA0, 3, 0, 0, "PAPER OUT|3|Size Counting..."},
        {0x7F, 3, 50, 0, "OFFLINE|3|-"},                // off line before any other bit
        {0x0C, 0, 0, 1, "OFFLINE|0|UNKNOWN"},           // unknown wins over off line and no job
        {0x88, 2, 0, 2, "ON-LINE|2|Size Counting..."},  // only exactly 1 means unknown
        {0xFF, -1, 20, 0, "BUSY|/|-"},
    };
    for (const auto &c : rows) {
        const StatusRow row =
            MakeStatusRow(BuildRecord({"P", c.flags, c.jobs, c.percent, "", {}, 0, 0, c.sizeUnknown}));
        EXPECT_EQ(row.status + "|" + row.jobs + "|" + row.percent.value_or("-"), c.row) << c.row;
    }
    // The count is one character, '0' plus its low byte; no character when that is 0.
    const std::pair<std::int32_t, std::string> jobs[] = {
        {10, ":"}, {256, "0"}, {-48, ""}, {208, ""}, {207, "\xFF"}, {INT32_MAX, "/"}, {INT32_MIN, "0"},
    };
    for (const auto &c : jobs)
        EXPECT_EQ(FormatJobCount(c.first), c.second) << c.first;

    // clang-format off
    const std::tuple<std::int32_t, std::uint32_t, const char *> sizes[] = {
        {1023, 0, "1023 Bytes\r\n"}, {1024, 0, "1.00K Bytes\r\n"}, {123456, 0, "120.56K Bytes\r\n"},
        {1048575, 0, "1024.00K Bytes\r\n"}, {1048576, 0, "1.00M Bytes\r\n"}, {INT32_MAX, 0, "2048.00M Bytes\r\n"},
        {0, 0, ""}, {INT32_MIN, 0, ""}, {-1, 1, "UNKNOWN\r\n"}, {1536, 2, "1.50K Bytes\r\n"},
    };
    // clang-format on
    const std::string idle = "Port Type: \t\tBi-direction\r\nCurrent User: \t\t\r\nIP Address: \t\t\r\n";
    for (const auto &[size, unknown, part] : sizes) {
        EXPECT_EQ(FormatDetailsText(BuildRecord({"P", 0x88, 0, 0, "", {}, size, 0, unknown})),
                  idle + "Current Doc Size: \t\t" + part)
            << size << " unknown " << unknown;
    }

    // The address shows only while a job is queued; the user always. Bytes stay as sent.
    PrinterRecord r = BuildRecord({"P", 0x88, 0, 0, "J\xF6rg", {10, 0, 0, 255}, 0, 7});
    for (std::int32_t jobs : {1, 0, -1}) {
        r.jobCount = jobs;
        EXPECT_EQ(FormatDetailsText(r),
                  std::string("Port Type: \t\tLPT\r\nCurrent User: \t\tJ\xF6rg\r\nIP Address: \t\t") +
                      (jobs > 0 ? "10.0.0.255" : "") + "\r\nCurrent Doc Size: \t\t")
            << jobs;
    }
}

// A reply from one name per slot: "." is an empty slot, a trailing "!" a paper-out printer.
StatusReply MakeReply(const std::string &names)
{
    StatusReply reply{};
    std::istringstream in(names);
    std::string w;
    for (std::size_t i = 0; in >> w; ++i)
        if (w != ".")
            reply.records[i] = w.back() == '!' ? BuildRecord({w.substr(0, w.size() - 1), 0xA0}) : BuildRecord({w});
    return reply;
}

TEST(PrinterTree, SequencesOfReplies)
{
    struct Step {
        std::string reply, shape;
        int inserts, deletes;  // of this reply
    };
    // A name that fills its field, one that ends at its last byte and 8-bit bytes are shown as they are; behind a gap
    // items are still refreshed.
    const std::string n64(64, 'N'), n63(63, 'M'), eight = n64 + " Dru\xE7k " + n63 + " 4 5 6 7 8";
    const std::string eightShape = "1:" + n64 + "/1 2:Dru\xE7k/1 3:" + n63 + "/1 4:4/1 5:5/1 6:6/1 7:7/1 8:8/1";
    const std::vector<std::vector<Step>> sequences = {
        {{"A B C", "1:A/1 2:B/1 3:C/1", 3, 0},
         {"A B C", "1:A/1 2:B/1 3:C/1", 0, 0},
         {"A . C D", "1:A/1 3:C/1 4:D/1", 1, 1},
         {"A . C2! D!", "1:A/1 3:C2/2 4:D/2", 0, 0},
         {"A B C2 D", "1:A/1 2:B/1 3:C2/1 4:D/1", 1, 0},
         {"", "", 0, 4}},
        {{". . . . . . . H", "8:H/1", 1, 0}, {"A . C! . . F", "1:A/1 3:C/2 6:F/1", 3, 1}, {eight, eightShape, 5, 0}},
    };
    for (std::size_t s = 0; s < sequences.size(); ++s) {
        PrinterTreeWalk h;
        for (const Step &step : sequences[s]) {
            SCOPED_TRACE(testing::Message() << "sequence " << s << " reply '" << step.reply << "'");
            const int inserts = h.tree.inserts, deletes = h.tree.deletes;
            EXPECT_EQ(h.Apply(MakeReply(step.reply)), step.shape);
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
        {"A B C", 1, "A B2! C", 1},
        {"A B C", 2, "A . C2", 2},
        {"A", -1, "A", -1},
        {"A", -2, "A", -1},
        {"A B C", 1, "A . C", 2},                       // moved to the next sibling
        {"A B C", 1, "", -1},                           // and at last to the root
        {"A B C D E F G H", 7, "A B C D E F G H2", 7},  // the eighth slot
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.first + " -> " + c.second);
        PrinterTreeWalk h;
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
            const PrinterRecord *rec = SelectedPrinterRecord(h.tree, *h.records);
            const std::uint32_t d = h.tree.GetItemData(now);
            ASSERT_EQ(rec != nullptr, d != 0);
            if (rec) {
                EXPECT_EQ(std::memcmp(rec, &second.records[d - 1], sizeof *rec), 0);
            }
        };
        const PrinterRecord *shown = nullptr;
        h.Apply(second, &shown);
        EXPECT_EQ(shown, c.shown < 0 ? nullptr : &h.records->records[c.shown]);
        EXPECT_EQ(SelectedPrinterRecord(h.tree, *h.records), shown);
        EXPECT_EQ(callbacks > 0, c.select >= 0 && !IsSlotUsed(second.records[c.select]));
    }
    // An item the walk does not own (its slot has no item) is never re-shown.
    PrinterTreeWalk h;
    h.Apply(MakeReply("A B"));
    TreeControl::Item stray = h.tree.InsertItem("stray", h.root, h.items[1]);
    h.tree.SetItemData(stray, 5);
    h.tree.Select(stray);
    EXPECT_EQ(SyncPrinterTree(h.tree, h.root, h.items, *h.records, h.count, MakeReply("A B")), nullptr);
}

}  // namespace
