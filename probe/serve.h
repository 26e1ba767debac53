// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The serve command: a Prometheus exporter in the multi-target pattern on
// cpp-httplib. /probe?target=ADDRESS answers one fresh status exchange,
// /metrics the exporter's own metrics.
#pragma once
#include "probe/routes.h"
#include "probe/serve_options.h"

#include <memory>
#include <ostream>
#include <string>

namespace kprobe {

// "ADDR:PORT" (IPv4 address, port 0 to 65535) into options.
bool ParseListen(const std::string &text, ServeOptions &options, std::string &error);

class Exporter {
public:
    explicit Exporter(const ServeOptions &options);
    ~Exporter();
    Exporter(const Exporter &) = delete;
    Exporter &operator=(const Exporter &) = delete;

    // Binds and starts serving on a thread of its own; false with a reason.
    bool Start(std::string &error);
    // The port bound (useful with port 0).
    int Port() const;
    // Stops serving and waits for the threads; also done by the destructor.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Runs the exporter until SIGINT or SIGTERM; prints "listening ADDR:PORT" on
// out first. Returns the exit code.
int RunServe(const ServeOptions &options, std::ostream &out, std::ostream &err);

}  // namespace kprobe
