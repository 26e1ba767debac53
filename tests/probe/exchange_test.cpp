// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Against fake servers on loopback: many status exchanges at once, each reply to its own request; discovery through the
// link's search; the exporter answering many probes at once, each within the scrape time-out.
#include "tests/probe/fake_servers.h"
#include "status_replies.h"
#include "probe/discover.h"
#include "probe/serve.h"

#include <gtest/gtest.h>
#include <httplib.h>

using namespace kprobe;

namespace {

enum Behaviour { Answer, Silent, Oversized, Short, OtherPort };

// Slot 1 named "server INDEX", sent whole, cut, padded or from the wrong port.
std::vector<ServerAnswer> Answers(const std::vector<Behaviour> &behaviours)
{
    std::vector<ServerAnswer> answers;
    for (std::size_t i = 0; i < behaviours.size(); ++i) {
        const Behaviour b = behaviours[i];
        const std::vector<std::uint8_t> bytes =
            ReplyBytes(BuildReply({{"server " + std::to_string(i)}}), b == Short       ? 130
                                                                      : b == Oversized ? 961
                                                                                       : 960);
        answers.push_back({b == Silent ? std::vector<std::uint8_t>() : bytes, b == OtherPort});
    }
    return answers;
}

}  // namespace

TEST(Exchange, ManyAtOnceEachReplyToItsOwnRequest)
{
    // Some are silent, oversized, short or answer from the wrong port (which must not count); the first is asked twice
    // and answers twice.
    std::vector<Behaviour> behaviours(300);
    for (std::size_t i = 0; i < behaviours.size(); ++i)
        behaviours[i] = i % 10 == 3    ? Silent
                        : i % 50 == 7  ? Oversized
                        : i % 50 == 17 ? Short
                        : i % 50 == 27 ? OtherPort
                                       : Answer;
    FakePrintServers servers(Answers(behaviours));
    std::vector<Target> targets = servers.targets;
    targets.push_back(targets[0]);
    const std::vector<Exchange> result = ExchangeStatus(targets, std::chrono::milliseconds(500));
    ASSERT_EQ(result.size(), targets.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
        const Exchange &e = result[i];
        const Behaviour b = behaviours[i % behaviours.size()];
        const bool answered = b == Answer || b == Short;
        EXPECT_EQ(e.target.Text(), targets[i].Text()) << i;
        const bool oversized = b == Oversized;
        EXPECT_EQ(e.outcome, answered ? Outcome::Reply : oversized ? Outcome::Oversized : Outcome::Silent) << i;
        EXPECT_EQ(e.replyBytes, b == Short ? 130 : oversized ? 961 : answered ? 960 : -1) << i;
        if (answered) {
            EXPECT_EQ(FieldText(e.reply.records[0].printerName), "server " + std::to_string(i % behaviours.size()));
        } else if (!oversized) {
            EXPECT_EQ(e.seconds, 0.5) << i;  // the time waited
        }
    }
    EXPECT_EQ(servers.requests, 301);
    // A reply from another port of a silent server's address is not that server's reply.
    FakePrintServers pair(Answers({Silent, OtherPort}));  // the other port is on the first one's address
    for (const Exchange &e : ExchangeStatus(pair.targets, std::chrono::milliseconds(300)))
        EXPECT_EQ(e.outcome, Outcome::Silent) << e.target.Text();
}

TEST(Discover, TheLinksSearchListsALoopbackServerOnce)
{
    FakePrintServers servers(Answers({Answer}));
    LinkEndpoints ep;
    ep.broadcastAddress = servers.targets[0].address;
    ep.port = servers.targets[0].port;
    ep.gatewayLookup = [](std::uint8_t *) { return false; };
    ep.listenLimitMs = 2500;
    EXPECT_EQ(FormatDiscovery(DiscoverAddresses(ep), DiscoverFormat::Text), "127.0.0.1\n");
}

TEST(Serve, ProbesAtOnceBadTargetsAndItsOwnMetrics)
{
    // Every sixth server is silent, the third oversized.
    std::vector<Behaviour> behaviours(60, Answer);
    for (std::size_t i = 0; i < behaviours.size(); i += 6)
        behaviours[i] = Silent;
    behaviours[2] = Oversized;
    FakePrintServers servers(Answers(behaviours));
    ServeOptions options;
    options.port = 0;
    Logger log(std::cerr, LogLevel::Error, LogFormat::Logfmt);
    Exporter exporter(options, log);
    std::string error;
    ASSERT_TRUE(exporter.Start(error)) << error;
    const auto get = [&](const std::string &path) {
        httplib::Client client("127.0.0.1", exporter.Port());
        client.set_read_timeout(5, 0);
        const auto res = client.Get(path, {{"X-Prometheus-Scrape-Timeout-Seconds", "0.5"}});
        return res ? std::pair(res->status, res->body) : std::pair(-1, std::string());
    };
    std::vector<std::pair<int, std::string>> answers(behaviours.size());
    std::vector<std::thread> clients;
    for (std::size_t i = 0; i < behaviours.size(); ++i)
        clients.emplace_back([&, i] { answers[i] = get("/probe?target=" + servers.targets[i].Text()); });
    for (auto &t : clients)
        t.join();
    for (std::size_t i = 0; i < behaviours.size(); ++i) {
        const auto &[code, body] = answers[i];
        const char *up = behaviours[i] == Answer ? "\nkestrum_up 1\n" : "\nkestrum_up 0\n";
        EXPECT_EQ(code, 200) << i;  // also when down
        EXPECT_NE(body.find(up), std::string::npos) << i << "\n" << body;
    }
    EXPECT_NE(answers[1].second.find(R"(kestrum_printer_info{port="bidirectional",printer="server 1",slot="1"} 1)"),
              std::string::npos);
    // A quarter second short of the scrape time-out.
    EXPECT_NE(answers[0].second.find("\nkestrum_probe_duration_seconds 0.25\n"), std::string::npos)
        << answers[0].second;
    EXPECT_NE(answers[2].second.find("\nkestrum_reply_bytes 961\n"), std::string::npos) << answers[2].second;

    for (const char *path : {"/probe", "/probe?target=", "/probe?target=printer_1.example",
                             "/probe?target=255.255.255.255", "/probe?target=127.0.0.1&target=127.0.0.2"}) {
        const auto [code, body] = get(path);
        EXPECT_EQ(code, 400) << path;
        EXPECT_EQ(body.find("kestrum_up"), std::string::npos) << path;
    }
    EXPECT_EQ(get("/nothing").first, 404);
    // Each answer counted once, under its own handler.
    const std::string metrics = get("/metrics").second;
    for (const char *sample : {R"(kestrum_exporter_http_requests_total{code="200",handler="/probe"} 60)",
                               R"(kestrum_exporter_http_requests_total{code="400",handler="/probe"} 5)",
                               R"(kestrum_exporter_http_requests_total{code="404",handler="other"} 1)",
                               R"(kestrum_exporter_probes_total{outcome="silent"} 10)", "process_cpu_seconds_total"})
        EXPECT_NE(metrics.find(sample), std::string::npos) << sample << "\n" << metrics;
    EXPECT_EQ(metrics.find(R"(code="400",handler="other")"), std::string::npos) << metrics;
}
