// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Host names to IPv4 addresses with a deadline: the system's resolver has none,
// and a probe must answer within its time-out whatever the name servers do.
#pragma once
#include "platform/clock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kprobe {

enum class LookupError {
    None,      // at least one IPv4 address came
    NotFound,  // the name does not exist, or has no IPv4 address
    Timeout,   // no answer by the deadline
    Failed,    // no name server to ask, a refusal, or any other failure
};

// "none", "not found", "timed out", "failed".
const char *LookupErrorText(LookupError error);

struct Lookup {
    std::string name;  // as asked
    LookupError error = LookupError::None;
    std::vector<std::uint32_t> answers;  // network order, in the order they came
    double seconds = 0;                  // from the question to the answer, or to giving up
    std::string detail;                  // the resolver's own words for a failure
};

// Looks up every name at once, IPv4 only, as the system does: the hosts file
// first, then the name servers that resolv.conf names. Returns by the deadline;
// a name not answered by then is a Timeout. Never throws.
std::vector<Lookup> LookUp(const std::vector<std::string> &names, platform::Clock::time_point deadline);

}  // namespace kprobe
