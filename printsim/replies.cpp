// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "printsim/replies.h"

#include <cstring>

namespace printsim {

namespace {

// A small xorshift, seeded by the request's number so runs repeat exactly.
std::uint32_t Next(std::uint32_t &s)
{
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

}  // namespace

std::vector<std::uint8_t> StatusDatagram(const StatusReply &reply, ReplyFault fault, std::uint32_t sequence)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(&reply);
    switch (fault) {
    case ReplyFault::None: return std::vector<std::uint8_t>(bytes, bytes + StatusReplySize);
    case ReplyFault::Short: return std::vector<std::uint8_t>(bytes, bytes + ShortReplySize);
    case ReplyFault::Oversized: {
        std::vector<std::uint8_t> out(bytes, bytes + StatusReplySize);
        out.resize(OversizedReplySize, 0);
        return out;
    }
    case ReplyFault::Garbage: {
        std::uint32_t s = 0x9E3779B9u ^ (sequence * 2654435761u);
        if (s == 0)
            s = 1;
        const std::size_t span = GarbageMaxSize - GarbageMinSize + 1;
        std::vector<std::uint8_t> out(GarbageMinSize + Next(s) % span);
        for (auto &b : out)
            b = static_cast<std::uint8_t>(Next(s) >> 24);
        return out;
    }
    }
    return {};
}

std::vector<std::uint8_t> DiscoveryDatagram(DiscoveryFault fault)
{
    switch (fault) {
    case DiscoveryFault::None: return {DiscoveryAnswer};
    case DiscoveryFault::Oversized: return {DiscoveryAnswer, DiscoveryAnswer};
    case DiscoveryFault::Garbage: return {GarbageDiscoveryByte};
    }
    return {};
}

}  // namespace printsim
