// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// How the exporter is run: where it listens, how long a probe waits, how many
// connections and probes it holds at once, how long a client may take,
// what it logs and which targets it may probe.
#pragma once
#include "probe/cidr.h"
#include "probe/http/listen.h"
#include "probe/log.h"

#include <string>
#include <vector>

namespace kprobe {

// Outside the ports that Prometheus' list hands out to exporters.
constexpr int DefaultServePort = 9897;

struct ServeOptions {
    // Where to listen when `listen` is empty; the first address given sets
    // these too (older callers read them).
    std::string host = "127.0.0.1";     // loopback unless asked
    int port = DefaultServePort;        // 0: any free port
    std::vector<ListenAddress> listen;  // --web.listen-address, repeatable
    std::string webConfigFile;          // --web.config.file: TLS and basic auth
    double timeoutSeconds = 1.0;        // the longest wait for one reply
    int maxConnections = 4096;          // connections held at once; past it new ones are closed
    int maxProbes = 1200;               // probes under way at once (worker threads)
    double requestSeconds = 10.0;       // a request's head must arrive within this, however paced
    double idleSeconds = 10.0;          // a silent connection is closed after this
    double workerIdleSeconds = 5.0;     // an idle worker thread ends after this
    LogLevel logLevel = LogLevel::Info;
    LogFormat logFormat = LogFormat::Logfmt;
    std::vector<AddressRange> allowTargets;  // empty: every target may be probed
};

}  // namespace kprobe
