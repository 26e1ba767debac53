// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The serve command: a Prometheus exporter in the multi-target pattern.
// /probe?target=ADDRESS answers one fresh status exchange, /metrics the
// exporter's own metrics; TLS and basic authentication from the web
// configuration file.
#pragma once
#include "probe/routes.h"
#include "probe/serve_options.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace kprobe {

// One listen address (HOST:PORT, [IPV6]:PORT or :PORT) added to options; the
// first also sets options.host and options.port.
bool ParseListen(const std::string &text, ServeOptions &options, std::string &error);

class Exporter {
public:
    // Every probe logs to log, which must outlive the exporter.
    Exporter(const ServeOptions &options, Logger &log);
    ~Exporter();
    Exporter(const Exporter &) = delete;
    Exporter &operator=(const Exporter &) = delete;

    // Reads the web configuration, binds every address and starts serving;
    // false with a reason.
    bool Start(std::string &error);
    // The port bound on the first address (useful with port 0).
    int Port() const;
    // Every address served, with the ports bound: "127.0.0.1:9897", "[::]:9897".
    std::vector<std::string> Addresses() const;
    // Probe threads alive now (probes under way, and idle ones not yet
    // ended); password checks have threads of their own.
    std::size_t WorkerThreads() const;
    // Stops serving: waiting requests get a 503, connections are closed, and
    // running probes get up to half a second. Also done by the destructor.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Runs the exporter until SIGINT or SIGTERM; prints "listening ADDR:PORT" on
// out first, one line per address. Returns the exit code.
int RunServe(const ServeOptions &options, Logger &log, std::ostream &out);

}  // namespace kprobe
