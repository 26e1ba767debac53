// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/target.h"

#include "text/endpoint.h"

#include <arpa/inet.h>

namespace kprobe {

std::string Target::Text() const
{
    std::string text = name.empty() ? ktext::Ipv4Text(address) : name;
    if (port != StatusPort)
        text += ":" + std::to_string(port);
    return text;
}

bool ParseTarget(const std::string &text, Target &out, std::string &error)
{
    if (text.empty()) {
        error = "empty address";
        return false;
    }
    // A NUL would end the address early for inet_pton: "127.0.0.1\0zz:60001"
    // must not become 127.0.0.1:60001. No control byte belongs in an address.
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            error = "a control character (byte " + std::to_string(c) + " at offset " + std::to_string(i) +
                    ") in the address";
            return false;
        }
    }
    // A name of 253 bytes, a trailing dot and ":65535".
    constexpr std::size_t Longest = 253 + 1 + 6;
    if (text.size() > Longest) {
        error = "'" + text.substr(0, 21) + "...' is too long for a host name";
        return false;
    }
    // Four decimal parts without leading zeros or a host name, then a port of 1 to 65535.
    ktext::Endpoint endpoint;
    ktext::EndpointRules rules;
    rules.names = true;
    const ktext::EndpointError read = ktext::ParseEndpoint(text, endpoint, rules);
    if (read == ktext::EndpointError::Address) {
        error = "'" + text + "' is not an IPv4 address or a host name (A.B.C.D or NAME, then :PORT if needed)";
        return false;
    }
    // The port's text starts right after the address; a leading zero is refused.
    if (read == ktext::EndpointError::Port || (endpoint.port && text[endpoint.host.size() + 1] == '0')) {
        error = "'" + text + "': the port must be 1 to 65535, without leading zeros";
        return false;
    }
    Target t;
    t.address = endpoint.address;
    if (endpoint.named)
        t.name = endpoint.host;
    if (endpoint.port)
        t.port = *endpoint.port;
    if (!endpoint.named && !OneServer(t.address)) {
        error = "'" + text + "' is not the address of one print server";
        return false;
    }
    out = t;
    return true;
}

bool OneServer(std::uint32_t address)
{
    const std::uint32_t host32 = ntohl(address);
    return host32 != 0 && host32 != 0xFFFFFFFFu && (host32 >> 28) != 0xE;
}

}  // namespace kprobe
