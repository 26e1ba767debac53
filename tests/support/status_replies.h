// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Status replies for the tests, built from a short table of printers: row i fills slot i+1, a row without a name leaves
// its slot empty, the rest is zero.
#pragma once
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "link/protocol.h"

struct TestPrinter {
    std::string name{};
    std::uint8_t flags = StatusOnLine | StatusNoFault;
    std::int32_t jobs = 0;
    std::int32_t percent = 0;
    std::string user{};
    std::array<std::uint8_t, 4> address{};  // dotted order
    std::int32_t size = 0;
    std::uint8_t portType = 0;      // non-zero: LPT
    std::uint32_t sizeUnknown = 0;  // exactly 1: size not known
};

// Names and users are copied without a terminator when they fill their field.
inline PrinterRecord BuildRecord(const TestPrinter &p)
{
    PrinterRecord r{};
    std::memcpy(r.printerName, p.name.data(), std::min(p.name.size(), sizeof r.printerName));
    std::memcpy(r.currentUser, p.user.data(), std::min(p.user.size(), sizeof r.currentUser));
    std::copy(p.address.begin(), p.address.end(), r.userAddress);
    r.portType = p.portType;
    r.statusFlags = p.flags;
    r.docSize = p.size;
    r.printedPercent = p.percent;
    r.jobCount = p.jobs;
    r.docSizeUnknown = p.sizeUnknown;
    return r;
}

inline StatusReply BuildReply(const std::vector<TestPrinter> &printers)
{
    StatusReply reply{};
    for (std::size_t i = 0; i < printers.size() && i < PrinterSlots; ++i)
        if (!printers[i].name.empty())
            reply.records[i] = BuildRecord(printers[i]);
    return reply;
}

using WireReply = std::array<unsigned char, StatusReplySize>;

// The 960 bytes a print server sends for this table.
inline WireReply BuildWireReply(const std::vector<TestPrinter> &printers)
{
    const StatusReply reply = BuildReply(printers);
    WireReply wire{};
    std::memcpy(wire.data(), &reply, wire.size());
    return wire;
}
