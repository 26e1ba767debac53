// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// One print server as the probe's commands and its exporter's `target`
// parameter take it: "A.B.C.D", "NAME", either with ":PORT".
#pragma once
#include "link/protocol.h"

#include <cstdint>
#include <string>

namespace kprobe {

struct Target {
    std::uint32_t address = 0;        // network order; 0 for a name not yet looked up
    std::uint16_t port = StatusPort;  // host order
    std::string name;                 // the host name given, to be looked up; empty for an address

    // The name or "A.B.C.D", with ":PORT" only when the port is not the protocol's 60000.
    std::string Text() const;
};

// Four decimal numbers joined by dots, or a host name (looked up later, with a
// deadline), optionally ":PORT" (1 to 65535, no leading zeros); no control
// characters anywhere. False with a one-line reason in error.
bool ParseTarget(const std::string &text, Target &out, std::string &error);

// The unspecified address, the limited broadcast and multicast addresses are
// none of them one server; false for those.
bool OneServer(std::uint32_t address);

}  // namespace kprobe
