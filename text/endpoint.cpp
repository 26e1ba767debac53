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

bool IsHostName(std::string_view text)
{
    if (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    if (text.empty() || text.size() > 253 || text.find_first_not_of("0123456789.") == std::string_view::npos)
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string_view label = text.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        // ASCII only, whatever the locale.
        for (const char c : label)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
                return false;
        if (dot == std::string_view::npos)
            return true;
        start = dot + 1;
    }
}

EndpointError ParseEndpoint(std::string_view text, Endpoint &out, EndpointRules rules)
{
    const std::size_t colon = text.find(':');
    const std::string_view host = text.substr(0, colon);
    const std::optional<std::uint32_t> address = ParseIpv4(host);
    const bool named = !address && rules.names && IsHostName(host);
    if ((!address && !named) || (rules.portRequired && colon == std::string_view::npos))
        return EndpointError::Address;
    Endpoint e;
    e.host = std::string(host);
    e.address = address.value_or(0);
    e.named = named;
    if (colon != std::string_view::npos) {
        e.port = ParseWhole<std::uint16_t>(text.substr(colon + 1), rules.lowestPort, 65535);
        if (!e.port)
            return EndpointError::Port;
    }
    out = e;
    return EndpointError::None;
}

}  // namespace ktext
