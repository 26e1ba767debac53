// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The address of one print server as the probe's commands and its exporter's
// `target` parameter take it: "A.B.C.D" or "A.B.C.D:PORT".
#pragma once
#include "link/protocol.h"

#include <cstdint>
#include <string>

namespace kprobe {

struct Target {
    std::uint32_t address = 0;        // network order
    std::uint16_t port = StatusPort;  // host order

    // "A.B.C.D", with ":PORT" only when the port is not the protocol's 60000.
    std::string Text() const;
};

// Four decimal numbers joined by dots (no host names: a name lookup has no time
// limit), optionally ":PORT" (1 to 65535, no leading zeros); no control
// characters anywhere. The unspecified address, the limited
// broadcast and multicast addresses are refused: none of them is one server.
// False with a one-line reason in error.
bool ParseTarget(const std::string &text, Target &out, std::string &error);

}  // namespace kprobe
