// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/routes.h"

#include "probe/exchange.h"
#include "probe/target.h"
#include "platform/clock.h"
#include "text/endpoint.h"
#include "text/numbers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>

namespace kprobe {

namespace {

constexpr const char *IndexText =
    "kestrum-probe exporter\n"
    "  /probe?target=ADDRESS   one status exchange with the print server at ADDRESS (A.B.C.D or NAME, [:PORT])\n"
    "        &debug=true       the exchange step by step, then the metrics, as text\n"
    "  /metrics                the exporter's own metrics\n";

RouteAnswer Plain(int status, std::string body)
{
    RouteAnswer a;
    a.status = status;
    a.body = std::move(body);
    return a;
}

// The debug parameter as Prometheus' exporters take it.
bool DebugAsked(const RouteRequest &request)
{
    for (const auto &[name, value] : request.query)
        if (name == "debug" && (value == "true" || value == "1"))
            return true;
    return false;
}

}  // namespace

double ProbeWaitSeconds(double configured, const std::string *header)
{
    double wait = configured;
    if (header && !header->empty()) {
        // Prometheus sends a plain decimal, such as "10" or "9.5".
        const std::optional<double> scrape =
            ktext::ParseDecimal(*header, 0, std::numeric_limits<double>::max(), ktext::DecimalRules{false, true});
        if (scrape && *scrape > 0)
            wait = std::min(wait, std::max(0.05, *scrape - 0.25));
    }
    return wait;
}

RouteAnswer Routes::Counted(const std::string &handler, RouteAnswer answer)
{
    m_metrics.CountRequest(handler, answer.status);
    return answer;
}

RouteAnswer Routes::Answer(const RouteRequest &request)
{
    if (request.path == "/probe")
        return Counted("/probe", Probe(request));
    if (request.path == "/metrics") {
        RouteAnswer a = Plain(200, m_metrics.Text());
        a.contentType = MetricsContentType;
        return Counted("/metrics", a);
    }
    if (request.path == "/")
        return Counted("/", Plain(200, IndexText));
    return Counted("other", Plain(404, "not found; try /probe?target=ADDRESS or /metrics\n"));
}

RouteAnswer Routes::Probe(const RouteRequest &request)
{
    std::vector<std::string> targets;
    for (const auto &[name, value] : request.query)
        if (name == "target")
            targets.push_back(value);
    if (targets.empty())
        return Plain(400, "target parameter is missing\n");
    Target target;
    std::string error;
    if (targets.size() != 1 || !ParseTarget(targets.front(), target, error)) {
        if (error.empty())
            error = "exactly one target parameter is allowed";
        Log().Log(LogLevel::Debug, "Bad target", {{"target", targets.front()}, {"err", error}});
        return Plain(400, "bad target: " + error + "\n");
    }
    const double wait = ProbeWaitSeconds(Options().timeoutSeconds, &request.scrapeTimeout);
    // The name's lookup counts inside the probe's wait.
    const std::chrono::milliseconds waitMs = platform::Millis(wait);
    std::vector<Target> asked{target};
    const std::vector<Lookup> lookups = ResolveTargets(asked, platform::Clock::now() + waitMs);
    // A name is judged by the address it resolved to; nothing is sent outside the ranges.
    if (lookups.front().error == LookupError::None && !Allowed(Options().allowTargets, asked.front().address)) {
        const std::string where =
            target.Text() + (target.name.empty() ? "" : " (" + ktext::Ipv4Text(asked.front().address) + ")");
        Log().Log(LogLevel::Debug, "Target not allowed", {{"target", where}});
        return Plain(403, "target " + where + " is outside every --allow-target range\n");
    }
    const std::vector<Exchange> result = ExchangeResolved(asked, lookups, waitMs);
    const Exchange &e = result.front();
    m_metrics.CountProbe(e.outcome, e.seconds);
    LogProbe(e);
    // A silent or failing server is a result, not an error of the exporter.
    if (DebugAsked(request))
        return Plain(200, DescribeExchange(e) + "\nmetrics:\n" + ProbeMetricsText(e));
    RouteAnswer a = Plain(200, ProbeMetricsText(e));
    a.contentType = MetricsContentType;
    return a;
}

// A server that stays silent is what the metrics report: debug, as Prometheus'
// blackbox exporter logs failed probes. A request that cannot leave this host
// is the exporter's own trouble: warn.
void Routes::LogProbe(const Exchange &e)
{
    const Failure why = FailureOf(e);
    const LogLevel level = why == Failure::Send ? LogLevel::Warn : LogLevel::Debug;
    Logger &log = Log();
    if (!log.Enabled(level))
        return;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.6f", e.seconds);
    if (why == Failure::None)
        log.Log(level, "Probe succeeded", {{"target", e.target.Text()}, {"duration_seconds", seconds}});
    else if (why == Failure::Resolve)
        log.Log(level, "Probe failed",
                {{"target", e.target.Text()},
                 {"reason", FailureName(why)},
                 {"lookup", LookupErrorText(e.lookup.error)},
                 {"err", e.lookup.detail}});
    else
        log.Log(level, "Probe failed",
                {{"target", e.target.Text()},
                 {"reason", FailureName(why)},
                 {"duration_seconds", seconds},
                 {"reply_bytes", std::to_string(e.replyBytes)}});
}

}  // namespace kprobe
