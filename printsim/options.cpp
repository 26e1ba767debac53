// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "printsim/options.h"

#include "cmdline/validators.h"
#include "text/endpoint.h"
#include "text/numbers.h"

#include "kestrum_version.h"

#include <vector>

namespace printsim {

namespace {

CLI::Validator Address()
{
    return kcmd::Check([](const std::string &v) {
        return ktext::ParseIpv4(v) ? std::string() : "'" + v + "' is not an IPv4 address";
    });
}

CLI::Validator Target()
{
    return kcmd::Check([](const std::string &v) {
        ktext::Endpoint e;
        return ktext::ParseEndpoint(v, e) == ktext::EndpointError::None ? std::string()
                                                                        : "'" + v + "' is not ADDR or ADDR:PORT";
    });
}

template <typename T>
CLI::Option *AddNamed(CLI::App &app, const std::string &name, T &value, const kcmd::NamedValues<T> &names,
                      const std::string &help)
{
    return app.add_option(name, value, help)->transform(kcmd::Named(names))->type_name(kcmd::NameList(names, "|", "|"));
}

kcmd::NamedValues<ReplyFault> ReplyFaults()
{
    return {{"short", ReplyFault::Short}, {"oversized", ReplyFault::Oversized}, {"garbage", ReplyFault::Garbage}};
}

kcmd::NamedValues<DiscoveryFault> DiscoveryFaults()
{
    return {{"oversized", DiscoveryFault::Oversized}, {"garbage", DiscoveryFault::Garbage}};
}

// What some options take in before they become Options: the client mode and
// its target, and the discovery switch.
struct Taken {
    std::string probe;
    std::string request;
    bool noDiscovery = false;
};

void AddServingOptions(CLI::App &app, Options &o, Taken &taken)
{
    const std::string group = "Serving";
    app.add_option("--bind", o.bindAddress, "address to listen on (default 127.0.0.1; 0.0.0.0 for all)")
        ->check(Address())
        ->type_name("ADDR")
        ->group(group);
    app.add_option("--port", o.port, "UDP port (default 60000; 0 picks a free one)")
        ->check(kcmd::Whole(0, 65535, "not a port number"))
        ->type_name("N")
        ->group(group);
    app.add_option("--scenario", o.scenarioFile,
                   "printers and their timelines (see README.md); default: four built-in printers")
        ->type_name("FILE")
        ->group(group);
    app.add_flag("--no-discovery", taken.noDiscovery, "do not answer discovery probes")->group(group);
    app.add_option("--stop-after", o.stopAfter, "answer only the first N status requests, then keep running silently")
        ->check(kcmd::Whole(0, 1000000000L, "not a count"))
        ->type_name("N")
        ->group(group);
    AddNamed(app, "--reply", o.replyFault, ReplyFaults(),
             "answer status requests with 130 bytes, 961 bytes, or 2 to 901 bytes of noise")
        ->group(group);
    AddNamed(app, "--discovery-reply", o.discoveryFault, DiscoveryFaults(),
             "answer probes with two bytes, or with one wrong byte")
        ->group(group);
    app.add_option("--delay-ms", o.delayMs, "wait N ms before every answer")
        ->check(kcmd::Whole(0, 600000, "not 0 to 600000"))
        ->type_name("N")
        ->group(group);
    app.add_flag("--answer-twice", o.answerTwice, "answer every probe twice")->group(group);
    app.add_option("--max-seconds", o.maxSeconds, "exit by itself after N seconds")
        ->check(kcmd::Whole(1, 86400, "not 1 to 86400"))
        ->type_name("N")
        ->group(group);
    app.add_flag("--quiet", o.quiet, "no log line per datagram on stderr")->group(group);
}

void AddClientOptions(CLI::App &app, Options &o, Taken &taken)
{
    const std::string group = "Client (for checking a server)";
    app.add_option("--probe", taken.probe, "send one 0xAA and list every answer (\"answer ADDR:PORT LEN\")")
        ->check(Target())
        ->type_name("ADDR[:PORT]")
        ->group(group);
    app.add_flag("--broadcast", o.broadcast, "allow a broadcast address for --probe")->group(group);
    app.add_option("--request", taken.request, "send one 0x55 and print \"reply LEN\", or \"no reply\"")
        ->check(Target())
        ->type_name("ADDR[:PORT]")
        ->group(group);
    app.add_option("--wait-ms", o.waitMs, "how long to collect answers (default 2000 for --probe, 1000 for --request)")
        ->check(kcmd::Whole(1, 60000, "not 1 to 60000"))
        ->type_name("N")
        ->group(group);
}

// The parser, bound to its options.
struct CommandLine {
    CLI::App app{"A print server for tests and demos: answers the discovery probe (0xAA) with 0x55\n"
                 "and every status request (0x55) with eight 120-byte printer records.\n"
                 "The first line on stdout is \"listening ADDR:PORT\".",
                 "kestrum-printsim"};
    Options options;
    Taken taken;

    CommandLine()
    {
        app.set_help_flag("-h,--help", "this text");
        app.set_version_flag("--version", VersionText(), "the version, and exit");
        app.allow_extras();  // unknown options are named by ParseOptions itself
        kcmd::Style(app);
        // Every option may be given again; the last one counts.
        app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        AddServingOptions(app, options, taken);
        AddClientOptions(app, options, taken);
    }
};

// CLI11 names the option first ("--port: ..."); a missing value is said in our words.
// The discovery switch, the client mode and its target, once the command line has been read.
bool Convert(const Taken &taken, Options &o, std::string &error)
{
    o.discovery = !taken.noDiscovery;
    const bool probe = !taken.probe.empty();
    const bool request = !taken.request.empty();
    if (probe && request) {
        error = "--probe and --request exclude each other";
        return false;
    }
    if (o.waitMs < 0)
        o.waitMs = probe ? 2000 : 1000;
    if (!probe && !request)
        return true;
    ktext::Endpoint target;
    ktext::ParseEndpoint(probe ? taken.probe : taken.request, target);  // checked while parsing
    o.mode = probe ? Mode::Probe : Mode::Request;
    o.target = target.host;
    o.targetPort = target.port.value_or(StatusPort);
    return true;
}

}  // namespace

std::string VersionText() { return std::string("kestrum-printsim ") + KESTRUM_VERSION; }

std::string UsageText()
{
    CommandLine line;
    return line.app.help() +
           "\nExit codes: 0 done, 1 socket trouble, 2 no answer (client modes), 64 bad command line,\n"
           "65 bad scenario file.\n";
}

bool ParseOptions(int argc, const char *const *argv, Options &out, std::string &error)
{
    CommandLine line;
    try {
        line.app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        out = Options{};
        out.mode = Mode::Help;
        return true;
    } catch (const CLI::CallForVersion &) {
        out = Options{};
        out.mode = Mode::Version;
        return true;
    } catch (const CLI::ParseError &e) {
        error = kcmd::Complaint(e);
        return false;
    }
    error = kcmd::LeftOver(line.app);
    if (!error.empty()) {
        error += " (try --help)";
        return false;
    }
    if (!Convert(line.taken, line.options, error))
        return false;
    out = line.options;
    return true;
}

}  // namespace printsim
