// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The monitoring plugin: one exchange judged by the Monitoring Plugins rules.
#pragma once
#include "probe/exchange.h"
#include "probe/printers.h"
#include "probe/ranges.h"
#include "probe/target.h"

#include <optional>
#include <string>

namespace kprobe {

enum PluginState { StateOk = 0, StateWarning = 1, StateCritical = 2, StateUnknown = 3 };

// "OK", "WARNING", "CRITICAL", "UNKNOWN".
const char *StateName(PluginState state);

struct CheckOptions {
    Target host;
    double timeoutSeconds = 1.0;           // the protocol's reply limit
    PluginState timeoutState = StateCritical;
    std::optional<Range> warning;          // on jobs queued, per printer
    std::optional<Range> critical;
    std::optional<std::string> printer;    // only this printer (its name, or its slot 1 to 8)
    bool ignoreOffline = false;
};

// "SECONDS" or "SECONDS:STATE" (STATE: ok, warning, critical or unknown, any
// case, or 0 to 3). Seconds from 0.01 to 60. False with a reason in error.
bool ParseTimeoutOption(const std::string &text, double &seconds, PluginState &state, std::string &error);

struct CheckResult {
    PluginState state = StateUnknown;
    std::string output;  // "KESTRUM STATE: summary | perfdata", then a line per printer
};

CheckResult EvaluateCheck(const CheckOptions &options, const Exchange &exchange);

// A performance data label: quoted, without = or ' (replaced by _).
std::string PerfLabel(const std::string &text);

}  // namespace kprobe
