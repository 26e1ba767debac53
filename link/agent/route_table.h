// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The host's IPv4 routing table as Linux lists it in /proc/net/route, and the
// next hop of its default route.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr const char *SystemRouteTable = "/proc/net/route";

using Ipv4Address = std::array<std::uint8_t, 4>;  // first octet first

// The gateway of the default route (destination and mask 0.0.0.0, flagged up and
// via a gateway) in the table's text; with several, the one of lowest metric,
// the first among equals. Lines that do not read as routes are passed over.
std::optional<Ipv4Address> ParseDefaultGateway(std::string_view routeTable);

// The text of a route table file (bounded in size); nullopt when it cannot be read.
std::optional<std::string> ReadRouteTable(const std::string &path);
