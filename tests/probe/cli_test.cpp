// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The probe's own readers on top of ADDR[:PORT] (a print server's address, an --allow-target range, a listen address),
// then the command line: usage errors have usage exit codes (check's are UNKNOWN, as for any plugin), --help and
// --version work everywhere, good lines carry their options. Nothing here touches the network.
#include "probe/cidr.h"
#include "probe/cli.h"
#include "probe/http/listen.h"

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

// A target ('t'), a range ('r') or a listen address ('l') as it reads back, or "error: " and why not.
std::string Read(char kind, const std::string &text)
{
    std::string error;
    Target t;
    AddressRange r;
    ListenAddress a;
    if (kind == 't')
        return ParseTarget(text, t, error) ? t.Text() : "error: " + error;
    if (kind == 'r')
        return ParseAddressRange(text, r, error) ? r.Text() : "error: " + error;
    return ParseListenAddress(text, a, error) ? ListenAddressText(a) : "error: " + error;
}

}  // namespace

TEST(Parse, TargetsRangesAndListenAddresses)
{
    const std::tuple<char, std::string, const char *> cases[] = {
        {'t', "10.213.0.1:60000", "10.213.0.1"},  // the protocol's port goes unsaid
        {'t', "127.0.0.1:6000", "127.0.0.1:6000"},
        {'t', "10.213.0.1:00001", "error: the port must be"},  // no leading zero
        {'t', "0.0.0.0", "error: not the address of one print server"},
        {'t', "255.255.255.255", "error: not the address of one print server"},
        {'t', "224.0.0.1", "error: not the address of one print server"},
        {'t', "127.0.0.1\x7f:80", "error: a control character"},
        {'t', "ps-floor2.office.lan:6000", "ps-floor2.office.lan:6000"},  // a name, looked up only when probed
        {'t', "printer_1.lan", "error: not an IPv4 address or a host name"},
        {'r', "10.0.0.0/8", "10.0.0.0/8"},
        {'r', "0.0.0.0/0", "0.0.0.0/0"},
        {'r', "10.0.0.1/8", "error: did you mean 10.0.0.0/8?"},
        {'r', "10.0.0.0", "error: not an IPv4 range"},
        {'r', "10.0.0.0/33", "error: not an IPv4 range"},
        {'r', std::string("10.0.0.0\0/8", 11), "error: not an IPv4 range"},
        {'l', "127.0.0.1:9897", "127.0.0.1:9897"},  // as the Prometheus tools write them
        {'l', ":9897", "[::]:9897"},
        {'l', "[::1]:0", "[::1]:0"},
        {'l', "9897", "error: not HOST:PORT"},
        {'l', "localhost:9897", "error: not an IPv4 address"},
        {'l', "[::1]", "error: not a port number"},
        {'l', "[127.0.0.1]:80", "error: not an IPv6 address"},
    };
    for (const auto &[kind, text, shown] : cases) {
        const std::string read = Read(kind, text), want = shown;
        if (want.rfind("error: ", 0) == 0) {
            EXPECT_EQ(read.rfind("error: ", 0), 0u) << text << ": " << read;
            EXPECT_NE(read.find(want.substr(7)), std::string::npos) << text << ": " << read;
        } else {
            EXPECT_EQ(read, want) << text;
        }
    }
}

TEST(CommandLine, HelpAndVersionEverywhere)
{
    // Each help on stdout, naming what belongs to its own command.
    const std::pair<Args, std::vector<std::string>> helps[] = {
        {{"--help"}, {"discover", "status", "check", "serve"}},
        {{"check", "--help"}, {"--hostname", "--ignore-offline", "Exit codes: the state"}},
        {{"serve", "-h"}, {"--listen", "Exit codes: 0 stopped by SIGTERM"}},
    };
    for (const auto &[args, names] : helps) {
        const auto [code, out, err] = Finished(args);
        EXPECT_EQ(code, 0) << args.front();
        EXPECT_EQ(err, "") << args.front();
        for (const std::string &name : names)
            EXPECT_NE(out.find(name), std::string::npos) << args.front() << " lacks " << name << ":\n" << out;
        for (const char *notation : {"REQUIRED", "TEXT", ":INT", " ...", " in ["})  // none of the parser's notation
            EXPECT_EQ(out.find(notation), std::string::npos) << args.front() << " shows " << notation << ":\n" << out;
    }
    const std::string version = std::get<1>(Finished({"check", "-V"}));
    EXPECT_EQ(version.rfind("kestrum-probe, version " KESTRUM_VERSION " (revision: ", 0), 0u) << version;
    EXPECT_NE(version.find("\n  build date:       "), std::string::npos) << version;
}

// The values themselves are read above: here one bad value a reader, and what the line itself refuses.
TEST(CommandLine, UsageErrorsHaveUsageExitCodes)
{
    const std::tuple<Args, int, const char *> cases[] = {
        {{}, 64, "a command is needed: discover, status, check or serve"},
        {{"--bogus", "status"}, 64, "unknown option '--bogus'"},  // named, though the command comes after it
        {{"serve", "--max-probes"}, 64, "--max-probes needs a value"},
        {{"frobnicate"}, 64, "frobnicate"},
        {{"status"}, 64, "ADDRESS is required"},
        {{"status", "printer_1.example"}, 64, "'printer_1.example' is not an IPv4 address or a host name"},
        {{"discover", "--format", "1"}, 64, "--format: '1' is not text, json or file-sd"},  // a name, not its number
        {{"discover", "--timeout", "301"}, 64, "--timeout"},
        {{"discover", "10.0.0.1"}, 64, "10.0.0.1"},
        {{"serve", "--web.listen-address", "9150"}, 64, "not HOST:PORT"},
        {{"serve", "--log.level", "0"}, 64, "--log.level: '0' is not debug, info, warn or error"},
        {{"serve", "--allow-target", "10.0.0.0"}, 64, "--allow-target: '10.0.0.0' is not an IPv4 range"},
        {{"serve", "--allow-target", "10.0.0.0/8", "10.1.0.0/16"}, 64, "10.1.0.0/16"},  // one range an option
        // The plugin's usage errors are UNKNOWN, on stdout, where Nagios reads a plugin's output.
        {{"check"}, 3, "KESTRUM UNKNOWN: --hostname is required"},
        {{"check", "-H", "10.0.0"}, 3, "KESTRUM UNKNOWN: -H: '10.0.0' is not an IPv4 address"},
        {{"check", "-H", "10.0.0.1", "-w", "20:10"}, 3, "KESTRUM UNKNOWN: -w: bad range '20:10'"},
        {{"check", "-H", "10.0.0.1", "-t", "5:maybe"}, 3, "KESTRUM UNKNOWN: -t: 'maybe'"},
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
    // With --log.format json every line on stderr is JSON, a usage error's too.
    const std::string json = std::get<2>(Finished({"serve", "--log.format", "json", "--bogus"}));
    EXPECT_NE(json.find(R"(,"level":"error","msg":"Bad command line","err":"unknown)"), std::string::npos) << json;
}

// What a good serve line carries, in one text. The other commands' options reach their runs in check_test.cpp
// and on the namespace LANs.
std::string Carried(const ServeOptions &s)
{
    std::ostringstream o;
    o << s.host << ' ' << s.port << " wait " << s.timeoutSeconds << " log " << int(s.logLevel) << int(s.logFormat)
      << " web " << s.webConfigFile << " on";
    for (const ListenAddress &a : s.listen)
        o << " '" << a.host << "' " << a.port;
    o << " allow";
    for (const AddressRange &r : s.allowTargets)
        o << ' ' << r.Text();
    return o.str();
}

TEST(CommandLine, GoodServeLinesCarryTheirOptions)
{
    // The older --listen and --web.listen-address add up, in order.
    const std::pair<Args, const char *> lines[] = {
        {{"serve"}, "127.0.0.1 9897 wait 1 log 10 web  on allow"},
        {{"serve", "--listen", "0.0.0.0:9999", "--timeout", "0.5", "--log.level", "debug", "--log.format", "json",
          "--allow-target", "10.0.0.0/8", "--allow-target=192.0.2.7/32"},
         "0.0.0.0 9999 wait 0.5 log 01 web  on '0.0.0.0' 9999 allow 10.0.0.0/8 192.0.2.7/32"},
        {{"serve", "--web.listen-address", ":9100", "--listen", "[::1]:0", "--web.config.file", "web.yml"},
         " 9100 wait 1 log 10 web web.yml on '' 9100 '::1' 0 allow"},
    };
    for (const auto &[args, carried] : lines)
        EXPECT_EQ(Carried(Parse(args).serve), carried);
}

TEST(CommandLine, ScrapeTimeoutBoundsTheWait)
{
    // A quarter second short of Prometheus's scrape time-out, at least 50 ms; junk (as text_test reads it) ignored.
    const std::pair<const char *, double> cases[] = {
        {"10", 1.0}, {"0.5", 0.25}, {"0.1", 0.05}, {"soon", 1.0}, {"+0.5", 1.0}, {"0", 1.0}, {"-1", 1.0},
    };
    EXPECT_EQ(ProbeWaitSeconds(1.0, nullptr), 1.0);
    for (const auto &[text, wait] : cases) {
        const std::string header = text;
        EXPECT_EQ(ProbeWaitSeconds(1.0, &header), wait) << text;
    }
}
