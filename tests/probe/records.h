// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Exchanges for the tests: a status reply from 10.213.0.1 that took 2 ms.
#pragma once
#include "probe/exchange.h"
#include "status_replies.h"

#include <arpa/inet.h>

inline kprobe::Exchange Reply(const std::vector<TestPrinter> &printers, long bytes = 960)
{
    kprobe::Exchange e;
    e.target.address = htonl(0x0AD50001);
    e.outcome = kprobe::Outcome::Reply;
    e.replyBytes = bytes;
    e.seconds = 0.002;
    e.reply = BuildReply(printers);
    return e;
}

// Slots 1, 3, 4 and 8: busy with a job of known size; paper out on LPT with a Latin-1 name and user and a job of
// unknown size; off line with a name that fills all 64 bytes; a fault with nothing queued.
inline kprobe::Exchange Scenario()
{
    // clang-format off
    return Reply({{"Laser \"1020\"", 0x8C, 2, 37, "alice", {192, 168, 1, 20}, 1536}, {},
                  {"Drucker K\xFC" "che", 0xA0, 1, 0, "J\xF6rg", {}, 0, 1, 1},
                  {std::string(64, 'W'), 0x7F, 3, 50, "", {}, 5000000}, {}, {}, {}, {"Matrix", 0x84}});
    // clang-format on
}
