// The command line: parsing never exits, usage errors have usage exit codes,
// --help and --version work everywhere.
#include "tools/probe/cli.h"

#include "kestrum_version.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace kprobe;

namespace {

struct Ran {
    int code;
    std::string out;
    std::string err;
};

Ran Main(std::vector<const char *> args)
{
    args.insert(args.begin(), "kestrum-probe");
    std::ostringstream out, err;
    const CommandLine line = ParseCommandLine(static_cast<int>(args.size()), args.data());
    // Only lines that parsing finished are run here: nothing touches the network.
    if (!line.finished)
        return Ran{-1, "", ""};
    const int code = RunCommandLine(line, out, err);
    return Ran{code, out.str(), err.str()};
}

CommandLine Parse(std::vector<const char *> args)
{
    args.insert(args.begin(), "kestrum-probe");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

}  // namespace

TEST(CommandLine, HelpAndVersionEverywhere)
{
    for (auto args : std::vector<std::vector<const char *>>{
             {"--help"}, {"discover", "--help"}, {"status", "--help"}, {"check", "--help"}, {"serve", "-h"}}) {
        const Ran r = Main(args);
        EXPECT_EQ(r.code, 0) << args.front();
        EXPECT_NE(r.out.find("Usage: kestrum-probe"), std::string::npos) << r.out;
        EXPECT_TRUE(r.err.empty());
    }
    EXPECT_NE(Main({"check", "--help"}).out.find("--ignore-offline"), std::string::npos);
    EXPECT_EQ(Main({"--version"}).out, "kestrum-probe " KESTRUM_VERSION "\n");
    EXPECT_EQ(Main({"check", "-V"}).out, "kestrum-probe " KESTRUM_VERSION "\n");
}

TEST(CommandLine, UsageErrorsHaveUsageExitCodes)
{
    struct Case {
        std::vector<const char *> args;
        int code;
        const char *message;
    };
    const Case cases[] = {
        {{}, 64, "A subcommand is required"},
        {{"frobnicate"}, 64, "frobnicate"},
        {{"status"}, 64, "ADDRESS is required"},
        {{"status", "printer.example"}, 64, "'printer.example' is not an IPv4 address"},
        {{"status", "10.0.0.1", "--timeout", "0"}, 64, "--timeout"},
        {{"status", "10.0.0.1", "--timeout", "abc"}, 64, "--timeout"},
        {{"status", "10.0.0.1", "--bogus"}, 64, "--bogus"},
        {{"discover", "--format", "xml"}, 64, "--format"},
        {{"discover", "--timeout", "301"}, 64, "--timeout"},
        {{"discover", "10.0.0.1"}, 64, "10.0.0.1"},
        {{"serve", "--listen", "localhost:9150"}, 64, "not ADDR:PORT"},
        {{"serve", "--listen", "127.0.0.1:99999"}, 64, "not a port number"},
        {{"serve", "--max-connections", "0"}, 64, "--max-connections"},
        // check is a plugin: a bad command line is UNKNOWN.
        {{"check"}, 3, "KESTRUM UNKNOWN: --hostname is required"},
        {{"check", "-H", "10.0.0"}, 3, "KESTRUM UNKNOWN: -H: '10.0.0' is not an IPv4 address"},
        {{"check", "-H", "10.0.0.1", "-w", "20:10"}, 3, "KESTRUM UNKNOWN: -w: bad range '20:10'"},
        {{"check", "-H", "10.0.0.1", "-c", "x"}, 3, "KESTRUM UNKNOWN: -c: bad range 'x'"},
        {{"check", "-H", "10.0.0.1", "-t", "5:maybe"}, 3, "KESTRUM UNKNOWN: -t: 'maybe'"},
        {{"check", "-H", "10.0.0.1", "-t", "0"}, 3, "KESTRUM UNKNOWN: -t: '0'"},
        {{"check", "-H", "10.0.0.1", "--nope"}, 3, "KESTRUM UNKNOWN"},
    };
    for (const Case &c : cases) {
        const Ran r = Main(c.args);
        EXPECT_EQ(r.code, c.code) << (c.args.empty() ? "" : c.args.front()) << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
    }
}

TEST(CommandLine, GoodLinesCarryTheirOptions)
{
    CommandLine l = Parse({"status", "10.0.0.1", "10.0.0.2:6000", "--json", "--timeout", "0.5"});
    ASSERT_FALSE(l.finished) << l.text;
    EXPECT_EQ(l.command, Command::Status);
    ASSERT_EQ(l.targets.size(), 2u);
    EXPECT_EQ(l.targets[1].Text(), "10.0.0.2:6000");
    EXPECT_TRUE(l.json);
    EXPECT_EQ(l.statusTimeout, 0.5);

    l = Parse({"check", "-H", "10.0.0.1", "-t", "3:unknown", "-w", "5", "-c", "@10:20", "--printer", "Laser 1020",
               "--ignore-offline"});
    ASSERT_FALSE(l.finished) << l.text;
    EXPECT_EQ(l.command, Command::Check);
    EXPECT_EQ(l.check.timeoutSeconds, 3);
    EXPECT_EQ(l.check.timeoutState, StateUnknown);
    ASSERT_TRUE(l.check.warning && l.check.critical);
    EXPECT_TRUE(l.check.critical->inside);
    EXPECT_EQ(l.check.printer, std::optional<std::string>("Laser 1020"));
    EXPECT_TRUE(l.check.ignoreOffline);
    // Defaults: one second, CRITICAL.
    l = Parse({"check", "-H", "10.0.0.1", "-w", "-5:"});
    ASSERT_FALSE(l.finished) << l.text;
    EXPECT_EQ(l.check.timeoutSeconds, 1);
    EXPECT_EQ(l.check.timeoutState, StateCritical);
    EXPECT_FALSE(l.check.warning->Alerts(-5));

    l = Parse({"discover", "--format", "file-sd", "--timeout", "3"});
    ASSERT_FALSE(l.finished) << l.text;
    EXPECT_EQ(l.format, DiscoverFormat::FileSd);
    EXPECT_EQ(l.discoverTimeout, 3);

    l = Parse({"serve"});
    ASSERT_FALSE(l.finished);
    EXPECT_EQ(l.serve.host, "127.0.0.1");  // loopback unless asked
    EXPECT_EQ(l.serve.port, 9150);
    l = Parse({"serve", "--listen", "0.0.0.0:9999", "--timeout", "0.5"});
    EXPECT_EQ(l.serve.host, "0.0.0.0");
    EXPECT_EQ(l.serve.port, 9999);
    EXPECT_EQ(l.serve.timeoutSeconds, 0.5);
}

TEST(CommandLine, ScrapeTimeoutBoundsTheWait)
{
    const std::string ten = "10", half = "0.5", tiny = "0.1", junk = "soon", none;
    EXPECT_EQ(ProbeWaitSeconds(1.0, nullptr), 1.0);
    EXPECT_EQ(ProbeWaitSeconds(1.0, &none), 1.0);
    EXPECT_EQ(ProbeWaitSeconds(1.0, &ten), 1.0);
    EXPECT_EQ(ProbeWaitSeconds(1.0, &half), 0.25);
    EXPECT_EQ(ProbeWaitSeconds(1.0, &tiny), 0.05);
    EXPECT_EQ(ProbeWaitSeconds(1.0, &junk), 1.0);
}
