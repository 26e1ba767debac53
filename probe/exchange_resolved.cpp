// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Targets given by name: looked up first, then asked in the time that is left.
#include "probe/exchange.h"

#include "text/endpoint.h"

#include <algorithm>

namespace kprobe {

using platform::Clock;

std::vector<Lookup> ResolveTargets(std::vector<Target> &targets, Clock::time_point deadline)
{
    std::vector<std::string> names;
    for (const Target &t : targets)
        if (!t.name.empty())
            names.push_back(t.name);
    std::vector<Lookup> found = names.empty() ? std::vector<Lookup>() : LookUp(names, deadline);
    std::vector<Lookup> lookups(targets.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (targets[i].name.empty())
            continue;
        Lookup &l = lookups[i] = std::move(found[next++]);
        if (l.error != LookupError::None)
            continue;
        if (!OneServer(l.answers.front())) {
            l.error = LookupError::Failed;
            l.detail = "the name's address " + ktext::Ipv4Text(l.answers.front()) + " is not one print server";
            continue;
        }
        targets[i].address = l.answers.front();
    }
    return lookups;
}

std::vector<Exchange> ExchangeResolved(const std::vector<Target> &targets, const std::vector<Lookup> &lookups,
                                       std::chrono::milliseconds timeout)
{
    std::vector<Target> asked;
    double looked = 0;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        looked = std::max(looked, lookups[i].seconds);
        if (lookups[i].error == LookupError::None)
            asked.push_back(targets[i]);
    }
    const auto left = std::max(std::chrono::milliseconds::zero(), timeout - platform::Millis(looked));
    std::vector<Exchange> replies = asked.empty() ? std::vector<Exchange>() : ExchangeStatus(asked, left);
    std::vector<Exchange> result(targets.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        Exchange &e = result[i];
        if (lookups[i].error == LookupError::None) {
            e = std::move(replies[next++]);
        } else {
            e.target = targets[i];
            e.outcome = Outcome::Unresolved;
            e.seconds = lookups[i].seconds;
        }
        e.lookup = lookups[i];
    }
    return result;
}

std::vector<Exchange> ProbeStatus(std::vector<Target> targets, std::chrono::milliseconds timeout)
{
    const std::vector<Lookup> lookups = ResolveTargets(targets, Clock::now() + timeout);
    return ExchangeResolved(targets, lookups, timeout);
}

}  // namespace kprobe
