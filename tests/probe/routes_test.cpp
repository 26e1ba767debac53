// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's answers without its HTTP layer, against servers on loopback:
// which targets it refuses (and sends nothing to), why a probe failed, the
// wait it used, the debug account and the log lines of each probe.
#include "tests/probe/records.h"
#include "tests/probe/scripted_server.h"
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

std::vector<AddressRange> Ranges(std::vector<const char *> texts)
{
    std::vector<AddressRange> ranges;
    for (const char *text : texts) {
        AddressRange r;
        std::string error;
        EXPECT_TRUE(ParseAddressRange(text, r, error)) << text << ": " << error;
        ranges.push_back(r);
    }
    return ranges;
}

}  // namespace

TEST(AllowTarget, RangesParsedStrictly)
{
    const std::tuple<const char *, const char *> good[] = {
        {"10.0.0.0/8", "10.0.0.0/8"},   {"192.0.2.7/32", "192.0.2.7/32"},   {"0.0.0.0/0", "0.0.0.0/0"},
        {"127.0.0.0/8", "127.0.0.0/8"}, {"172.16.0.0/12", "172.16.0.0/12"},
    };
    for (const auto &[text, back] : good) {
        AddressRange r;
        std::string error;
        EXPECT_TRUE(ParseAddressRange(text, r, error)) << text << ": " << error;
        EXPECT_EQ(r.Text(), back) << text;
    }
    const std::tuple<std::string, const char *> bad[] = {
        {"10.0.0.1/8", "did you mean 10.0.0.0/8?"},
        {"10.0.0.0", "not an IPv4 range"},
        {"10.0.0.0/", "not an IPv4"},
        {"10.0.0.0/33", "not an IPv4"},
        {"10.0.0.0/08", "not an IPv4"},
        {"10.0.0.0/-1", "not an IPv4"},
        {"10.0.0/8", "not an IPv4"},
        {"010.0.0.0/8", "not an IPv4"},
        {"10.0.0.0/8 ", "not an IPv4"},
        {std::string("10.0.0.0\0/8", 11), "not an IPv4"},
        {"::1/128", "not an IPv4"},
        {"", "not an IPv4"},
        {"10.0.0.0/8/8", "not an IPv4"},
    };
    for (const auto &[text, reason] : bad) {
        AddressRange r;
        std::string error;
        EXPECT_FALSE(ParseAddressRange(text, r, error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << text << ": " << error;
    }
}

TEST(AllowTarget, OutsideEveryRangeIs403AndNothingIsSent)
{
    ScriptedServer server(ReplyBytes(Reply({Record("Ready")}).reply));  // on 127.0.0.1
    struct Case {
        std::vector<const char *> ranges;
        int status;
    };
    const Case cases[] = {
        {std::vector<const char *>(), 200},      {{"127.0.0.0/8"}, 200}, {{"127.0.0.1/32"}, 200},
        {{"10.0.0.0/8", "127.0.0.0/30"}, 200},   {{"0.0.0.0/0"}, 200},   {{"127.0.0.2/32"}, 403},
        {{"10.0.0.0/8", "192.168.0.0/16"}, 403}, {{"128.0.0.0/1"}, 403},
    };
    int sent = 0;
    for (const auto &[ranges, status] : cases) {
        ServeOptions options;
        options.allowTargets = Ranges(ranges);
        ExporterMetrics metrics;
        std::ostringstream logged;
        Logger log(logged, LogLevel::Debug, LogFormat::Logfmt);
        const RouteAnswer a = Routes(options, metrics, log).Answer(Probe(server.target.Text()));
        sent += status == 200 ? 1 : 0;
        EXPECT_EQ(a.status, status) << (ranges.empty() ? "-" : ranges[0]);
        EXPECT_EQ(server.requests, sent) << (ranges.empty() ? "-" : ranges[0]);
        EXPECT_EQ(a.body.find("kestrum_up") == std::string::npos, status == 403) << a.body;
        if (status == 403) {
            EXPECT_NE(logged.str().find("msg=\"Target not allowed\" target=127.0.0.1:"), std::string::npos);
        }
    }
}

TEST(Routes, BadTargetsAre400BeforeAnythingIsSent)
{
    ScriptedServer server(ReplyBytes(Reply({Record("Ready")}).reply));
    const std::string port = std::to_string(server.target.port);
    const std::string targets[] = {
        "127.0.0.1" + std::string(1, '\0') + "zz:" + port,
        "127.0.0.1:" + port + std::string(1, '\0'),
        "127.0.0.1\n:" + port,
        "127.0.0.1:\t" + port,
        "127.0.0.1:0" + port,
        "127.0.0.1:00001",
        "127.0.0.1\x7f:" + port,
        "",
    };
    ExporterMetrics metrics;
    std::ostringstream logged;
    Logger log(logged, LogLevel::Info, LogFormat::Logfmt);
    const ServeOptions options;
    Routes routes(options, metrics, log);
    for (const std::string &target : targets) {
        const RouteAnswer a = routes.Answer(Probe(target));
        EXPECT_EQ(a.status, 400) << target;
        EXPECT_EQ(a.body.find('\0'), std::string::npos);
    }
    EXPECT_EQ(server.requests, 0);
    EXPECT_EQ(routes.Answer(Probe("127.0.0.1:" + port)).status, 200);  // the same server, asked properly
    EXPECT_EQ(server.requests, 1);
}

TEST(Routes, FailureReasonTimeoutDebugAccountAndLog)
{
    const StatusReply reply = Reply({Record("Ready")}).reply;
    ScriptedServer full(ReplyBytes(reply)), silent({}), oversized(ReplyBytes(reply, 961)), cut(ReplyBytes(reply, 130));
    const std::string send = "127.255.255.255:" + std::to_string(full.target.port);  // refused: a broadcast
    const std::tuple<std::string, const char *, const char *, const char *> cases[] = {
        {full.target.Text(), "none", "received 960 bytes from 127.0.0.1:", "Probe succeeded"},
        {silent.target.Text(), "silent", "gave up", "reason=silent"},
        {send, "send", "could not be sent: Permission denied", "level=warn msg=\"Probe failed\" "},
        {oversized.target.Text(), "oversized", "received 961 bytes", "reason=oversized"},
        {cut.target.Text(), "short", "received 130 bytes", "reason=short"},
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
        for (const char *r : {"silent", "send", "oversized", "short"})
            EXPECT_NE(plain.body.find(std::string("kestrum_probe_failure{reason=\"") + r + "\"} " +
                                      (r == std::string(reason) ? "1" : "0")),
                      std::string::npos)
                << reason << "\n"
                << plain.body;
        EXPECT_NE(logged.str().find(logLine), std::string::npos) << logged.str();
        EXPECT_NE(logged.str().find("target=" + target), std::string::npos) << logged.str();

        const RouteAnswer debug = routes.Answer(Probe(target, true, "0.6"));
        EXPECT_EQ(debug.contentType, "text/plain; charset=utf-8");
        EXPECT_NE(debug.body.find(step), std::string::npos) << debug.body;
        EXPECT_NE(debug.body.find("\nmetrics:\n"), std::string::npos) << debug.body;
        EXPECT_NE(debug.body.find("waiting at most 350.000 ms"), std::string::npos) << debug.body;
    }
}

TEST(Routes, OwnMetricsCountDescriptors)
{
    ExporterMetrics metrics;
    std::ostringstream logged;
    Logger log(logged, LogLevel::Info, LogFormat::Json);
    RouteRequest r;
    r.path = "/metrics";
    const std::string text = Routes(ServeOptions(), metrics, log).Answer(r).body;
    for (const char *family : {"\nprocess_open_fds ", "\nprocess_max_fds ", "\n# TYPE process_open_fds gauge\n"})
        EXPECT_NE(text.find(family), std::string::npos) << family << "\n" << text;
    EXPECT_EQ(logged.str(), "");  // nothing worth a line at info
}
