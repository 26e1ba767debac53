// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/endpoint.h"

#include "text/numbers.h"

#include <arpa/inet.h>

#include <cstring>

namespace ktext {

std::optional<std::uint32_t> ParseIpv4(std::string_view text)
{
    in_addr address{};
    // inet_pton stops at a NUL: "127.0.0.1\0zz" must not read as 127.0.0.1.
    if (text.size() > 15 || text.find('\0') != std::string_view::npos ||
        inet_pton(AF_INET, std::string(text).c_str(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

std::string Ipv4Text(std::uint32_t networkOrder)
{
    unsigned char octets[4];
    std::memcpy(octets, &networkOrder, sizeof octets);
    std::string text;
    for (unsigned char octet : octets)
        text += (text.empty() ? "" : ".") + std::to_string(octet);
    return text;
}

std::string EndpointText(std::uint32_t networkOrder, std::uint16_t port)
{
    return Ipv4Text(networkOrder) + ":" + std::to_string(port);
}

EndpointError ParseEndpoint(std::string_view text, Endpoint &out, EndpointRules rules)
{
    const std::size_t colon = text.find(':');
    const std::optional<std::uint32_t> address = ParseIpv4(text.substr(0, colon));
    if (!address || (rules.portRequired && colon == std::string_view::npos))
        return EndpointError::Address;
    Endpoint e;
    e.host = std::string(text.substr(0, colon));
    e.address = *address;
    if (colon != std::string_view::npos) {
        e.port = ParseWhole<std::uint16_t>(text.substr(colon + 1), rules.lowestPort, 65535);
        if (!e.port)
            return EndpointError::Port;
    }
    out = e;
    return EndpointError::None;
}

}  // namespace ktext
