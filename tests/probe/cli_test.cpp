// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: usage errors have usage exit codes (check's are UNKNOWN,
// as for any plugin), --help and --version work everywhere, good lines carry
// their options. Only lines that parsing finished are run: nothing here
// touches the network.
#include "probe/cli.h"

#include "kestrum_version.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace kprobe;

namespace {

using Args = std::vector<const char *>;

CommandLine Parse(Args args)
{
    args.insert(args.begin(), "kestrum-probe");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

// The exit code, stdout and stderr.
std::tuple<int, std::string, std::string> Finished(const Args &args)
{
    const CommandLine line = Parse(args);
    std::ostringstream out, err;
    const int code = line.finished ? RunCommandLine(line, out, err) : -1;
    return {code, out.str(), err.str()};
}

}  // namespace

TEST(CommandLine, HelpAndVersionEverywhere)
{
    // Each help on stdout, naming what belongs to its own command.
    const std::pair<Args, std::vector<std::string>> helps[] = {
        {{"--help"}, {"discover", "status", "check", "serve"}},
        {{"discover", "--help"}, {"--format", "--timeout"}},
        {{"check", "--help"}, {"--hostname", "--ignore-offline"}},
        {{"serve", "-h"}, {"--listen"}},
    };
    for (const auto &[args, names] : helps) {
        const auto [code, out, err] = Finished(args);
        EXPECT_EQ(code, 0) << args.front();
        EXPECT_EQ(err, "") << args.front();
        for (const std::string &name : names)
            EXPECT_NE(out.find(name), std::string::npos) << args.front() << " lacks " << name << ":\n" << out;
    }
    EXPECT_EQ(std::get<1>(Finished({"check", "-V"})), "kestrum-probe " KESTRUM_VERSION "\n");
}

TEST(CommandLine, UsageErrorsHaveUsageExitCodes)
{
    const std::tuple<Args, int, const char *> cases[] = {
        {{}, 64, "A subcommand is required"},
        {{"frobnicate"}, 64, "frobnicate"},
        {{"status"}, 64, "ADDRESS is required"},
        {{"status", "printer.example"}, 64, "'printer.example' is not an IPv4 address"},
        {{"status", "10.0.0.1", "--bogus"}, 64, "--bogus"},
        {{"discover", "--format", "xml"}, 64, "--format"},
        {{"discover", "--timeout", "301"}, 64, "--timeout"},
        {{"discover", "10.0.0.1"}, 64, "10.0.0.1"},
        {{"serve", "--listen", "localhost:9150"}, 64, "not ADDR:PORT"},
        {{"serve", "--listen", "127.0.0.1:99999"}, 64, "not a port number"},
        {{"check"}, 3, "KESTRUM UNKNOWN: --hostname is required"},
        {{"check", "-H", "10.0.0"}, 3, "KESTRUM UNKNOWN: -H: '10.0.0' is not an IPv4 address"},
        {{"check", "-H", "10.0.0.1", "-w", "20:10"}, 3, "KESTRUM UNKNOWN: -w: bad range '20:10'"},
        {{"check", "-H", "10.0.0.1", "-t", "5:maybe"}, 3, "KESTRUM UNKNOWN: -t: 'maybe'"},
        {{"check", "-H", "10.0.0.1", "-t", "61"}, 3, "KESTRUM UNKNOWN: -t: '61'"},
        {{"check", "-H", "10.0.0.1", "-t", "0"}, 3, "KESTRUM UNKNOWN: -t: '0'"},
        {{"check", "-H", "10.0.0.1", "--nope"}, 3, "KESTRUM UNKNOWN"},
    };
    for (const auto &[args, expected, message] : cases) {
        const auto [code, out, err] = Finished(args);
        EXPECT_EQ(code, expected) << err;
        EXPECT_NE(err.find(message), std::string::npos) << err;
        EXPECT_NE(err.find("--help"), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
}

TEST(CommandLine, GoodLinesCarryTheirOptions)
{
    CommandLine l = Parse({"status", "10.0.0.1", "10.0.0.2:6000", "--json", "--timeout", "0.5"});
    ASSERT_TRUE(!l.finished && l.command == Command::Status && l.targets.size() == 2) << l.text;
    EXPECT_TRUE(l.targets[1].Text() == "10.0.0.2:6000" && l.json && l.statusTimeout == 0.5);

    l = Parse({"check", "-H", "10.0.0.1", "-t", "3:unknown", "-w", "5", "-c", "@10:20", "--printer", "Laser 1020",
               "--ignore-offline"});
    ASSERT_TRUE(!l.finished && l.command == Command::Check && l.check.warning && l.check.critical) << l.text;
    EXPECT_TRUE(l.check.timeoutSeconds == 3 && l.check.timeoutState == StateUnknown && l.check.critical->inside);
    EXPECT_TRUE(l.check.printer == std::optional<std::string>("Laser 1020") && l.check.ignoreOffline);
    l = Parse({"check", "-H", "10.0.0.1", "-t", "2.5:1", "-w", "-5:"});  // a negative range is not an option
    ASSERT_TRUE(!l.finished && l.check.warning) << l.text;
    EXPECT_TRUE(l.check.timeoutSeconds == 2.5 && l.check.timeoutState == StateWarning);
    l = Parse({"check", "-H", "10.0.0.1"});
    EXPECT_TRUE(l.check.timeoutSeconds == 1 && l.check.timeoutState == StateCritical);  // the protocol's limit

    l = Parse({"discover", "--format", "file-sd", "--timeout", "3"});
    EXPECT_TRUE(!l.finished && l.format == DiscoverFormat::FileSd && l.discoverTimeout == 3) << l.text;
    l = Parse({"serve"});
    EXPECT_TRUE(l.serve.host == "127.0.0.1" && l.serve.port == 9150);  // loopback unless asked
    l = Parse({"serve", "--listen", "0.0.0.0:9999", "--timeout", "0.5"});
    EXPECT_TRUE(l.serve.host == "0.0.0.0" && l.serve.port == 9999 && l.serve.timeoutSeconds == 0.5);
}

TEST(CommandLine, ScrapeTimeoutBoundsTheWait)
{
    // A quarter second short of Prometheus's scrape time-out, at least 50 ms; junk is ignored.
    const std::string header[] = {"10", "0.5", "0.1", "soon"};
    EXPECT_TRUE(ProbeWaitSeconds(1.0, nullptr) == 1.0 && ProbeWaitSeconds(1.0, &header[0]) == 1.0);
    EXPECT_TRUE(ProbeWaitSeconds(1.0, &header[1]) == 0.25 && ProbeWaitSeconds(1.0, &header[2]) == 0.05);
    EXPECT_EQ(ProbeWaitSeconds(1.0, &header[3]), 1.0);
}
