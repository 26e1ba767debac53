// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The datagrams the simulator sends back, in their proper form or in one of
// the deliberately wrong forms used to exercise a client's failure paths.
#pragma once
#include "link/protocol.h"

#include <cstdint>
#include <vector>

namespace printsim {

enum class ReplyFault { None, Short, Oversized, Garbage };
enum class DiscoveryFault { None, Oversized, Garbage };

constexpr std::size_t ShortReplySize = 130;  // slot 0 and 10 bytes of slot 1
constexpr std::size_t OversizedReplySize = StatusReplySize + 1;
constexpr std::size_t GarbageMinSize = 2;  // garbage is never 0, 1 or 960 bytes
constexpr std::size_t GarbageMaxSize = 901;
constexpr std::uint8_t GarbageDiscoveryByte = 0x54;  // one byte, but not the answer

// The status reply to send for the `sequence`-th answered request (0-based).
// Garbage is pseudo-random but a pure function of the sequence number.
std::vector<std::uint8_t> StatusDatagram(const StatusReply &reply, ReplyFault fault, std::uint32_t sequence);

// The answer to a discovery probe.
std::vector<std::uint8_t> DiscoveryDatagram(DiscoveryFault fault);

}  // namespace printsim
