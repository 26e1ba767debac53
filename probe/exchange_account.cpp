// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// An exchange judged and told: why it failed, and what happened step by step.
#include "probe/exchange.h"

#include "text/endpoint.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kprobe {

namespace {

std::string Millis(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", seconds * 1000);
    return text;
}

// The first bytes of a reply in hex, sixteen a line.
std::string HexHead(const StatusReply &reply, long length)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(&reply);
    const std::size_t shown = static_cast<std::size_t>(std::min<long>(length, 48));
    std::string out;
    for (std::size_t i = 0; i < shown; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        out += (i % 16 == 0 ? "\n    " : " ") + std::string(hex);
    }
    if (static_cast<long>(shown) < length)
        out += "\n    ... " + std::to_string(length - static_cast<long>(shown)) + " more bytes";
    return out;
}

std::string DescribeStep(const Exchange &e, const ExchangeStep &s)
{
    const std::string at = "at " + Millis(s.at) + ": ";
    switch (s.kind) {
    case ExchangeStep::Sent:
        return at + "sent " + std::to_string(s.bytes) + " byte (status request 0x55) to " +
               ktext::EndpointText(e.target.address, e.target.port) + "/udp";
    case ExchangeStep::SendFailed:
        return at + "the status request to " + e.target.Text() +
               " could not be sent: " + (s.error ? std::strerror(s.error) : "no socket");
    case ExchangeStep::Received:
        return at + "received " + std::to_string(s.bytes) + " bytes from " + e.target.Text() +
               (s.bytes > static_cast<long>(StatusReplySize) ? " (more than a status reply's 960: not read)"
                                                             : HexHead(e.reply, s.bytes));
    case ExchangeStep::Late:
        return at + "received " + std::to_string(s.bytes) + " bytes, after the wait of " + Millis(e.timeoutSeconds) +
               ": ignored";
    case ExchangeStep::GaveUp: return at + "no reply within " + Millis(e.timeoutSeconds) + ": gave up";
    }
    return at;
}

// The lookup of a target's name: what was asked, what came back, and when.
std::string DescribeLookup(const Lookup &l)
{
    std::string out = "looked up " + l.name + " (IPv4: hosts file, then DNS) in " + Millis(l.seconds) + ": ";
    if (l.error != LookupError::None)
        return out + LookupErrorText(l.error) + (l.detail.empty() ? "" : " (" + l.detail + ")");
    for (std::size_t i = 0; i < l.answers.size(); ++i)
        out += (i ? ", " : "") + ktext::Ipv4Text(l.answers[i]);
    return out + (l.answers.size() > 1 ? "; asking the first" : "");
}

}  // namespace

Failure FailureOf(const Exchange &e)
{
    switch (e.outcome) {
    case Outcome::Unresolved: return Failure::Resolve;
    case Outcome::Silent: return Failure::Silent;
    case Outcome::Failed: return Failure::Send;
    case Outcome::Oversized: return Failure::Oversized;
    case Outcome::Reply: break;
    }
    return e.replyBytes < static_cast<long>(StatusReplySize) ? Failure::Short : Failure::None;
}

const char *FailureName(Failure failure)
{
    switch (failure) {
    case Failure::None: return "none";
    case Failure::Resolve: return "resolve";
    case Failure::Silent: return "silent";
    case Failure::Send: return "send";
    case Failure::Oversized: return "oversized";
    case Failure::Short: return "short";
    }
    return "none";
}

std::string DescribeExchange(const Exchange &e)
{
    std::string out = "target " + e.target.Text() + ", waiting at most " + Millis(e.timeoutSeconds) + "\n";
    if (!e.lookup.name.empty())
        out += "  " + DescribeLookup(e.lookup) + "\n";
    for (std::size_t i = 0; i < e.stepCount; ++i)
        out += "  " + DescribeStep(e, e.steps[i]) + "\n";
    switch (FailureOf(e)) {
    case Failure::None: return out + "result: a status reply of 960 bytes\n";
    case Failure::Resolve: return out + "result: failed (resolve): the name gave no address, nothing was sent\n";
    case Failure::Silent: return out + "result: failed (silent): no reply came in time\n";
    case Failure::Send: return out + "result: failed (send): the request never left\n";
    case Failure::Oversized:
        return out + "result: failed (oversized): the reply is longer than 960 bytes, as the monitor's receive "
                     "fails on it\n";
    case Failure::Short:
        return out + "result: short: " + std::to_string(e.replyBytes) +
               " bytes instead of 960, read as the monitor reads it (the rest zero)\n";
    }
    return out;
}

}  // namespace kprobe
