// The exporter's metric texts and the discover command's output forms.
#include "tools/probe/discover.h"
#include "tools/probe/metrics.h"

#include "kestrum_version.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <map>
#include <sstream>

using namespace kprobe;

namespace {

// Every sample line of a metric text: "name{labels}" to value.
std::map<std::string, std::string> Samples(const std::string &text)
{
    std::map<std::string, std::string> samples;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t space = line.rfind(' ');
        samples[line.substr(0, space)] = line.substr(space + 1);
    }
    return samples;
}

Exchange Sample()
{
    Exchange e;
    e.target.address = htonl(0x0AD50001);
    e.outcome = Outcome::Reply;
    e.replyBytes = 960;
    e.seconds = 0.25;
    std::memset(&e.reply, 0, sizeof e.reply);
    PrinterRecord &a = e.reply.records[0];
    std::strcpy(a.printerName, "Laser \"1020\"");
    std::strcpy(a.currentUser, "secret-user");
    const std::uint8_t addr[4] = {192, 168, 7, 77};
    std::memcpy(a.userAddress, addr, 4);
    a.statusFlags = 0x8C;
    a.jobCount = 2;
    a.printedPercent = 40;
    a.docSize = 48213;
    PrinterRecord &b = e.reply.records[1];
    std::strcpy(b.printerName, "K\xFC" "che");
    b.portType = 1;
    b.statusFlags = 0xA0;
    b.jobCount = 1;
    b.docSizeUnknown = 1;
    return e;
}

}  // namespace

TEST(Metrics, ProbeTextNamesEveryState)
{
    const std::string text = ProbeMetricsText(Sample());
    const auto s = Samples(text);
    const std::map<std::string, std::string> expected = {
        {"kestrum_up", "1"},
        {"kestrum_probe_duration_seconds", "0.25"},
        {"kestrum_reply_bytes", "960"},
        {"kestrum_printers", "2"},
        {"kestrum_printer_info{port=\"bidirectional\",printer=\"Laser \\\"1020\\\"\",slot=\"1\"}", "1"},
        {"kestrum_printer_info{port=\"lpt\",printer=\"K\xC3\xBC" "che\",slot=\"2\"}", "1"},
        {"kestrum_printer_online{slot=\"1\"}", "1"},
        {"kestrum_printer_ready{slot=\"1\"}", "1"},
        {"kestrum_printer_busy{slot=\"1\"}", "1"},
        {"kestrum_printer_paper_out{slot=\"1\"}", "0"},
        {"kestrum_printer_fault{slot=\"1\"}", "0"},
        {"kestrum_printer_jobs_queued{slot=\"1\"}", "2"},
        {"kestrum_printer_printed_ratio{slot=\"1\"}", "0.4"},
        {"kestrum_printer_document_bytes{slot=\"1\"}", "48213"},
        {"kestrum_printer_online{slot=\"2\"}", "1"},
        {"kestrum_printer_ready{slot=\"2\"}", "0"},
        {"kestrum_printer_busy{slot=\"2\"}", "0"},
        {"kestrum_printer_paper_out{slot=\"2\"}", "1"},
        {"kestrum_printer_fault{slot=\"2\"}", "0"},
        {"kestrum_printer_jobs_queued{slot=\"2\"}", "1"},
    };
    EXPECT_EQ(s, expected) << text;
    // Users and their addresses never reach Prometheus.
    EXPECT_EQ(text.find("secret-user"), std::string::npos);
    EXPECT_EQ(text.find("192.168.7.77"), std::string::npos);
    EXPECT_NE(text.find("# TYPE kestrum_up gauge"), std::string::npos);
}

TEST(Metrics, SilentAndOversizedServersAreDown)
{
    Exchange e = Sample();
    e.outcome = Outcome::Silent;
    e.replyBytes = -1;
    e.seconds = 1;
    EXPECT_EQ(Samples(ProbeMetricsText(e)),
              (std::map<std::string, std::string>{{"kestrum_up", "0"}, {"kestrum_probe_duration_seconds", "1"}}));
    e.outcome = Outcome::Oversized;
    e.replyBytes = 961;
    EXPECT_EQ(Samples(ProbeMetricsText(e)),
              (std::map<std::string, std::string>{
                  {"kestrum_up", "0"}, {"kestrum_probe_duration_seconds", "1"}, {"kestrum_reply_bytes", "961"}}));
}

TEST(Metrics, ExporterCountsItsWork)
{
    ExporterMetrics m;
    m.CountProbe(Outcome::Reply, 0.5);
    m.CountProbe(Outcome::Silent, 1);
    m.CountProbe(Outcome::Silent, 1);
    m.CountRequest("/probe", 200);
    m.CountRequest("/probe", 400);
    const auto s = Samples(m.Text());
    EXPECT_EQ(s.at("kestrum_exporter_probes_total{outcome=\"reply\"}"), "1");
    EXPECT_EQ(s.at("kestrum_exporter_probes_total{outcome=\"silent\"}"), "2");
    EXPECT_EQ(s.at("kestrum_exporter_probes_total{outcome=\"oversized\"}"), "0");
    EXPECT_EQ(s.at("kestrum_exporter_probe_seconds_total"), "2.5");
    EXPECT_EQ(s.at("kestrum_exporter_http_requests_total{code=\"400\",handler=\"/probe\"}"), "1");
    EXPECT_TRUE(s.count("process_cpu_seconds_total"));
    EXPECT_EQ(s.at("kestrum_exporter_build_info{version=\"" KESTRUM_VERSION "\"}"), "1");
}

TEST(Discovery, OutputForms)
{
    const std::vector<std::uint32_t> found = {htonl(0x0AD50001), htonl(0x0AD50002)};
    EXPECT_EQ(FormatDiscovery(found, DiscoverFormat::Text), "10.213.0.1\n10.213.0.2\n");
    const auto json = nlohmann::json::parse(FormatDiscovery(found, DiscoverFormat::Json));
    EXPECT_EQ(json, nlohmann::json::parse(R"({"servers": ["10.213.0.1", "10.213.0.2"]})"));
    // The file_sd form is what Prometheus reads: a list of target groups.
    const auto sd = nlohmann::json::parse(FormatDiscovery(found, DiscoverFormat::FileSd));
    EXPECT_EQ(sd, nlohmann::json::parse(R"([{"targets": ["10.213.0.1", "10.213.0.2"], "labels": {}}])"));
    EXPECT_EQ(nlohmann::json::parse(FormatDiscovery({}, DiscoverFormat::FileSd)), nlohmann::json::array());
    EXPECT_EQ(FormatDiscovery({}, DiscoverFormat::Text), "");
}
