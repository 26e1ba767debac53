// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's answers without its HTTP layer, against servers on loopback: which targets it refuses (and sends
// nothing to), why a probe failed, the wait it used, the debug account and the log lines of each probe.
#include "tests/probe/records.h"
#include "probe/routes.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace kprobe;

namespace {

RouteRequest Probe(const std::string &target, bool debug = false, const std::string &scrapeTimeout = "")
{
    RouteRequest r;
    r.path = "/probe";
    r.query = {{"target", target}};
    if (debug)
        r.query.emplace_back("debug", "true");
    r.scrapeTimeout = scrapeTimeout;
    return r;
}

}  // namespace

TEST(Routes, TargetsOutsideEveryRangeAre403BadOnes400AndNothingIsSent)
{
    FakePrintServers servers({{ReplyBytes(BuildReply({{"Ready"}}))}});  // on 127.0.0.1
    const std::string good = servers.targets[0].Text(), port = std::to_string(servers.targets[0].port);
    const std::tuple<std::vector<const char *>, std::string, int> cases[] = {
        {{}, good, 200},
        {{"127.0.0.0/8"}, good, 200},
        {{"10.0.0.0/8", "127.0.0.0/30"}, good, 200},
        {{"127.0.0.2/32"}, good, 403},
        {{"10.0.0.0/8", "192.168.0.0/16"}, good, 403},
        {{}, "127.0.0.1" + std::string(1, '\0') + "zz:" + port, 400},  // not the address before the NUL
        {{}, "127.0.0.1:0" + port, 400},
    };
    int sent = 0;
    for (const auto &[ranges, target, status] : cases) {
        ServeOptions options;
        std::string error;
        for (const char *range : ranges)
            EXPECT_TRUE(ParseAddressRange(range, options.allowTargets.emplace_back(), error)) << error;
        ExporterMetrics metrics;
        std::ostringstream logged;
        Logger log(logged, LogLevel::Debug, LogFormat::Logfmt);
        const RouteAnswer a = Routes(options, metrics, log).Answer(Probe(target));
        sent += status == 200 ? 1 : 0;
        const std::string shown = (ranges.empty() ? "-" : ranges[0]) + (" " + target);
        EXPECT_EQ(a.status, status) << shown;
        EXPECT_EQ(servers.requests, sent) << shown;
        EXPECT_EQ(a.body.find("kestrum_up") == std::string::npos, status != 200) << a.body;
        EXPECT_EQ(a.body.find('\0'), std::string::npos) << shown;
    }
}

TEST(Routes, FailureReasonTimeoutDebugAccountAndLog)
{
    const StatusReply reply = BuildReply({{"Ready"}});
    FakePrintServers servers({{ReplyBytes(reply)}, {}, {ReplyBytes(reply, 961)}, {ReplyBytes(reply, 130)}});
    const std::string send = "127.255.255.255:" + std::to_string(servers.targets[0].port);  // refused: a broadcast
    const std::tuple<std::string, const char *, const char *, const char *> cases[] = {
        {servers.targets[0].Text(), "none", "received 960 bytes from 127.0.0.1:", "Probe succeeded"},
        {servers.targets[1].Text(), "silent", "gave up", "reason=silent"},
        {send, "send", "could not be sent: Permission denied", "level=warn msg=\"Probe failed\" "},
        {servers.targets[2].Text(), "oversized", "received 961 bytes", "reason=oversized"},
        {servers.targets[3].Text(), "short", "received 130 bytes", "reason=short"},
    };
    for (const auto &[target, reason, step, logLine] : cases) {
        ServeOptions options;
        options.timeoutSeconds = 5;
        ExporterMetrics metrics;
        std::ostringstream logged;
        Logger log(logged, LogLevel::Debug, LogFormat::Logfmt);
        Routes routes(options, metrics, log);
        // The scrape header cuts the wait: 0.6 - 0.25 s.
        const RouteAnswer plain = routes.Answer(Probe(target, false, "0.6"));
        EXPECT_NE(plain.body.find("\nkestrum_probe_timeout_seconds 0.35\n"), std::string::npos) << plain.body;
        for (const std::string r : {"silent", "send", "oversized", "short"}) {
            const std::string sample = "kestrum_probe_failure{reason=\"" + r + "\"} " + (r == reason ? "1" : "0");
            EXPECT_NE(plain.body.find(sample), std::string::npos) << plain.body;
        }
        EXPECT_NE(logged.str().find(logLine), std::string::npos) << logged.str();
        EXPECT_NE(logged.str().find("target=" + target), std::string::npos) << logged.str();

        const RouteAnswer debug = routes.Answer(Probe(target, true, "0.6"));
        EXPECT_NE(debug.body.find(step), std::string::npos) << debug.body;
        EXPECT_NE(debug.body.find("\nmetrics:\n"), std::string::npos) << debug.body;
        EXPECT_NE(debug.body.find("waiting at most 350.000 ms"), std::string::npos) << debug.body;
    }
}
