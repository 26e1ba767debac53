// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A sequence of status replies of 0 to 2000 bytes through everything that needs no window: the worker's receive over a
// real loopback socket (over 960 bytes is a failed receive), the decoding, the tree walk against the fake tree, the
// selection rule and every status and details text, made with the bytes they must not read poisoned.
#include <fuzzer/FuzzedDataProvider.h>

#include "tests/fuzz/fuzz_check.h"
#define FAKE_TREE_FAILURE(text) FuzzFailure("fake tree", __FILE__, __LINE__, (text))
#include "fake_tree.h"
#include "link/status_worker.h"
#include "view/printer_details.h"
#include "view/printer_tree.h"

#include <arpa/inet.h>
#include <cstring>
#include <set>

namespace {

// The worker's socket and a peer that sends it each datagram over loopback. The worker's socket is never bound: its
// first send gives it a port, which the peer learns from what it receives, as a print server does.
struct Wire {
    platform::UdpSocket worker, peer;
    sockaddr_in to = platform::MakeAddress(htonl(INADDR_LOOPBACK), 0);

    Wire()
    {
        socklen_t length = sizeof to;
        FUZZ_CHECK(::bind(peer.Descriptor(), reinterpret_cast<sockaddr *>(&to), length) == 0 &&
                   ::getsockname(peer.Descriptor(), reinterpret_cast<sockaddr *>(&to), &length) == 0);
        std::uint8_t request = StatusRequest;
        FUZZ_CHECK(worker.SendTo(&request, 1, to) == 1 && peer.ReceiveFrom(&request, 1, &to) == 1);
    }
    std::shared_ptr<StatusReply> Carry(const std::vector<std::uint8_t> &d)
    {
        FUZZ_CHECK(peer.SendTo(d.data(), d.size(), to) == int(d.size()) && worker.WaitReadable(1, 0) == 1);
        return ReceiveStatusReply(worker);
    }
};

std::string FieldReference(const char *field, std::size_t width) { return std::string(field, ::strnlen(field, width)); }

// A text made from a copy of the record on a heap block of its own, with the byte ranges it must not read poisoned.
template <typename Make>
auto Guarded(const PrinterRecord &r, std::initializer_list<std::pair<std::size_t, std::size_t>> unread, Make make)
{
    auto copy = std::make_unique<PrinterRecord>(r);
    for (auto [from, to] : unread)
        ASAN_POISON_MEMORY_REGION(reinterpret_cast<char *>(copy.get()) + from, to - from);
    auto text = make(*copy);
    ASAN_UNPOISON_MEMORY_REGION(copy.get(), sizeof *copy);
    return text;
}

void CheckTexts(const PrinterRecord &r)
{
    // The row reads the status byte, the counts and the size flag: never the texts.
    static const std::set<std::string> kStatuses = {"OFFLINE", "BUSY", "ON-LINE", "PAPER OUT", "ERROR"};
    const StatusRow row = Guarded(r, {{0, 96}}, MakeStatusRow);
    FUZZ_CHECK(kStatuses.count(row.status) == 1 && row.jobs.size() <= 1);
    // The details read neither the name, the status byte nor the per cent, and the user's name stops at the end of its
    // field.
    const std::string details = Guarded(r, {{0, 64}, {101, 104}, {108, 112}}, FormatDetailsText);
    const std::string user = "\r\nCurrent User: \t\t" + FieldReference(r.currentUser, 32) + "\r\nIP Address:";
    FUZZ_CHECK_MSG(details.find(user) != std::string::npos, details);
}

struct TreeWalk {
    FakeTree tree;
    TreeControl::Item root = InsertRootItem(tree);
    TreeControl::Item items[PrinterSlots] = {};
    std::unique_ptr<StatusReply> records = std::make_unique<StatusReply>();  // its own block: overreads show
    int count = 0;

    const PrinterRecord *Selected()  // the record of the selected item's slot, by the item's data
    {
        const std::uint32_t d = tree.GetSelectedItem() ? tree.GetItemData(tree.GetSelectedItem()) : 0;
        return d >= 1 && d <= PrinterSlots && items[d - 1] ? &records->records[d - 1] : nullptr;
    }

    void Apply(const StatusReply &reply)
    {
        tree.onSelectionChanged = [&](TreeControl::Item, TreeControl::Item) {
            // Reported mid-walk: the records must already be this reply's.
            FUZZ_CHECK(std::memcmp(records.get(), &reply, sizeof reply) == 0);
            if (const PrinterRecord *r = SelectedPrinterRecord(tree, *records))
                CheckTexts(*r);
        };
        const PrinterRecord *shown = SyncPrinterTree(tree, root, items, *records, count, reply);
        tree.onSelectionChanged = nullptr;
        FUZZ_CHECK(std::memcmp(records.get(), &reply, sizeof reply) == 0);
        auto *r = static_cast<FakeTree::Node *>(const_cast<void *>(root));  // the one root, as it was made
        FUZZ_CHECK(tree.Siblings(nullptr) == std::vector<FakeTree::Node *>{r} && r->text == "Remote Printers:");
        // One item per used slot, in slot order, showing its own name; the count is that of the slots before the first
        // empty one.
        std::size_t child = 0, firstEmpty = PrinterSlots;
        for (std::size_t i = 0; i < PrinterSlots; ++i) {
            const PrinterRecord &rec = reply.records[i];
            const bool used = rec.printerName[0] != 0;
            firstEmpty = std::min(firstEmpty, used ? PrinterSlots : i);
            FUZZ_CHECK((items[i] != nullptr) == used);
            if (used) {
                FUZZ_CHECK(child < r->children.size() && r->children[child] == items[i]);
                const FakeTree::Node *n = r->children[child++];
                FUZZ_CHECK(n->text == FieldReference(rec.printerName, 64) && n->data == i + 1);
                FUZZ_CHECK(n->image == ((rec.statusFlags & 0x88) == 0x88 ? 1 : 2));
                CheckTexts(rec);
            }
        }
        FUZZ_CHECK(child == r->children.size() && count == int(firstEmpty));
        // The selected printer is re-shown while its slot has an item; otherwise nothing.
        FUZZ_CHECK(shown == Selected());
    }

    void Select(int which)  // 0..7 a slot's item (when it has one), 8 the root, 9 nothing
    {
        if (which == 8 || which == 9 || (which < 8 && items[which]))
            tree.Select(which == 8 ? root : which == 9 ? nullptr : items[which]);
        FUZZ_CHECK(SelectedPrinterRecord(tree, *records) == Selected());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Wire wire;
    FuzzedDataProvider in(data, size);
    TreeWalk walk;
    for (int step = 0; step < 12 && in.remaining_bytes() > 0; ++step) {
        walk.Select(in.ConsumeIntegralInRange<int>(0, 10));
        const std::vector<std::uint8_t> datagram = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 2000));
        const std::shared_ptr<StatusReply> reply = wire.Carry(datagram);
        // Over 960 bytes the receive fails; otherwise the bytes as sent, zero beyond.
        FUZZ_CHECK((reply == nullptr) == (datagram.size() > StatusReplySize));
        if (!reply)
            continue;
        std::vector<std::uint8_t> wanted = datagram;
        wanted.resize(StatusReplySize, 0);
        const StatusReply decoded = DecodeStatusReply(datagram.data(), datagram.size());
        FUZZ_CHECK(std::memcmp(reply.get(), wanted.data(), StatusReplySize) == 0);
        FUZZ_CHECK(std::memcmp(&decoded, reply.get(), StatusReplySize) == 0);
        walk.Apply(*reply);
    }
    return 0;
}
