// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/cidr.h"

#include <arpa/inet.h>

namespace kprobe {

namespace {

std::uint32_t Mask(int prefix) { return prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix); }

std::string Dotted(std::uint32_t hostOrder)
{
    return std::to_string(hostOrder >> 24) + "." + std::to_string((hostOrder >> 16) & 0xFF) + "." +
           std::to_string((hostOrder >> 8) & 0xFF) + "." + std::to_string(hostOrder & 0xFF);
}

}  // namespace

bool AddressRange::Contains(std::uint32_t address) const { return (address & Mask(prefix)) == network; }

std::string AddressRange::Text() const { return Dotted(network) + "/" + std::to_string(prefix); }

bool ParseAddressRange(const std::string &text, AddressRange &out, std::string &error)
{
    const std::size_t slash = text.find('/');
    const std::string host = text.substr(0, slash);
    const std::string bits = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    in_addr address{};
    bool digits = !bits.empty() && bits.size() <= 2 && (bits.size() == 1 || bits[0] != '0');
    for (char c : bits)
        digits = digits && c >= '0' && c <= '9';
    // inet_pton stops at a NUL; a range never holds one.
    if (text.find('\0') != std::string::npos || inet_pton(AF_INET, host.c_str(), &address) != 1 || !digits ||
        std::stoi(bits) > 32) {
        error = "'" + text + "' is not an IPv4 range A.B.C.D/N (N from 0 to 32)";
        return false;
    }
    AddressRange r;
    r.prefix = std::stoi(bits);
    r.network = ntohl(address.s_addr);
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
