// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Listen addresses as the Prometheus tools write them: HOST:PORT with an IPv4
// address, [IPV6]:PORT, or :PORT for every address.
#pragma once
#include <string>

namespace kprobe {

// One address to listen on. An empty host is every address, IPv6 and IPv4.
struct ListenAddress {
    std::string host;  // "127.0.0.1", "::1", or empty
    int port = 0;      // 0: any free port
};

// False with a reason when text is none of the forms above.
bool ParseListenAddress(const std::string &text, ListenAddress &address, std::string &error);

// "127.0.0.1:9897", "[::1]:9897", "[::]:9897" for every address.
std::string ListenAddressText(const ListenAddress &address);

}  // namespace kprobe
