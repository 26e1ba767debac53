// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// "A.B.C.D" and "A.B.C.D:PORT", read the same way by every program: IPv4
// addresses in inet_pton's form (four decimal parts, no leading zeros), and
// where the program looks names up with a deadline, "NAME" and "NAME:PORT".
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ktext {

struct Endpoint {
    std::string host;                   // the address or the name as it was written
    std::uint32_t address = 0;          // network order; 0 for a name
    bool named = false;                 // host is a name, to be looked up
    std::optional<std::uint16_t> port;  // when one was written
};

struct EndpointRules {
    bool portRequired = false;
    std::uint16_t lowestPort = 1;  // 0 lets the system pick one
    bool names = false;            // a host name is taken too
};

enum class EndpointError { None, Address, Port };

// The first ':' separates the port; out is set only on EndpointError::None.
// A missing required port is an address error: the text is not ADDR:PORT.
EndpointError ParseEndpoint(std::string_view text, Endpoint &out, EndpointRules rules = {});

// A host name as RFC 1123 writes it: dot-separated labels of 1 to 63 letters,
// digits and hyphens, no hyphen at either end of a label, at most 253 bytes
// (a trailing dot allowed), and not only digits and dots, which is an address.
bool IsHostName(std::string_view text);

// An IPv4 address alone, in network order: the one reader of addresses in
// every program.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);

// A network-order address as dotted-decimal text ("10.0.0.5"), and with a
// host-order port ("10.0.0.5:60000"): the one writer.
std::string Ipv4Text(std::uint32_t networkOrder);
std::string EndpointText(std::uint32_t networkOrder, std::uint16_t port);

}  // namespace ktext
