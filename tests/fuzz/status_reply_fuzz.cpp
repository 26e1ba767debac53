// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A sequence of status replies of 0 to 2000 bytes through everything that needs no window: the worker's receive over a
// real loopback socket (over 960 bytes is a failed receive), the decoding, the tree walk against the fake tree, the
// selection rule and every status and details text, made with the bytes they must not read poisoned.
#include <fuzzer/FuzzedDataProvider.h>

#include "tests/fuzz/fuzz.h"
#define FAKE_TREE_FAILURE(text) FuzzFailure("fake tree", __FILE__, __LINE__, (text))
#include "fake_tree.h"
#include "link/status_worker.h"
#include "view/printer_details.h"

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
    const std::string user =
        "\r\nCurrent User: \t\t" + std::string(r.currentUser, ::strnlen(r.currentUser, 32)) + "\r\nIP Address:";
    FUZZ_CHECK(details.find(user) != std::string::npos, details);
}

// The tree walk, with every used slot's texts made, and the selected printer's when the tree reports a change mid-walk
// (by then the records must be this reply's).
void Apply(PrinterTreeWalk &walk, const StatusReply &reply)
{
    walk.tree.onSelectionChanged = [&](TreeControl::Item, TreeControl::Item) {
        FUZZ_CHECK(std::memcmp(walk.records.get(), &reply, sizeof reply) == 0);
        if (const PrinterRecord *r = SelectedPrinterRecord(walk.tree, *walk.records))
            CheckTexts(*r);
    };
    walk.Apply(reply);
    walk.tree.onSelectionChanged = nullptr;
    for (const PrinterRecord &r : reply.records)
        if (IsSlotUsed(r))
            CheckTexts(r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Wire wire;
    FuzzedDataProvider in(data, size);
    PrinterTreeWalk walk;
    for (int step = 0; step < 12 && in.remaining_bytes() > 0; ++step) {
        const int which = in.ConsumeIntegralInRange<int>(0, 10);  // a slot's item (when it has one), the root, nothing
        if (which == 8 || which == 9 || (which < 8 && walk.items[which]))
            walk.tree.Select(which == 8 ? walk.root : which == 9 ? nullptr : walk.items[which]);
        FUZZ_CHECK(SelectedPrinterRecord(walk.tree, *walk.records) == walk.Selected());
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
        Apply(walk, *reply);
    }
    return 0;
}
