// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/target.h"

#include "text/endpoint.h"

#include <arpa/inet.h>

namespace kprobe {

std::string Target::Text() const
{
    std::string text = ktext::Ipv4Text(address);
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
    if (text.size() > 21) {
        error = "'" + text.substr(0, 21) + "...' is not an IPv4 address (A.B.C.D or A.B.C.D:PORT)";
        return false;
    }
    // Four decimal parts without leading zeros, then a port of 1 to 65535.
    ktext::Endpoint endpoint;
    const ktext::EndpointError read = ktext::ParseEndpoint(text, endpoint);
    if (read == ktext::EndpointError::Address) {
        error = "'" + text + "' is not an IPv4 address (A.B.C.D or A.B.C.D:PORT)";
        return false;
    }
    // The port's text starts right after the address; a leading zero is refused.
    if (read == ktext::EndpointError::Port || (endpoint.port && text[endpoint.host.size() + 1] == '0')) {
        error = "'" + text + "': the port must be 1 to 65535, without leading zeros";
        return false;
    }
    Target t;
    t.address = endpoint.address;
    if (endpoint.port)
        t.port = *endpoint.port;
    const std::uint32_t host32 = ntohl(t.address);
    if (host32 == 0 || host32 == 0xFFFFFFFFu || (host32 >> 28) == 0xE) {
        error = "'" + text + "' is not the address of one print server";
        return false;
    }
    out = t;
    return true;
}

}  // namespace kprobe
