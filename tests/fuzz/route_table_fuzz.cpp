// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The routing table text the agent module reads: whatever the file holds, the default gateway is the up, via-gateway
// route to 0.0.0.0/0 of lowest metric (the first among equals), read here once more by a second, plain parser.
#include "tests/fuzz/fuzz.h"
#include "link/agent/route_table.h"

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Only digits of the base, at most 8 hex or 10 decimal ones, within 32 bits.
bool Number(const std::string &t, int base, std::uint32_t &v)
{
    const bool hex = base == 16;
    if (t.empty() || t.size() > (hex ? 8u : 10u) ||
        t.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return false;
    const unsigned long long x = std::stoull(t, nullptr, base);
    v = static_cast<std::uint32_t>(x);
    return x <= 0xFFFFFFFFull;
}

std::optional<Ipv4Address> Reference(const std::string &text)
{
    std::optional<Ipv4Address> best;
    std::uint32_t bestMetric = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f(1);  // fields split at spaces, tabs and carriage returns
        for (char c : line + ' ')
            if (c != ' ' && c != '\t' && c != '\r')
                f.back() += c;
            else if (!f.back().empty())
                f.emplace_back();
        std::uint32_t dest, gw, flags, metric, mask;
        if (f.size() < 9 || !Number(f[1], 16, dest) || !Number(f[2], 16, gw) || !Number(f[3], 16, flags) ||
            !Number(f[6], 10, metric) || !Number(f[7], 16, mask))
            continue;
        if (dest == 0 && mask == 0 && gw != 0 && (flags & 3) == 3 && (!best || metric < bestMetric)) {
            best.emplace();
            std::memcpy(best->data(), &gw, 4);
            bestMetric = metric;
        }
    }
    return best;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    FUZZ_CHECK(ParseDefaultGateway(text) == Reference(text));
    return 0;
}
