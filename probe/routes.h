// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the exporter answers, apart from how requests reach it: the HTTP layer
// hands each GET here and sends back what it gets.
#pragma once
#include "probe/log.h"
#include "probe/metrics.h"
#include "probe/serve_options.h"

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kprobe {

struct RouteRequest {
    std::string path;                                        // "/probe"
    std::vector<std::pair<std::string, std::string>> query;  // decoded, in order
    std::string scrapeTimeout;                               // X-Prometheus-Scrape-Timeout-Seconds, or empty
};

struct RouteAnswer {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain; charset=utf-8";
};

// /probe?target=ADDRESS[&debug=true] (403 for a target outside
// --allow-target, 400 for a bad one), /metrics, / and 404 for the rest.
class Routes {
public:
    Routes(const ServeOptions &options, ExporterMetrics &metrics, Logger &log)
        : m_options(options), m_metrics(metrics), m_log(log)
    {
    }

    // Thread-safe. /probe blocks for one status exchange (up to its time-out).
    RouteAnswer Answer(const RouteRequest &request);
    // Counts an answer that the HTTP layer gave itself (a refused request).
    void CountOther(int status) { m_metrics.CountRequest("other", status); }

private:
    RouteAnswer Probe(const RouteRequest &request);
    RouteAnswer Counted(const std::string &handler, RouteAnswer answer);
    void LogProbe(const Exchange &exchange);
    const ServeOptions &Options() const { return m_options; }
    Logger &Log() { return m_log; }

    ServeOptions m_options;
    ExporterMetrics &m_metrics;
    Logger &m_log;
};

// How long one /probe waits: the configured time-out, and never past the
// scrape time-out that Prometheus sends (X-Prometheus-Scrape-Timeout-Seconds)
// less a quarter second, but at least 50 ms. An unreadable header is ignored.
double ProbeWaitSeconds(double configured, const std::string *scrapeTimeoutHeader);

}  // namespace kprobe
