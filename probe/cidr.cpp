// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/cidr.h"

#include "text/endpoint.h"
#include "text/numbers.h"

#include <arpa/inet.h>

namespace kprobe {

namespace {

std::uint32_t Mask(int prefix) { return prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix); }

}  // namespace

bool AddressRange::Contains(std::uint32_t address) const { return (address & Mask(prefix)) == network; }

std::string AddressRange::Text() const { return ktext::Ipv4Text(htonl(network)) + "/" + std::to_string(prefix); }

bool ParseAddressRange(const std::string &text, AddressRange &out, std::string &error)
{
    const std::size_t slash = text.find('/');
    const std::string host = text.substr(0, slash);
    const std::string bits = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    const std::optional<std::uint32_t> address = ktext::ParseIpv4(host);
    // N without leading zeros: "0" but not "08".
    const std::optional<int> prefix =
        bits.size() == 1 || bits[0] != '0' ? ktext::ParseWhole<int>(bits, 0, 32) : std::nullopt;
    if (!address || !prefix) {
        error = "'" + text + "' is not an IPv4 range A.B.C.D/N (N from 0 to 32)";
        return false;
    }
    AddressRange r;
    r.prefix = *prefix;
    r.network = ntohl(*address);
    if ((r.network & ~Mask(r.prefix)) != 0) {
        r.network &= Mask(r.prefix);
        error = "'" + text + "' has bits set past /" + bits + " (did you mean " + r.Text() + "?)";
        return false;
    }
    out = r;
    return true;
}

bool Allowed(const std::vector<AddressRange> &ranges, std::uint32_t networkOrderAddress)
{
    if (ranges.empty())
        return true;
    const std::uint32_t address = ntohl(networkOrderAddress);
    for (const AddressRange &r : ranges)
        if (r.Contains(address))
            return true;
    return false;
}

}  // namespace kprobe
