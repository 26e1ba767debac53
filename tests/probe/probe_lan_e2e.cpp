// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-probe as a program on a namespace LAN, run by probe_lan_test.sh in the client namespace: server1 (10.213.0.1)
// serves SCENARIO_A, server2 SCENARIO_B, server3 is silent, server4 sends oversized replies; 3 and 4 do not answer
// discovery. The expected printers come from the simulator's own scenario code reading the same files.
//   env KESTRUM_PROBE=... SCENARIO_A=... SCENARIO_B=... probe_lan_e2e
#include "printsim/scenario.h"
#include "probe/printers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace kprobe;

namespace {

// Runs the probe with these arguments: its exit code, stdout and stderr.
std::tuple<int, std::string, std::string> Probe(std::vector<std::string> args)
{
    const std::string base = ::testing::TempDir() + "probe_e2e";
    std::string command = std::string("'") + std::getenv("KESTRUM_PROBE") + "'";
    for (const std::string &a : args)
        command += " '" + a + "'";
    const int status = std::system((command + " >" + base + ".out 2>" + base + ".err").c_str());
    std::ostringstream out, err;
    out << std::ifstream(base + ".out").rdbuf();
    err << std::ifstream(base + ".err").rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out.str(), err.str()};
}

// What the simulator sends for a scenario file: its printers hold still.
std::vector<PrinterView> Expected(const char *variable)
{
    printsim::Scenario scenario;
    std::string error;
    EXPECT_TRUE(printsim::LoadScenarioFile(std::getenv(variable), scenario, error)) << error;
    return ViewPrinters(printsim::Simulation(scenario).Reply());
}

}  // namespace

TEST(ProbeLan, StatusReadsTheScenarios)
{
    const auto [code, out, err] = Probe({"status", "--json", "10.213.0.1", "10.213.0.2", "10.213.0.3", "10.213.0.4"});
    EXPECT_EQ(code, 1) << err;  // a silent server is reported, and the exit code says so
    const nlohmann::json servers = nlohmann::json::parse(out).at("servers");
    ASSERT_EQ(servers.size(), 4u);
    EXPECT_EQ(servers[0]["outcome"], OutcomeName(Outcome::Reply));
    EXPECT_EQ(servers[0]["printers"], nlohmann::json(Expected("SCENARIO_A"))) << out;
    EXPECT_EQ(servers[1]["outcome"], OutcomeName(Outcome::Reply));
    EXPECT_EQ(servers[1]["printers"], nlohmann::json(Expected("SCENARIO_B"))) << out;
    EXPECT_EQ(servers[2]["outcome"], OutcomeName(Outcome::Silent));
    EXPECT_TRUE(servers[2]["printers"].empty());
    EXPECT_EQ(servers[3]["outcome"], OutcomeName(Outcome::Oversized));
    EXPECT_EQ(servers[3]["reply_bytes"], 961);
    // 8-bit names and users, and a size the server does not know.
    EXPECT_EQ(servers[1]["printers"].at(0)["user"], "J\xC3\xB6rg");
    EXPECT_EQ(servers[1]["printers"].at(0)["size"], "UNKNOWN");
}

// The plugin's states on the real simulator; Nagios and Icinga 2 run its other options in tests/probe/monitoring.
TEST(ProbeLan, CheckJudgesTheScenarios)
{
    const std::tuple<std::vector<std::string>, int, const char *> cases[] = {
        {{"-H", "10.213.0.1"}, 2, "CRITICAL: Off Line OFFLINE; Paper Tray PAPER OUT; Jammed ERROR; 1 of 4 printers"},
        {{"-H", "10.213.0.2", "-w", "1", "-c", "5"},
         1,
         "'Drucker K\xC3\xBC"
         "che jobs'=2;1;5;0"},
        {{"-H", "10.213.0.3", "-t", "0.3:unknown"}, 3, "UNKNOWN: no reply from 10.213.0.3 within 0.3 s | time=0.3"},
        {{"-H", "10.213.0.4"}, 3, "UNKNOWN: malformed reply"},
    };
    for (const auto &[args, expected, part] : cases) {
        std::vector<std::string> line = {"check"};
        line.insert(line.end(), args.begin(), args.end());
        const auto [code, out, err] = Probe(line);
        EXPECT_EQ(code, expected) << out << err;
        // What the plugin says goes to stdout: monitoring systems read nothing else.
        EXPECT_EQ(out.rfind("KESTRUM ", 0), 0u) << out << err;
        EXPECT_NE(out.find(part), std::string::npos) << out << err;
    }
}
