// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Status exchanges with many print servers at once: one StatusRequest to each,
// each reply matched to its request by the address and port it came from.
#pragma once
#include "link/protocol.h"
#include "probe/target.h"

#include <chrono>
#include <vector>

namespace kprobe {

enum class Outcome {
    Reply,     // a reply of at most 960 bytes came in time
    Silent,    // nothing came within the time-out
    Oversized, // a datagram longer than a StatusReply came: the monitor's failed receive
    Failed,    // the request could not be sent
};

// "reply", "silent", "oversized", "failed".
const char *OutcomeName(Outcome outcome);

struct Exchange {
    Target target;
    Outcome outcome = Outcome::Silent;
    long replyBytes = -1;  // the datagram's whole length when one came, else -1
    double seconds = 0;    // request to reply; the time waited when none came
    StatusReply reply{};   // as the monitor reads it: the bytes that came, the rest zero
};

// The protocol's reply limit.
constexpr std::chrono::milliseconds DefaultReplyTimeout{1000};

// One exchange per target, all at once, in the targets' order. Every reply is
// taken only from the target's own address and port; others are ignored. A
// target named twice gets two requests and the replies in turn. Returns within
// the time-out (plus the time to send).
std::vector<Exchange> ExchangeStatus(const std::vector<Target> &targets, std::chrono::milliseconds timeout);

}  // namespace kprobe
