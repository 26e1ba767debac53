// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// How the exporter is run: where it listens, how long a probe waits, how many
// connections it serves at once, what it logs, which targets it may probe.
#pragma once
#include "probe/cidr.h"
#include "probe/log.h"

#include <string>
#include <vector>

namespace kprobe {

struct ServeOptions {
    std::string host = "127.0.0.1";  // loopback unless asked
    int port = 9150;                 // 0: any free port
    double timeoutSeconds = 1.0;     // the longest wait for one reply
    int maxConnections = 1200;       // connections served at once (threads)
    LogLevel logLevel = LogLevel::Info;
    LogFormat logFormat = LogFormat::Logfmt;
    std::vector<AddressRange> allowTargets;  // empty: every target may be probed
};

}  // namespace kprobe
