// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/agent/route_table.h"

#include "text/numbers.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr std::uint32_t RouteUp = 0x0001;       // RTF_UP
constexpr std::uint32_t RouteGateway = 0x0002;  // RTF_GATEWAY
constexpr std::size_t MaxTableBytes = 1 << 20;

// Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ...
enum Column { Iface, Destination, Gateway, Flags, RefCnt, Use, Metric, Mask, ColumnsNeeded };

std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

// Metrics run up to 4294967295: ten digits.
std::optional<std::uint32_t> ParseMetric(std::string_view text)
{
    if (text.size() > 10)
        return std::nullopt;
    return ktext::ParseWhole<std::uint32_t>(text, 0, UINT32_MAX);
}

}  // namespace

std::optional<Ipv4Address> ParseDefaultGateway(std::string_view routeTable)
{
    std::optional<Ipv4Address> best;
    std::uint32_t bestMetric = 0;
    std::size_t pos = 0;
    while (pos < routeTable.size()) {
        std::size_t end = routeTable.find('\n', pos);
        if (end == std::string_view::npos)
            end = routeTable.size();
        const std::vector<std::string_view> fields = SplitFields(routeTable.substr(pos, end - pos));
        pos = end + 1;

        // The header line fails here too: its columns are names, not numbers.
        if (fields.size() < ColumnsNeeded)
            continue;
        const auto destination = ktext::ParseHex(fields[Destination]);
        const auto gateway = ktext::ParseHex(fields[Gateway]);
        const auto flags = ktext::ParseHex(fields[Flags]);
        const auto metric = ParseMetric(fields[Metric]);
        const auto mask = ktext::ParseHex(fields[Mask]);
        if (!destination || !gateway || !flags || !metric || !mask)
            continue;
        if (*destination != 0 || *mask != 0 || *gateway == 0)
            continue;
        if ((*flags & (RouteUp | RouteGateway)) != (RouteUp | RouteGateway))
            continue;
        if (best && *metric >= bestMetric)
            continue;
        // The kernel prints the network-order address as the host reads it, so its
        // bytes in memory are the address, first octet first.
        const std::uint32_t raw = *gateway;
        Ipv4Address address;
        std::memcpy(address.data(), &raw, address.size());
        best = address;
        bestMetric = *metric;
    }
    return best;
}

std::optional<std::string> ReadRouteTable(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    // Files under /proc report no size, so read until the end, up to a bound.
    std::string text;
    char chunk[4096];
    while (text.size() < MaxTableBytes) {
        file.read(chunk, sizeof chunk);
        if (file.gcount() <= 0)
            break;
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad())
        return std::nullopt;
    return text;
}
