// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/target.h"

#include "platform/socket.h"

#include <arpa/inet.h>

namespace kprobe {

std::string Target::Text() const
{
    std::string text = platform::InetNtoa(address);
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
    const std::size_t colon = text.find(':');
    const std::string host = text.substr(0, colon);
    in_addr address{};
    // inet_pton takes exactly four decimal parts, without leading zeros.
    if (inet_pton(AF_INET, host.c_str(), &address) != 1) {
        error = "'" + text + "' is not an IPv4 address (A.B.C.D or A.B.C.D:PORT)";
        return false;
    }
    Target t;
    t.address = address.s_addr;
    if (colon != std::string::npos) {
        const std::string port = text.substr(colon + 1);
        unsigned long value = 0;
        bool digits = !port.empty() && port.size() <= 5 && port[0] != '0';  // no leading zeros
        for (char c : port) {
            digits = digits && c >= '0' && c <= '9';
            if (digits)
                value = value * 10 + static_cast<unsigned long>(c - '0');
        }
        if (!digits || value < 1 || value > 65535) {
            error = "'" + text + "': the port must be 1 to 65535, without leading zeros";
            return false;
        }
        t.port = static_cast<std::uint16_t>(value);
    }
    const std::uint32_t host32 = ntohl(t.address);
    if (host32 == 0 || host32 == 0xFFFFFFFFu || (host32 >> 28) == 0xE) {
        error = "'" + text + "' is not the address of one print server";
        return false;
    }
    out = t;
    return true;
}

}  // namespace kprobe
