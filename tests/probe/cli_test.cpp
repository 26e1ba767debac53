// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: usage errors have usage exit codes (check's are UNKNOWN,
// as for any plugin), --help and --version work everywhere, good lines carry
// their options. Only lines that parsing finished are run: nothing here
// touches the network.
#include "probe/cli.h"
#include "probe/cidr.h"

#include "kestrum_version.h"

#include <gtest/gtest.h>

#include <cstring>
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
        {{"discover", "--format", "xml"}, 64, "--format: 'xml' is not text, json or file-sd"},
        {{"discover", "--format", "1"}, 64, "--format: '1' is not"},  // a name, not the value's number
        {{"discover", "--timeout", "301"}, 64, "--timeout"},
        {{"discover", "10.0.0.1"}, 64, "10.0.0.1"},
        {{"serve", "--listen", "localhost:9150"}, 64, "not an IPv4 address"},
        {{"serve", "--web.listen-address", "9150"}, 64, "not HOST:PORT"},
        {{"serve", "--log.level", "verbose"}, 64, "--log.level: 'verbose' is not debug, info, warn or error"},
        {{"serve", "--log.level", "0"}, 64, "--log.level: '0' is not"},
        {{"serve", "--log.format", "text"}, 64, "--log.format"},
        {{"serve", "--allow-target", "10.0.0.0"}, 64, "--allow-target: '10.0.0.0' is not an IPv4 range"},
        {{"serve", "--allow-target", "10.0.0.0/8", "10.1.0.0/16"}, 64, "10.1.0.0/16"},  // one range an option
        // The plugin's usage errors are UNKNOWN, on stdout, where Nagios reads a plugin's output.
        {{"check"}, 3, "KESTRUM UNKNOWN: --hostname is required"},
        {{"check", "-H", "10.0.0"}, 3, "KESTRUM UNKNOWN: -H: '10.0.0' is not an IPv4 address"},
        {{"check", "-H", "10.0.0.1", "-w", "20:10"}, 3, "KESTRUM UNKNOWN: -w: bad range '20:10'"},
        {{"check", "-H", "10.0.0.1", "-t", "5:maybe"}, 3, "KESTRUM UNKNOWN: -t: 'maybe'"},
        {{"check", "-H", "10.0.0.1", "-t", "61"}, 3, "KESTRUM UNKNOWN: -t: '61'"},
        {{"check", "-H", "10.0.0.1", "--nope"}, 3, "KESTRUM UNKNOWN"},
    };
    for (const auto &[args, expected, message] : cases) {
        const auto [code, out, err] = Finished(args);
        const std::string &said = expected == 3 ? out : err;
        EXPECT_EQ(code, expected) << out << err;
        EXPECT_EQ(said.rfind(expected == 3 ? "KESTRUM UNKNOWN: " : "kestrum-probe: ", 0), 0u) << said;
        EXPECT_NE(said.find(message), std::string::npos) << said;
        EXPECT_NE(said.find("--help"), std::string::npos) << said;
        EXPECT_EQ(expected == 3 ? err : out, "");
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
    ASSERT_TRUE(l.check.warning);
    ASSERT_TRUE(l.check.critical);
    EXPECT_EQ(l.check.timeoutSeconds, 3);
    EXPECT_EQ(l.check.timeoutState, StateUnknown);
    EXPECT_TRUE(l.check.critical->inside);
    EXPECT_EQ(l.check.printer, std::optional<std::string>("Laser 1020"));
    EXPECT_TRUE(l.check.ignoreOffline);
    l = Parse({"check", "-H", "10.0.0.1", "-t", "2.5:1", "-w", "-5:"});  // a negative range is not an option
    ASSERT_FALSE(l.finished) << l.text;
    EXPECT_TRUE(l.check.warning);
    EXPECT_EQ(l.check.timeoutSeconds, 2.5);
    EXPECT_EQ(l.check.timeoutState, StateWarning);
    l = Parse({"check", "-H", "10.0.0.1"});
    EXPECT_EQ(l.check.timeoutSeconds, 1);  // the protocol's limit
    EXPECT_EQ(l.check.timeoutState, StateCritical);
    EXPECT_EQ(l.check.verbosity, 0);
    for (const auto &[flags, verbosity] : {std::pair(Args{"-v"}, 1), std::pair(Args{"-vv"}, 2),
                                           std::pair(Args{"-vvv"}, 3), std::pair(Args{"-v", "--verbose", "-v"}, 3)}) {
        Args args = {"check", "-H", "10.0.0.1"};
        args.insert(args.end(), flags.begin(), flags.end());
        l = Parse(args);
        EXPECT_FALSE(l.finished) << flags.front() << l.text;
        EXPECT_EQ(l.check.verbosity, verbosity) << flags.front();
    }

    l = Parse({"discover", "--format", "file-sd", "--timeout", "3"});
    EXPECT_FALSE(l.finished) << l.text;
    EXPECT_EQ(l.format, DiscoverFormat::FileSd);
    EXPECT_EQ(l.discoverTimeout, 3);
    l = Parse({"serve"});
    // loopback unless asked
    EXPECT_EQ(l.serve.host, "127.0.0.1");
    EXPECT_EQ(l.serve.port, DefaultServePort);
    EXPECT_TRUE(l.serve.listen.empty());
    EXPECT_EQ(l.serve.logLevel, LogLevel::Info);
    EXPECT_EQ(l.serve.logFormat, LogFormat::Logfmt);
    EXPECT_TRUE(l.serve.allowTargets.empty());  // every target
    l = Parse({"serve", "--listen", "0.0.0.0:9999", "--timeout", "0.5", "--log.level", "debug", "--log.format", "json",
               "--allow-target", "10.0.0.0/8", "--allow-target=192.0.2.7/32"});
    EXPECT_FALSE(l.finished) << l.text;
    EXPECT_EQ(l.serve.host, "0.0.0.0");
    EXPECT_EQ(l.serve.port, 9999);
    EXPECT_EQ(l.serve.timeoutSeconds, 0.5);
    EXPECT_EQ(l.serve.logLevel, LogLevel::Debug);
    EXPECT_EQ(l.serve.logFormat, LogFormat::Json);
    ASSERT_EQ(l.serve.allowTargets.size(), 2u);
    EXPECT_EQ(l.serve.allowTargets[0].Text() + " " + l.serve.allowTargets[1].Text(), "10.0.0.0/8 192.0.2.7/32");
    // The older --listen and --web.listen-address add up, in order.
    l = Parse({"serve", "--web.listen-address", ":9100", "--listen", "[::1]:0", "--web.config.file", "web.yml"});
    ASSERT_FALSE(l.finished) << l.text;
    ASSERT_EQ(l.serve.listen.size(), 2u);
    EXPECT_EQ(l.serve.listen[0].host, "");
    EXPECT_EQ(l.serve.listen[0].port, 9100);
    EXPECT_EQ(l.serve.listen[1].host, "::1");
    EXPECT_EQ(l.serve.listen[1].port, 0);
    EXPECT_EQ(l.serve.port, 9100);
    EXPECT_EQ(l.serve.webConfigFile, "web.yml");
}

TEST(CommandLine, ScrapeTimeoutBoundsTheWait)
{
    // A quarter second short of Prometheus's scrape time-out, at least 50 ms; junk is ignored.
    const std::string header[] = {"10", "0.5", "0.1", "soon"};
    EXPECT_EQ(ProbeWaitSeconds(1.0, nullptr), 1.0);
    EXPECT_EQ(ProbeWaitSeconds(1.0, &header[0]), 1.0);
    EXPECT_EQ(ProbeWaitSeconds(1.0, &header[1]), 0.25);
    EXPECT_EQ(ProbeWaitSeconds(1.0, &header[2]), 0.05);
    EXPECT_EQ(ProbeWaitSeconds(1.0, &header[3]), 1.0);
    // Only a plain decimal: an exponent, a sign or a space is junk too.
    for (const std::string junk : {"1e1", "+10", " 10", "10 ", "0x10", "inf", "0", "-1"})
        EXPECT_EQ(ProbeWaitSeconds(60.0, &junk), 60.0) << junk;
}

// The probe's own readers on top of ADDR[:PORT]: a print server's address and
// an --allow-target range. What the text, the error or the range reads back as.
TEST(Parse, TargetsAndRanges)
{
    const std::pair<std::string, const char *> targets[] = {
        {"10.213.0.1:60000", "10.213.0.1"},  // the protocol's port goes unsaid
        {"127.0.0.1:6000", "127.0.0.1:6000"},
        {"10.213.0.1:00001", "the port must be"},  // no leading zero
        {"10.213.0.1:0600", "the port must be"},
        {"0.0.0.0", "not the address of one print server"},
        {"255.255.255.255", "not the address of one print server"},
        {"224.0.0.1", "not the address of one print server"},
        {"127.0.0.1\x7f:80", "a control character"},
        {"127.0.0.1\n", "a control character"},
    };
    for (const auto &[text, shown] : targets) {
        Target t;
        std::string error;
        const bool ok = ParseTarget(text, t, error);
        EXPECT_EQ(ok, std::strchr(shown, ' ') == nullptr) << text << ": " << error;
        EXPECT_NE((ok ? t.Text() : error).find(shown), std::string::npos) << text << ": " << error;
    }
    const std::pair<std::string, const char *> ranges[] = {
        {"10.0.0.0/8", "10.0.0.0/8"},
        {"192.0.2.7/32", "192.0.2.7/32"},
        {"0.0.0.0/0", "0.0.0.0/0"},
        {"10.0.0.1/8", "did you mean 10.0.0.0/8?"},
        {"10.0.0.0", "not an IPv4 range"},
        {"10.0.0.0/33", "not an IPv4 range"},
        {"10.0.0.0/08", "not an IPv4 range"},
        {"10.0.0.0/", "not an IPv4 range"},
        {"10.0.0/8", "not an IPv4 range"},
        {std::string("10.0.0.0\0/8", 11), "not an IPv4 range"},
        {"10.0.0.0/8/8", "not an IPv4 range"},
    };
    for (const auto &[text, shown] : ranges) {
        AddressRange r;
        std::string error;
        const bool ok = ParseAddressRange(text, r, error);
        EXPECT_EQ(ok, std::strchr(shown, ' ') == nullptr) << text << ": " << error;
        EXPECT_NE((ok ? r.Text() : error).find(shown), std::string::npos) << text << ": " << error;
    }
}
