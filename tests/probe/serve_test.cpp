// The exporter over HTTP on loopback: /probe answers per target, 400 on a
// missing or bad target, a silent server is kestrum_up 0 with 200 within the
// scrape time-out, /metrics counts it all.
#include "tools/probe/metrics.h"
#include "tools/probe/serve.h"

#include "tests/probe/fake_servers.h"

#include <gtest/gtest.h>
#include <httplib.h>

using namespace kprobe;

namespace {

struct Fixture {
    ServeOptions options;
    std::unique_ptr<Exporter> exporter;
    std::unique_ptr<httplib::Client> client;

    Fixture()
    {
        options.port = 0;
        options.timeoutSeconds = 1.0;
        exporter = std::make_unique<Exporter>(options);
        std::string error;
        if (!exporter->Start(error))
            ADD_FAILURE() << error;
        client = std::make_unique<httplib::Client>("127.0.0.1", exporter->Port());
        client->set_read_timeout(5, 0);
    }
};

}  // namespace

TEST(Serve, ProbeAnswersPerTarget)
{
    FakeServers servers({Behaviour::Answer, Behaviour::Silent, Behaviour::Oversized});
    Fixture f;
    auto res = f.client->Get(("/probe?target=" + servers.Targets()[0].Text()).c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), MetricsContentType);
    EXPECT_NE(res->body.find("\nkestrum_up 1\n"), std::string::npos) << res->body;
    EXPECT_NE(res->body.find("kestrum_printer_info{port=\"bidirectional\",printer=\"server 0\",slot=\"1\"} 1"),
              std::string::npos)
        << res->body;

    // Silent: 200 with kestrum_up 0, within the scrape time-out less its margin.
    const auto start = std::chrono::steady_clock::now();
    res = f.client->Get(("/probe?target=" + servers.Targets()[1].Text()).c_str(),
                        httplib::Headers{{"X-Prometheus-Scrape-Timeout-Seconds", "0.5"}});
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("\nkestrum_up 0\n"), std::string::npos) << res->body;
    EXPECT_NE(res->body.find("\nkestrum_probe_duration_seconds 0.25\n"), std::string::npos) << res->body;
    EXPECT_LT(took, 0.5);

    res = f.client->Get(("/probe?target=" + servers.Targets()[2].Text()).c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("\nkestrum_up 0\n"), std::string::npos);
    EXPECT_NE(res->body.find("\nkestrum_reply_bytes 961\n"), std::string::npos);
}

TEST(Serve, MissingOrBadTargetIs400)
{
    Fixture f;
    for (const char *path : {"/probe", "/probe?target=", "/probe?target=printer.example", "/probe?target=10.0.0",
                             "/probe?target=255.255.255.255", "/probe?target=10.0.0.1&target=10.0.0.2",
                             "/probe?target=10.0.0.1:0"}) {
        auto res = f.client->Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 400) << path;
        EXPECT_EQ(res->body.find("kestrum_up"), std::string::npos) << path;
    }
    auto res = f.client->Get("/nothing");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    res = f.client->Get("/metrics");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("kestrum_exporter_http_requests_total{code=\"400\",handler=\"/probe\"} 7"),
              std::string::npos)
        << res->body;
    EXPECT_NE(res->body.find("process_cpu_seconds_total"), std::string::npos);
    // Each answer is counted once, under its own handler.
    EXPECT_EQ(res->body.find("code=\"400\",handler=\"other\""), std::string::npos) << res->body;
    EXPECT_NE(res->body.find("kestrum_exporter_http_requests_total{code=\"404\",handler=\"other\"} 1"),
              std::string::npos)
        << res->body;
}

TEST(Serve, ManyProbesAtOnce)
{
    std::vector<Behaviour> behaviours(60, Behaviour::Answer);
    for (std::size_t i = 0; i < behaviours.size(); i += 6)
        behaviours[i] = Behaviour::Silent;
    FakeServers servers(behaviours);
    Fixture f;
    std::vector<std::thread> clients;
    std::vector<int> up(behaviours.size(), -1);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < behaviours.size(); ++i) {
        clients.emplace_back([&, i] {
            httplib::Client c("127.0.0.1", f.exporter->Port());
            c.set_read_timeout(5, 0);
            auto res = c.Get(("/probe?target=" + servers.Targets()[i].Text()).c_str());
            if (res && res->status == 200)
                up[i] = res->body.find("\nkestrum_up 1\n") != std::string::npos ? 1 : 0;
        });
    }
    for (auto &t : clients)
        t.join();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (std::size_t i = 0; i < behaviours.size(); ++i)
        EXPECT_EQ(up[i], behaviours[i] == Behaviour::Answer ? 1 : 0) << i;
    // Concurrent: the silent ones overlap instead of adding up.
    EXPECT_LT(took, 2.0);
}

TEST(Serve, ListenAddressIsChecked)
{
    ServeOptions o;
    std::string error;
    EXPECT_TRUE(ParseListen("0.0.0.0:0", o, error));
    EXPECT_EQ(o.host, "0.0.0.0");
    EXPECT_FALSE(ParseListen("9150", o, error));
    EXPECT_FALSE(ParseListen(":9150", o, error));
    // A port that cannot be had is an error, not a hang.
    Fixture f;
    ServeOptions taken;
    taken.port = f.exporter->Port();
    Exporter second(taken);
    EXPECT_FALSE(second.Start(error));
    EXPECT_NE(error.find("cannot listen"), std::string::npos);
}
