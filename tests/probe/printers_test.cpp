// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the probe reports (the monitor's texts, read in view_test): JSON, the text table, the exporter's metrics,
// discover's output forms.
#include "tests/probe/records.h"
#include "probe/discover.h"
#include "probe/metrics.h"
#include "probe/printers.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace kprobe;

TEST(Printers, JsonCarriesEveryValue)
{
    // Every key of a printer, in the types a reader expects; the rest is read on the namespace LAN.
    const nlohmann::json servers = nlohmann::json::parse(StatusJson({MakeServerStatus(Scenario())})).at("servers");
    EXPECT_EQ(servers[0]["printers"][0], nlohmann::json::parse(R"({"busy": true, "doc_size": 1536,
        "doc_size_unknown": false, "fault": false, "jobs": 2, "name": "Laser \"1020\"", "online": true,
        "paper_out": false, "port_type": "Bi-direction", "printed": "37%", "printed_percent": 37,
        "printed_ratio": 0.37, "ready": true, "size": "1.50K Bytes", "slot": 1, "status": "BUSY",
        "status_flags": 140, "user": "alice", "user_address": "192.168.1.20"})"));
    EXPECT_EQ(servers[0]["printers"][1]["printed_ratio"], nullptr);  // unknown
}

TEST(Printers, TextTableLinesUpByCharacters)
{
    Exchange silent = Scenario();
    silent.outcome = Outcome::Silent;
    std::istringstream text(StatusText({MakeServerStatus(Scenario()), MakeServerStatus(silent)}, 1.0));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[6], "10.213.0.1: no reply within 1 s");
    // The STATUS column starts at the same character in the heading and under a name with a two-byte one.
    EXPECT_EQ(lines[3].find("PAPER OUT"), lines[1].find("STATUS") + 1) << lines[1] << "\n" << lines[3];
}

TEST(Metrics, EveryStateByPrinterAndNoUsers)
{
    const std::string text = ProbeMetricsText(Scenario());
    for (const char *sample :
         {"kestrum_up 1", R"(kestrum_printer_info{port="bidirectional",printer="Laser \"1020\"",slot="1"} 1)",
          "kestrum_printer_info{port=\"lpt\",printer=\"Drucker K\xC3\xBC"
          "che\",slot=\"3\"} 1",
          R"(kestrum_printer_busy{slot="1"} 1)", R"(kestrum_printer_printed_ratio{slot="1"} 0.37)",
          R"(kestrum_printer_document_bytes{slot="1"} 1536)", R"(kestrum_printer_paper_out{slot="3"} 1)",
          R"(kestrum_printer_online{slot="4"} 0)", R"(kestrum_printer_fault{slot="8"} 1)"})
        EXPECT_NE(text.find(std::string("\n") + sample + "\n"), std::string::npos) << sample << "\n" << text;
    EXPECT_EQ(text.find(R"(kestrum_printer_document_bytes{slot="3"})"), std::string::npos);  // size unknown
    // Users and their addresses never reach Prometheus.
    EXPECT_EQ(text.find("alice"), std::string::npos);
    EXPECT_EQ(text.find("192.168.1.20"), std::string::npos);

    // Without a reply the server is down, with nothing about printers.
    Exchange e = Scenario();
    e.outcome = Outcome::Oversized;
    e.replyBytes = 961;
    const std::string down = ProbeMetricsText(e);
    EXPECT_NE(down.find("\nkestrum_up 0\n"), std::string::npos) << down;
    EXPECT_NE(down.find("\nkestrum_probe_failure{reason=\"oversized\"} 1\n"), std::string::npos) << down;
    EXPECT_EQ(down.find("kestrum_printer"), std::string::npos) << down;
}

TEST(Discovery, OutputForms)
{
    const std::vector<std::uint32_t> found = {htonl(0x0AD50001), htonl(0x0AD50002)};
    const auto json = [&](DiscoverFormat f) { return nlohmann::json::parse(FormatDiscovery(found, f)); };
    EXPECT_EQ(json(DiscoverFormat::Json), nlohmann::json::parse(R"({"servers": ["10.213.0.1", "10.213.0.2"]})"));
    // The file_sd form is what Prometheus reads: a list of target groups, none when nobody answered.
    EXPECT_EQ(json(DiscoverFormat::FileSd),
              nlohmann::json::parse(R"([{"targets": ["10.213.0.1", "10.213.0.2"], "labels": {}}])"));
    EXPECT_EQ(FormatDiscovery({}, DiscoverFormat::FileSd), "[]\n");
}
