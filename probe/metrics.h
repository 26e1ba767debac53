// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's metric texts in the Prometheus text format, built on
// prometheus-cpp's metric model and its text serializer.
#pragma once
#include "probe/exchange.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/registry.h>

#include <memory>
#include <string>

namespace kprobe {

// The answer to /probe: kestrum_up, kestrum_probe_duration_seconds and, after a
// reply, per printer kestrum_printer_info{slot,printer,port} and the state
// gauges keyed by slot. No user names or user addresses anywhere.
std::string ProbeMetricsText(const Exchange &exchange);

// The exporter's own metrics for /metrics: probes by outcome, HTTP requests by
// handler and code, build information and the process's CPU time and memory.
class ExporterMetrics {
public:
    ExporterMetrics();
    void CountProbe(Outcome outcome, double seconds);
    void CountRequest(const std::string &handler, int code);
    std::string Text() const;

private:
    std::shared_ptr<prometheus::Registry> m_registry;
    prometheus::Family<prometheus::Counter> *m_probes;
    prometheus::Family<prometheus::Counter> *m_probeSeconds;
    prometheus::Family<prometheus::Counter> *m_requests;
    // The counters every request touches, found once: Family::Add takes a
    // lock that a thousand concurrent requests would queue on.
    prometheus::Counter *m_byOutcome[5];
    prometheus::Counter *m_seconds;
    prometheus::Counter *m_probe200;
    prometheus::Counter *m_probe400;
};

// The content type of both answers.
constexpr const char *MetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace kprobe
