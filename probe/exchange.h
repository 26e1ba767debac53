// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Status exchanges with many print servers at once: one StatusRequest to each,
// each reply matched to its request by the address and port it came from.
#pragma once
#include "link/protocol.h"
#include "platform/clock.h"
#include "probe/resolve.h"
#include "probe/target.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kprobe {

enum class Outcome {
    Reply,       // a reply of at most 960 bytes came in time
    Silent,      // nothing came within the time-out
    Oversized,   // a datagram longer than a StatusReply came: the monitor's failed receive
    Failed,      // the request could not be sent
    Unresolved,  // the target's name gave no address in time: nothing was sent
};

// "reply", "silent", "oversized", "failed", "unresolved".
const char *OutcomeName(Outcome outcome);

// One step of an exchange, for the exporter's debug account. Kept in a fixed
// array in the exchange itself, so that recording costs no allocation.
struct ExchangeStep {
    enum Kind : std::uint8_t { Sent, SendFailed, Received, Late, GaveUp };
    Kind kind = Sent;
    double at = 0;   // seconds after the request went out
    long bytes = 0;  // sent or received
    int error = 0;   // errno of a failed send
};

struct Exchange {
    Target target;
    Outcome outcome = Outcome::Silent;
    long replyBytes = -1;       // the datagram's whole length when one came, else -1
    double seconds = 0;         // request to reply; the time waited when none came
    double timeoutSeconds = 0;  // the wait it was given
    StatusReply reply{};        // as the monitor reads it: the bytes that came, the rest zero
    Lookup lookup;              // the target's name looked up; name empty when an address was given

    // What happened, in order: the send, then a reply (or one too late) or the end of the wait.
    std::array<ExchangeStep, 4> steps{};
    std::size_t stepCount = 0;
    void Record(ExchangeStep step)
    {
        if (stepCount < steps.size())
            steps[stepCount++] = step;
    }
};

// Why an exchange gave no usable reply, for the exporter's failure metric and
// its log. Bounded: none, "resolve", "silent", "send", "oversized", "short".
enum class Failure { None, Resolve, Silent, Send, Oversized, Short };
Failure FailureOf(const Exchange &exchange);
const char *FailureName(Failure failure);  // "none", "resolve", "silent", "send", "oversized", "short"

// The exchange told step by step, for people (the exporter's debug answer).
std::string DescribeExchange(const Exchange &exchange);

// The protocol's reply limit.
constexpr std::chrono::milliseconds DefaultReplyTimeout{1000};

// One exchange per target, all at once, in the targets' order. Every reply is
// taken only from the target's own address and port; others are ignored. A
// target named twice gets two requests and the replies in turn. Returns within
// the time-out (plus the time to send).
std::vector<Exchange> ExchangeStatus(const std::vector<Target> &targets, std::chrono::milliseconds timeout);

// Looks up the named targets in place by the deadline, all at once: a name that
// resolved gets its first address. The lookups come in the targets' order, with
// an empty name for a target given as an address. A name whose address is not
// one server (broadcast, multicast, 0.0.0.0) is a failed lookup.
std::vector<Lookup> ResolveTargets(std::vector<Target> &targets, platform::Clock::time_point deadline);

// After ResolveTargets: one exchange with each target that has an address, in
// what is left of the time-out after the longest lookup; a target whose lookup
// failed is Unresolved and gets no request.
std::vector<Exchange> ExchangeResolved(const std::vector<Target> &targets, const std::vector<Lookup> &lookups,
                                       std::chrono::milliseconds timeout);

// Both, within the time-out: what the probe's commands do.
std::vector<Exchange> ProbeStatus(std::vector<Target> targets, std::chrono::milliseconds timeout);

}  // namespace kprobe
