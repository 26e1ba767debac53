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
    double timeoutSeconds = 1.0;  // the protocol's reply limit
    PluginState timeoutState = StateCritical;
    std::optional<Range> warning;  // on jobs queued, per printer
    std::optional<Range> critical;
    std::optional<std::string> printer;  // only this printer (its name, or its slot 1 to 8)
    bool ignoreOffline = false;
    int verbosity = 0;  // -v: a line per printer; -vv: the options; -vvv: the exchange
};

// "SECONDS" or "SECONDS:STATE" (STATE: ok, warning, critical or unknown, any
// case, or 0 to 3). Seconds from 0.01 to 60. False with a reason in error.
bool ParseTimeoutOption(const std::string &text, double &seconds, PluginState &state, std::string &error);

struct CheckResult {
    PluginState state = StateUnknown;
    std::string output;  // "KESTRUM STATE: summary | perfdata", then with -v the details
};

CheckResult EvaluateCheck(const CheckOptions &options, const Exchange &exchange);

// Text that keeps a plugin's output readable the way Nagios splits it: a |
// becomes a broken bar (U+00A6), control characters (C0, DEL, C1) a ?.
std::string PluginText(const std::string &text);

// A performance data label: PluginText in single quotes, each ' doubled and
// each = (which ends a label) replaced by _.
std::string PerfLabel(const std::string &text);

}  // namespace kprobe
