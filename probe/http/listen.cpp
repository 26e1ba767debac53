// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/listen.h"

#include "text/endpoint.h"
#include "text/numbers.h"

#include <arpa/inet.h>

namespace kprobe {

namespace {

// 0 to 65535 in at most five digits ("08080" is 8080).
bool ParsePort(const std::string &text, int &port)
{
    const std::optional<int> p = text.size() <= 5 ? ktext::ParseWhole<int>(text, 0, 65535) : std::nullopt;
    if (!p)
        return false;
    port = *p;
    return true;
}

}  // namespace

bool ParseListenAddress(const std::string &text, ListenAddress &address, std::string &error)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        error = "'" + text + "' is not HOST:PORT, [IPV6]:PORT or :PORT";
        return false;
    }
    std::string host = text.substr(0, colon);
    ListenAddress a;
    if (!ParsePort(text.substr(colon + 1), a.port)) {
        error = "'" + text.substr(colon + 1) + "' in '" + text + "' is not a port number (0 to 65535)";
        return false;
    }
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        in6_addr six{};
        host = host.substr(1, host.size() - 2);
        if (inet_pton(AF_INET6, host.c_str(), &six) != 1) {
            error = "'" + host + "' in '" + text + "' is not an IPv6 address";
            return false;
        }
    } else if (!host.empty()) {
        if (!ktext::ParseIpv4(host)) {
            error = "'" + host + "' in '" + text + "' is not an IPv4 address (write IPv6 as [ADDRESS]:PORT)";
            return false;
        }
    }
    a.host = host;
    address = a;
    return true;
}

std::string ListenAddressText(const ListenAddress &address)
{
    const std::string port = std::to_string(address.port);
    if (address.host.empty())
        return "[::]:" + port;
    if (address.host.find(':') != std::string::npos)
        return "[" + address.host + "]:" + port;
    return address.host + ":" + port;
}

}  // namespace kprobe
