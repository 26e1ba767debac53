// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the exporter refuses before routing, from a request's method and
// headers alone: it only ever reads, so anything that would make it read or
// decode a body, or cut its answer into ranges, is turned away.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace kprobe {

struct RequestHead {
    std::string method;
    std::vector<std::pair<std::string, std::string>> headers;  // as received
};

struct Refusal {
    int status = 0;      // 0: the request may go on
    std::string reason;  // the answer's body
};

// Every refusal is answered and then the connection is closed: what the
// client sent after the head is never read.
Refusal ScreenRequest(const RequestHead &head);

// Case-insensitive, as HTTP header names are.
bool SameHeaderName(const std::string &a, const char *b);

}  // namespace kprobe
