// A sequence of status replies of 0 to 2000 bytes through everything that needs
// no window: the worker's receive over a real loopback socket (over 960 bytes is
// a failed receive), the tree walk against the test tree, the selection rule,
// and every status and details text, each checked against the rules written
// out afresh here. Bytes a text must not depend on are poisoned while it is made.
#include <fuzzer/FuzzedDataProvider.h>

#include "tests/fuzz/fuzz_check.h"
#define FAKE_TREE_FAILURE(text) FuzzFailure("fake tree", __FILE__, __LINE__, (text))
#include "tests/view/fake_tree.h"

#include "link/status_worker.h"
#include "view/printer_details.h"
#include "view/printer_tree.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr std::size_t kLongestDatagram = 2000;
constexpr int kMostSteps = 12;

// The worker's socket and a peer that sends it each datagram over loopback.
struct Wire {
    platform::UdpSocket worker;
    int peer = -1;
    sockaddr_in workerAddress{};

    Wire()
    {
        peer = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in self = platform::MakeAddress(htonl(INADDR_LOOPBACK), 0);
        socklen_t length = sizeof self;
        FUZZ_CHECK(peer >= 0 && ::bind(peer, reinterpret_cast<sockaddr *>(&self), length) == 0);
        FUZZ_CHECK(::getsockname(peer, reinterpret_cast<sockaddr *>(&self), &length) == 0);
        // The worker's socket is never bound: its first send gives it a port, which
        // the peer learns from what it receives, as a print server does.
        const std::uint8_t request = StatusRequest;
        FUZZ_CHECK(worker.SendTo(&request, 1, self) == 1);
        length = sizeof workerAddress;
        std::uint8_t got = 0;
        FUZZ_CHECK(::recvfrom(peer, &got, 1, 0, reinterpret_cast<sockaddr *>(&workerAddress), &length) == 1);
    }

    std::shared_ptr<StatusReply> Carry(const std::vector<std::uint8_t> &datagram)
    {
        const ssize_t sent = ::sendto(peer, datagram.data(), datagram.size(), 0,
                                      reinterpret_cast<const sockaddr *>(&workerAddress), sizeof workerAddress);
        FUZZ_CHECK(sent == static_cast<ssize_t>(datagram.size()));
        FUZZ_CHECK(worker.WaitReadable(1, 0) == 1);
        return ReceiveStatusReply(worker);
    }
};

std::string FieldReference(const char *field, std::size_t width)
{
    std::size_t n = 0;
    while (n < width && field[n] != 0)
        ++n;
    return std::string(field, n);
}

std::string StatusReference(std::uint8_t f)
{
    if (!(f & 0x80))
        return "OFFLINE";
    if (f & 0x08)
        return (f & 0x04) ? "BUSY" : "ON-LINE";
    return (f & 0x20) ? "PAPER OUT" : "ERROR";
}

std::optional<std::string> PercentReference(const PrinterRecord &r)
{
    if (r.docSizeUnknown == 1)
        return std::string("UNKNOWN");
    if (r.jobCount <= 0 || !(r.statusFlags & 0x80))
        return std::nullopt;
    if (r.printedPercent >= 100)
        return std::string("100%");
    if (r.printedPercent >= 1)
        return std::to_string(r.printedPercent) + "%";
    if (r.printedPercent == 0)
        return std::string("Size Counting...");
    return std::nullopt;
}

std::string DetailsReference(const PrinterRecord &r)
{
    std::string t = r.portType ? "Port Type: \t\tLPT\r\n" : "Port Type: \t\tBi-direction\r\n";
    t += "Current User: \t\t" + FieldReference(r.currentUser, 32) + "\r\n";
    t += "IP Address: \t\t";
    if (r.jobCount > 0)
        for (int i = 0; i < 4; ++i)
            t += (i ? "." : "") + std::to_string(unsigned(r.userAddress[i]));
    t += "\r\nCurrent Doc Size: \t\t";
    char size[64] = "";
    if (r.docSizeUnknown == 1)
        std::snprintf(size, sizeof size, "UNKNOWN\r\n");
    else if (r.docSize >= 1048576)
        std::snprintf(size, sizeof size, "%.2fM Bytes\r\n", r.docSize / 1048576.0);
    else if (r.docSize >= 1024)
        std::snprintf(size, sizeof size, "%.2fK Bytes\r\n", r.docSize / 1024.0);
    else if (r.docSize >= 1)
        std::snprintf(size, sizeof size, "%d Bytes\r\n", r.docSize);
    return t + size;
}

// One record on a heap block of its own, with the given byte ranges poisoned.
struct Guarded {
    explicit Guarded(const PrinterRecord &r) : rec(new PrinterRecord(r)) {}
    ~Guarded()
    {
        ASAN_UNPOISON_MEMORY_REGION(rec.get(), sizeof *rec);
    }
    Guarded &Poison(std::size_t from, std::size_t to)
    {
        ASAN_POISON_MEMORY_REGION(reinterpret_cast<char *>(rec.get()) + from, to - from);
        return *this;
    }
    std::unique_ptr<PrinterRecord> rec;
};

void CheckTexts(const PrinterRecord &r)
{
    {
        // The row reads the status byte, the counts and the size flag: never the texts.
        Guarded g(r);
        g.Poison(0, 96);
        const StatusRow row = MakeStatusRow(*g.rec);
        FUZZ_CHECK(row.status == StatusReference(r.statusFlags));
        const auto code = static_cast<std::uint8_t>(0x30u + (static_cast<std::uint32_t>(r.jobCount) & 0xFFu));
        FUZZ_CHECK(row.jobs == (code ? std::string(1, static_cast<char>(code)) : std::string()));
        FUZZ_CHECK(row.percent == PercentReference(r));
    }
    {
        // The details read neither the name, the status byte nor the per cent.
        Guarded g(r);
        g.Poison(0, 64).Poison(101, 104).Poison(108, 112);
        const std::string details = FormatDetailsText(*g.rec);
        FUZZ_CHECK_MSG(details == DetailsReference(r), details);
    }
}

struct TreeWalk {
    FakeTree tree;
    TreeControl::Item root = InsertRootItem(tree);
    TreeControl::Item items[PrinterSlots] = {};
    std::unique_ptr<StatusReply> records = std::make_unique<StatusReply>();  // its own block: overreads show
    int count = 0;

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
        auto *r = static_cast<FakeTree::Node *>(const_cast<void *>(root));
        FUZZ_CHECK(tree.Siblings(nullptr).size() == 1 && tree.Siblings(nullptr)[0] == r);
        FUZZ_CHECK(r->text == "Remote Printers:" && r->image == 0 && r->data == 0);
        // Exactly one item per used slot, in slot order, each showing its own name.
        std::size_t child = 0;
        int firstEmpty = static_cast<int>(PrinterSlots);
        for (std::size_t i = 0; i < PrinterSlots; ++i) {
            const PrinterRecord &rec = reply.records[i];
            const bool used = rec.printerName[0] != 0;
            if (!used && firstEmpty == static_cast<int>(PrinterSlots))
                firstEmpty = static_cast<int>(i);
            FUZZ_CHECK((items[i] != nullptr) == used);
            if (!used)
                continue;
            FUZZ_CHECK(child < r->children.size() && r->children[child] == items[i]);
            const FakeTree::Node *n = r->children[child++];
            FUZZ_CHECK(n->text == FieldReference(rec.printerName, 64));
            FUZZ_CHECK(n->data == i + 1);
            FUZZ_CHECK(n->image == (((rec.statusFlags & 0x88) == 0x88) ? 1 : 2));
            CheckTexts(rec);
        }
        FUZZ_CHECK(child == r->children.size());
        FUZZ_CHECK(count == firstEmpty);

        // The selected printer is re-shown while its slot has an item; otherwise nothing.
        const PrinterRecord *wanted = nullptr;
        if (TreeControl::Item s = tree.GetSelectedItem()) {
            const std::uint32_t d = tree.GetItemData(s);
            if (d >= 1 && d <= PrinterSlots && items[d - 1])
                wanted = &records->records[d - 1];
        }
        FUZZ_CHECK(shown == wanted);
    }

    void Select(int which)  // 0..7 a slot's item (when it has one), 8 the root, 9 nothing
    {
        if (which == 8)
            tree.Select(root);
        else if (which == 9)
            tree.Select(nullptr);
        else if (which < 8 && items[which])
            tree.Select(items[which]);
        const PrinterRecord *r = SelectedPrinterRecord(tree, *records);
        const std::uint32_t d = tree.GetSelectedItem() ? tree.GetItemData(tree.GetSelectedItem()) : 0;
        FUZZ_CHECK(r == (d >= 1 && d <= 8 ? &records->records[d - 1] : nullptr));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Wire wire;
    FuzzedDataProvider in(data, size);
    TreeWalk walk;
    for (int step = 0; step < kMostSteps && in.remaining_bytes() > 0; ++step) {
        walk.Select(in.ConsumeIntegralInRange<int>(0, 10));
        const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(0, kLongestDatagram);
        std::vector<std::uint8_t> datagram = in.ConsumeBytes<std::uint8_t>(length);
        const std::shared_ptr<StatusReply> reply = wire.Carry(datagram);
        // Over 960 bytes the receive fails; otherwise the bytes as sent, zero beyond.
        FUZZ_CHECK((reply == nullptr) == (datagram.size() > StatusReplySize));
        if (!reply)
            continue;
        std::vector<std::uint8_t> wanted = datagram;
        wanted.resize(StatusReplySize, 0);
        FUZZ_CHECK(std::memcmp(reply.get(), wanted.data(), StatusReplySize) == 0);
        const StatusReply decoded = DecodeStatusReply(datagram.data(), datagram.size());
        FUZZ_CHECK(std::memcmp(&decoded, reply.get(), StatusReplySize) == 0);
        walk.Apply(*reply);
    }
    return 0;
}
