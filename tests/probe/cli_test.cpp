// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: usage errors have usage exit codes (check's are UNKNOWN, as for any plugin), --help and --version
// work everywhere, good lines carry their options. Only lines that parsing finished are run: nothing here touches the
// network.
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
        {{"status", "printer_1.example"}, 64, "'printer_1.example' is not an IPv4 address or a host name"},
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

// What a good line carries, for its command, in one text.
std::string Carried(const CommandLine &l)
{
    std::ostringstream o;
    const auto range = [](const std::optional<Range> &r) { return r ? (r->inside ? "in " : "out ") + r->text : "-"; };
    if (l.finished)
        o << "finished: " << l.text;
    else if (l.command == Command::Status) {
        o << "status";
        for (const Target &t : l.targets)
            o << ' ' << t.Text();
        o << " json " << l.json << " wait " << l.statusTimeout;
    } else if (l.command == Command::Check) {
        const CheckOptions &c = l.check;
        o << "check " << c.host.Text() << " wait " << c.timeoutSeconds << " then " << c.timeoutState << " w "
          << range(c.warning) << " c " << range(c.critical) << " printer " << c.printer.value_or("-") << " ignore "
          << c.ignoreOffline << " v " << c.verbosity;
    } else if (l.command == Command::Discover) {
        o << "discover " << int(l.format) << " wait " << l.discoverTimeout;
    } else {
        const ServeOptions &s = l.serve;
        o << "serve " << s.host << ' ' << s.port << " wait " << s.timeoutSeconds << " log " << int(s.logLevel)
          << int(s.logFormat) << " web " << s.webConfigFile << " on";
        for (const ListenAddress &a : s.listen)
            o << " '" << a.host << "' " << a.port;
        o << " allow";
        for (const AddressRange &r : s.allowTargets)
            o << ' ' << r.Text();
    }
    return o.str();
}

TEST(CommandLine, GoodLinesCarryTheirOptions)
{
    // A negative range is not an option; the older --listen and --web.listen-address add up, in order.
    // clang-format off
    const std::pair<Args, const char *> lines[] = {
        {{"status", "10.0.0.1", "10.0.0.2:6000", "--json", "--timeout", "0.5"},
         "status 10.0.0.1 10.0.0.2:6000 json 1 wait 0.5"},
        {{"check", "-H", "10.0.0.1", "-t", "3:unknown", "-w", "5", "-c", "@10:20", "--printer", "Laser 1020",
          "--ignore-offline"},
         "check 10.0.0.1 wait 3 then 3 w out 5 c in @10:20 printer Laser 1020 ignore 1 v 0"},
        {{"check", "-H", "10.0.0.1", "-t", "2.5:1", "-w", "-5:"},
         "check 10.0.0.1 wait 2.5 then 1 w out -5: c - printer - ignore 0 v 0"},
        {{"check", "-H", "10.0.0.1"}, "check 10.0.0.1 wait 1 then 2 w - c - printer - ignore 0 v 0"},
        {{"check", "-H", "10.0.0.1", "-vv"}, "check 10.0.0.1 wait 1 then 2 w - c - printer - ignore 0 v 2"},
        {{"check", "-H", "10.0.0.1", "-v", "--verbose", "-v"},
         "check 10.0.0.1 wait 1 then 2 w - c - printer - ignore 0 v 3"},
        {{"discover", "--format", "file-sd", "--timeout", "3"}, "discover 2 wait 3"},
        {{"serve"}, "serve 127.0.0.1 9897 wait 1 log 10 web  on allow"},
        {{"serve", "--listen", "0.0.0.0:9999", "--timeout", "0.5", "--log.level", "debug", "--log.format", "json",
          "--allow-target", "10.0.0.0/8", "--allow-target=192.0.2.7/32"},
         "serve 0.0.0.0 9999 wait 0.5 log 01 web  on '0.0.0.0' 9999 allow 10.0.0.0/8 192.0.2.7/32"},
        {{"serve", "--web.listen-address", ":9100", "--listen", "[::1]:0", "--web.config.file", "web.yml"},
         "serve  9100 wait 1 log 10 web web.yml on '' 9100 '::1' 0 allow"},
    };
    // clang-format on
    for (const auto &[args, carried] : lines)
        EXPECT_EQ(Carried(Parse(args)), carried);
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

// The probe's own readers on top of ADDR[:PORT]: a print server's address and an --allow-target range. What the text,
// the error or the range reads back as.
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
