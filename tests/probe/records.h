// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Status replies built for the tests: printers in slots 1, 2, ... (a record
// without a name leaves its slot empty), everything else zero.
#pragma once
#include "probe/exchange.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <string>

inline PrinterRecord Record(const std::string &name, std::uint8_t flags = 0x88, std::int32_t jobs = 0,
                            std::int32_t percent = 0)
{
    PrinterRecord r{};
    std::memcpy(r.printerName, name.data(), std::min(name.size(), sizeof r.printerName));
    r.statusFlags = flags;
    r.jobCount = jobs;
    r.printedPercent = percent;
    return r;
}

// A reply from 10.213.0.1 that took 2 ms.
inline kprobe::Exchange Reply(const std::vector<PrinterRecord> &printers, long bytes = 960)
{
    kprobe::Exchange e;
    e.target.address = htonl(0x0AD50001);
    e.outcome = kprobe::Outcome::Reply;
    e.replyBytes = bytes;
    e.seconds = 0.002;
    std::copy(printers.begin(), printers.end(), e.reply.records);
    return e;
}

// Slots 1, 3, 4 and 8: busy with a job of known size; paper out on LPT with a
// Latin-1 name and user and a job of unknown size; off line with a name that
// fills all 64 bytes; a fault with nothing queued.
inline kprobe::Exchange Scenario()
{
    const PrinterRecord none{};
    kprobe::Exchange e = Reply({Record("Laser \"1020\"", 0x8C, 2, 37), none,
                                Record("Drucker K\xFC"
                                       "che",
                                       0xA0, 1),
                                Record(std::string(64, 'W'), 0x7F, 3, 50), none, none, none, Record("Matrix", 0x84)});
    PrinterRecord *r = e.reply.records;
    std::strcpy(r[0].currentUser, "alice");
    std::memcpy(r[0].userAddress, "\xC0\xA8\x01\x14", 4);  // 192.168.1.20
    r[0].docSize = 1536;
    std::strcpy(r[2].currentUser, "J\xF6rg");
    r[2].portType = 1;
    r[2].docSizeUnknown = 1;
    r[3].docSize = 5000000;
    return e;
}
