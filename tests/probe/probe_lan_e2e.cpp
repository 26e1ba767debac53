// kestrum-probe as a program against simulators on a namespace LAN; run by
// probe_lan_test.sh inside the client namespace. The expected printers come
// from the simulator's own scenario code, read from the same files.
//   env KESTRUM_PROBE=... SCENARIO_A=... SCENARIO_B=... probe_lan_e2e
// server1 (10.213.0.1) serves SCENARIO_A, server2 SCENARIO_B, server3 is
// silent, server4 sends oversized replies; 3 and 4 do not answer discovery.
#include "tools/printsim/scenario.h"
#include "tools/probe/printers.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

using namespace kprobe;

namespace {

std::string Env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? v : "";
}

std::string Slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Result {
    int code = -1;
    std::string out;
    std::string err;
    double seconds = 0;
};

// Runs the probe with these arguments (each single-quoted for the shell).
Result Probe(const std::vector<std::string> &args)
{
    static int n = 0;
    const std::string base = ::testing::TempDir() + "probe_e2e_" + std::to_string(++n);
    std::string command = "'" + Env("KESTRUM_PROBE") + "'";
    for (const std::string &a : args)
        command += " '" + a + "'";
    command += " >" + base + ".out 2>" + base + ".err";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    Result r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(base + ".out");
    r.err = Slurp(base + ".err");
    return r;
}

// What the simulator sends for a scenario file: its printers hold still, so
// any answered request shows the first reply.
std::vector<PrinterView> Expected(const char *variable)
{
    printsim::Scenario scenario;
    std::string error;
    EXPECT_TRUE(printsim::LoadScenarioFile(Env(variable), scenario, error)) << error;
    printsim::Simulation simulation(scenario);
    const StatusReply first = simulation.Reply();
    simulation.Advance();
    const StatusReply second = simulation.Reply();
    EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0) << "the scenario should hold still";
    return ViewPrinters(first);
}

std::string FirstLine(const std::string &text) { return text.substr(0, text.find('\n')); }

}  // namespace

TEST(ProbeLan, DiscoverFindsTheTwoServersThatAnswer)
{
    Result r = Probe({"discover", "--timeout", "8"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "10.213.0.1\n10.213.0.2\n");
    EXPECT_LT(r.seconds, 4.0);  // two seconds after the last answer

    r = Probe({"discover", "--format", "file-sd"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(nlohmann::json::parse(r.out),
              nlohmann::json::parse(R"([{"targets": ["10.213.0.1", "10.213.0.2"], "labels": {}}])"));
}

TEST(ProbeLan, StatusReadsTheScenarioAndJsonReadsBack)
{
    const std::vector<PrinterView> a = Expected("SCENARIO_A");
    const std::vector<PrinterView> b = Expected("SCENARIO_B");
    Result r = Probe({"status", "--json", "10.213.0.1", "10.213.0.2", "10.213.0.3", "10.213.0.4"});
    EXPECT_EQ(r.code, 1) << "a silent server is reported, and the exit code says so";
    EXPECT_LT(r.seconds, 1.8) << "all four at once, within the one-second reply limit";
    const auto servers = nlohmann::json::parse(r.out).at("servers").get<std::vector<ServerStatus>>();
    ASSERT_EQ(servers.size(), 4u);
    EXPECT_EQ(servers[0].outcome, "reply");
    EXPECT_EQ(servers[0].replyBytes, 960);
    ASSERT_EQ(servers[0].printers.size(), a.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        EXPECT_TRUE(servers[0].printers[i] == a[i]) << "server1 printer " << i << "\n" << nlohmann::json(a[i]).dump();
    ASSERT_EQ(servers[1].printers.size(), b.size());
    for (std::size_t i = 0; i < b.size(); ++i)
        EXPECT_TRUE(servers[1].printers[i] == b[i]) << "server2 printer " << i << "\n" << nlohmann::json(b[i]).dump();
    EXPECT_EQ(servers[2].outcome, "silent");
    EXPECT_TRUE(servers[2].printers.empty());
    EXPECT_EQ(servers[3].outcome, "oversized");
    EXPECT_EQ(servers[3].replyBytes, 961);

    // The states the scenario holds, as the monitor names them.
    std::vector<std::string> states;
    for (const PrinterView &p : servers[0].printers)
        states.push_back(p.name + "=" + p.status);
    EXPECT_EQ(states, (std::vector<std::string>{"Ready Idle=ON-LINE", "Paper Tray=PAPER OUT", "Off Line=OFFLINE",
                                                "Jammed=ERROR"}));
    EXPECT_EQ(servers[1].printers[0].name, "Drucker K\xC3\xBC" "che");
    EXPECT_EQ(servers[1].printers[0].user, "J\xC3\xB6rg");
    EXPECT_EQ(servers[1].printers[0].size, std::optional<std::string>("UNKNOWN"));
    EXPECT_EQ(servers[1].printers[0].printed, std::optional<std::string>("UNKNOWN"));

    r = Probe({"status", "10.213.0.2", "10.213.0.3", "--timeout", "0.5"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("Drucker K\xC3\xBC" "che"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("10.213.0.3: no reply within 0.5 s"), std::string::npos) << r.out;
    r = Probe({"status", "10.213.0.1"});
    EXPECT_EQ(r.code, 0);
}

TEST(ProbeLan, CheckJudgesTheScenario)
{
    Result r = Probe({"check", "-H", "10.213.0.1"});
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_EQ(FirstLine(r.out).rfind("KESTRUM CRITICAL: Off Line OFFLINE; Paper Tray PAPER OUT; Jammed ERROR; 1 of 4 "
                                     "printers ready on 10.213.0.1 | ",
                                     0),
              0u)
        << r.out;
    r = Probe({"check", "-H", "10.213.0.1", "--ignore-offline"});
    EXPECT_EQ(r.code, 1) << r.out;
    r = Probe({"check", "-H", "10.213.0.1", "--printer", "Ready Idle"});
    EXPECT_EQ(r.code, 0) << r.out;
    r = Probe({"check", "-H", "10.213.0.2"});
    EXPECT_EQ(r.code, 0) << r.out;
    r = Probe({"check", "-H", "10.213.0.2", "-w", "1", "-c", "5"});
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("'Drucker K\xC3\xBC" "che jobs'=2;1;5;0"), std::string::npos) << r.out;
    r = Probe({"check", "-H", "10.213.0.2", "-c", "@2:2"});
    EXPECT_EQ(r.code, 2) << r.out;

    // A silent server is CRITICAL within the time-out (or the state asked for).
    r = Probe({"check", "-H", "10.213.0.3", "-t", "1"});
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_EQ(FirstLine(r.out), "KESTRUM CRITICAL: no reply from 10.213.0.3 within 1 s | time=1.000000s;;;0;1");
    EXPECT_LT(r.seconds, 1.5);
    r = Probe({"check", "-H", "10.213.0.3", "-t", "0.3:unknown"});
    EXPECT_EQ(r.code, 3) << r.out;
    EXPECT_LT(r.seconds, 0.8);
    r = Probe({"check", "-H", "10.213.0.4"});
    EXPECT_EQ(r.code, 3) << r.out;
    EXPECT_NE(r.out.find("malformed reply"), std::string::npos);
}

TEST(ProbeLan, BadArgumentsAreUsageErrors)
{
    Result r = Probe({"check", "-H", "printer.lan"});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err.rfind("KESTRUM UNKNOWN: ", 0), 0u) << r.err;
    r = Probe({"status", "10.213.0.1", "--timeout", "-1"});
    EXPECT_EQ(r.code, 64);
    r = Probe({"discover", "--format", "yaml"});
    EXPECT_EQ(r.code, 64);
    r = Probe({"serve", "--listen", "nowhere"});
    EXPECT_EQ(r.code, 64);
    r = Probe({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("kestrum-probe ", 0), 0u);
}
