// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "printsim/client.h"

#include "printsim/net.h"

#include "platform/socket.h"
#include "text/endpoint.h"

#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace printsim {

namespace {

bool SendOne(const Options &o, std::uint8_t byte, Fd &sock)
{
    std::string error;
    sock = OpenUdp("0.0.0.0", 0, o.broadcast, error);
    if (!sock.IsValid()) {
        std::fprintf(stderr, "kestrum-printsim: %s\n", error.c_str());
        return false;
    }
    // The target was read when the command line was.
    const sockaddr_in to = platform::MakeAddress(ktext::ParseIpv4(o.target).value_or(INADDR_NONE), o.targetPort);
    if (::sendto(sock.Get(), &byte, 1, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 1) {
        std::fprintf(stderr, "kestrum-printsim: send to %s: %s\n", AddressText(to).c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

std::string Hex(const unsigned char *data, long n, long shown)
{
    std::string out;
    char b[4];
    for (long i = 0; i < n && i < shown; ++i) {
        std::snprintf(b, sizeof b, "%02x", data[i]);
        out += b;
    }
    return out;
}

}  // namespace

int RunProbe(const Options &o)
{
    Fd sock;
    if (!SendOne(o, DiscoveryProbe, sock))
        return 1;
    const long long deadline = NowMs() + o.waitMs;
    int answers = 0;
    // Bounded by the wait and by a count, so a flood cannot keep us here.
    for (int i = 0; i < 1000; ++i) {
        const long long left = deadline - NowMs();
        if (left <= 0 || WaitFor(sock.Get(), -1, static_cast<int>(left)) != Wake::Readable)
            break;
        unsigned char buffer[2048];
        sockaddr_in from;
        const long n = platform::ReceiveWhole(sock.Get(), buffer, sizeof buffer, &from, false);
        if (n < 0)
            continue;
        ++answers;
        std::printf("answer %s %ld %s\n", AddressText(from).c_str(), n, Hex(buffer, n, 8).c_str());
    }
    std::printf("answers %d\n", answers);
    return answers > 0 ? 0 : 2;
}

int RunRequest(const Options &o)
{
    Fd sock;
    if (!SendOne(o, StatusRequest, sock))
        return 1;
    if (WaitFor(sock.Get(), -1, o.waitMs) != Wake::Readable) {
        std::printf("no reply\n");
        return 2;
    }
    unsigned char buffer[2048];
    sockaddr_in from;
    const long n = platform::ReceiveWhole(sock.Get(), buffer, sizeof buffer, &from, false);
    if (n < 0) {
        std::printf("no reply\n");
        return 2;
    }
    std::printf("reply %ld\n", n);
    StatusReply reply;
    std::memset(&reply, 0, sizeof reply);
    std::memcpy(&reply, buffer,
                static_cast<std::size_t>(n) < sizeof reply ? static_cast<std::size_t>(n) : sizeof reply);
    for (std::size_t i = 0; i < PrinterSlots; ++i) {
        const PrinterRecord &r = reply.records[i];
        if (!IsSlotUsed(r))
            continue;
        const std::string name(r.printerName, strnlen(r.printerName, sizeof r.printerName));
        const std::string user(r.currentUser, strnlen(r.currentUser, sizeof r.currentUser));
        std::uint32_t address = 0;  // the bytes in the written order are network order
        std::memcpy(&address, r.userAddress, sizeof address);
        std::printf("slot %zu \"%s\" flags=0x%02x jobs=%d printed=%d%% size=%d%s user=\"%s\" %s %s\n", i + 1,
                    name.c_str(), r.statusFlags, r.jobCount, r.printedPercent, r.docSize,
                    r.docSizeUnknown == 1 ? "(unknown)" : "", user.c_str(), ktext::Ipv4Text(address).c_str(),
                    r.portType ? "lpt" : "bidi");
    }
    return 0;
}

}  // namespace printsim
