// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/cli.h"

#include "probe/exchange.h"
#include "probe/log.h"
#include "probe/printers.h"
#include "cmdline/validators.h"
#include "platform/clock.h"
#include "text/numbers.h"

#include "kestrum_version.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstring>
#include <functional>

namespace kprobe {

namespace {

constexpr const char *Program = "kestrum-probe";

// As the Prometheus tools print theirs.
std::string VersionLine()
{
    return std::string(Program) + ", version " + KESTRUM_VERSION + " (revision: " + KESTRUM_REVISION +
           ")\n  build date:       " + KESTRUM_BUILD_DATE + "\n  compiler:         " + KESTRUM_COMPILER +
           "\n  platform:         " + KESTRUM_PLATFORM;
}

// Seconds as an option takes them: a plain decimal number within [lo, hi].
CLI::Validator SecondsWithin(double lo, double hi)
{
    CLI::Validator v = kcmd::Check([lo, hi](const std::string &text) {
        if (ktext::ParseDecimal(text, lo, hi, ktext::DecimalRules{false, true}))
            return std::string();
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", lo, hi);
        return "'" + text + "' is not " + range + " seconds";
    });
    v.name("SECONDS");
    return v;
}

// A value that an option's own parser refused, as CLI11 reports its own: "NAME: reason".
[[noreturn]] void Refuse(const std::string &option, const std::string &reason)
{
    throw CLI::ValidationError(option + ": " + reason);
}

template <typename T>
using ParseFunction = bool (*)(const std::string &, T &, std::string &);

// A value through the option's own parser; a refused one is a usage error that names the option.
template <typename T>
T Parsed(const char *option, ParseFunction<T> parse, const std::string &text)
{
    T value{};
    std::string error;
    if (!parse(text, value, error))
        Refuse(option, error);
    return value;
}

template <typename T>
std::function<void(const std::vector<std::string> &)> EachParsed(const char *option, ParseFunction<T> parse,
                                                                 std::vector<T> &into)
{
    return [option, parse, &into](const std::vector<std::string> &texts) {
        for (const std::string &text : texts)
            into.push_back(Parsed(option, parse, text));
    };
}

struct Parser {
    CLI::App app{"Print servers of USB Kestrum from scripts, monitoring plugins and Prometheus.", Program};
    CommandLine line;
    std::vector<std::string> listen;

    CLI::App *discover = nullptr;
    CLI::App *status = nullptr;
    CLI::App *check = nullptr;
    CLI::App *serve = nullptr;

    Parser()
    {
        app.set_help_flag("-h,--help", "this text (also after a command: COMMAND --help)");
        app.set_version_flag("--version", VersionLine(), "the version, and exit");
        app.require_subcommand(1);
        kcmd::Style(app, 34);
        SetUpDiscover();
        SetUpStatus();
        SetUpCheck();
        SetUpServe();
        // Set last: a command made after it would show it as its own.
        app.footer("Each command's --help gives its exit codes. See kestrum-probe(1).");
    }

    void SetUpDiscover()
    {
        discover = app.add_subcommand("discover", "find the print servers on the LAN: the broadcast, then the "
                                                  "default gateway, as the monitor does");
        discover->callback([this] { line.command = Command::Discover; });
        discover
            ->add_option("--timeout", line.discoverTimeout,
                         "stop listening after this long at the latest (default 10; the search ends 2 s after "
                         "the last answer)")
            ->check(SecondsWithin(0.1, 300))
            ->type_name("SECONDS");
        discover->footer("Exit codes: 0 a print server answered; 1 none did; 64 a bad command line.");
        discover
            ->add_option("--format", line.format,
                         "text (one address a line), json, or file-sd (a Prometheus file_sd list)")
            ->transform(kcmd::Named<DiscoverFormat>(
                {{"text", DiscoverFormat::Text}, {"json", DiscoverFormat::Json}, {"file-sd", DiscoverFormat::FileSd}}))
            ->type_name("FORMAT");
    }

    void SetUpStatus()
    {
        status = app.add_subcommand("status", "one status exchange with each server, all at once; every printer "
                                              "with the monitor's texts");
        status->callback([this] { line.command = Command::Status; });
        status
            ->add_option_function<std::vector<std::string>>(
                "ADDRESS", EachParsed("ADDRESS", ParseTarget, line.targets),
                "print servers: A.B.C.D or a host name, with :PORT if needed")
            ->type_name("")
            ->required();
        status->add_flag("--json", line.json, "JSON instead of text");
        status->footer("Exit codes: 0 every server answered; 1 one gave no reply, or its name no address; 64 a bad "
                       "command line.");
        status->add_option("--timeout", line.statusTimeout, "the longest wait for each reply (default 1)")
            ->check(SecondsWithin(0.01, 60))
            ->type_name("SECONDS");
    }

    // Thresholds go through the plugin's range syntax into their optional ranges.
    void AddRange(const char *names, const char *flag, std::optional<Range> &range, const char *help)
    {
        check
            ->add_option_function<std::string>(
                names, [flag, &range](const std::string &text) { range = Parsed(flag, ParseRange, text); }, help)
            ->type_name("RANGE");
    }

    void SetUpCheck()
    {
        check = app.add_subcommand("check", "a monitoring plugin (Nagios, Icinga, Naemon, Sensu): the state of one "
                                            "print server's printers");
        check->callback([this] { line.command = Command::Check; });
        check->set_version_flag("-V,--version", VersionLine(), "the version, and exit");
        CheckOptions &c = line.check;
        check
            ->add_option_function<std::string>(
                "-H,--hostname", [&c](const std::string &text) { c.host = Parsed("-H", ParseTarget, text); },
                "the print server (required): A.B.C.D or a host name, with :PORT if needed")
            ->required()
            ->type_name("ADDRESS");
        check
            ->add_option_function<std::string>(
                "-t,--timeout",
                [&c](const std::string &text) {
                    std::string error;
                    if (!ParseTimeoutOption(text, c.timeoutSeconds, c.timeoutState, error))
                        throw CLI::ValidationError(error);  // it names -t itself
                },
                "the longest wait for the reply (default 1), and the state when none comes (default CRITICAL)")
            ->type_name("SECONDS[:STATE]");
        AddRange("-w,--warning", "-w", c.warning, "WARNING when a printer's jobs queued are outside RANGE");
        AddRange("-c,--critical", "-c", c.critical, "CRITICAL when a printer's jobs queued are outside RANGE");
        check
            ->add_option_function<std::string>(
                "--printer", [&c](const std::string &name) { c.printer = name; },
                "only this printer, by its name or its slot (1 to 8)")
            ->type_name("NAME");
        check->add_flag("--ignore-offline", c.ignoreOffline, "an off-line printer is not CRITICAL");
        check->add_flag("-v,--verbose", c.verbosity,
                        "more detail, up to -vvv: a line per printer, the options, the exchange");
        check->footer("RANGE: 10 (outside 0..10), 10: (below 10), ~:10 (above 10), 10:20 (outside 10..20),\n"
                      "@10:20 (inside 10..20).\n"
                      "OK: every printer on line and ready or busy. WARNING: paper out or a fault, or -w.\n"
                      "CRITICAL: a printer off line, no reply in time, a name without an address, or -c.\n"
                      "UNKNOWN: bad arguments, a malformed reply.\n"
                      "Exit codes: the state, 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN; its line, errors\n"
                      "included, on stdout.");
    }

    void SetUpServe()
    {
        serve = app.add_subcommand("serve", "a Prometheus exporter: /probe?target=ADDRESS, /metrics");
        serve->callback([this] { line.command = Command::Serve; });
        serve
            ->add_option("--web.listen-address,--listen", listen,
                         "where to listen, repeatable: HOST:PORT, [IPV6]:PORT, or :PORT for every address "
                         "(default 127.0.0.1:9897; --listen is the older name)")
            ->type_name("ADDRESS");
        serve
            ->add_option("--web.config.file", line.serve.webConfigFile,
                         "TLS and basic authentication, in the web configuration format of Prometheus' exporters")
            ->type_name("FILE");
        serve
            ->add_option("--timeout", line.serve.timeoutSeconds,
                         "the longest wait for each reply (default 1; never past the scrape time-out)")
            ->check(SecondsWithin(0.05, 60))
            ->type_name("SECONDS");
        serve
            ->add_option("--max-connections", line.serve.maxConnections,
                         "connections held at once; past it new ones are closed (default 4096)")
            ->check(kcmd::Whole(1, 100000, "not 1 to 100000"))
            ->type_name("N");
        serve->add_option("--max-probes", line.serve.maxProbes, "probes under way at once (default 1200)")
            ->check(kcmd::Whole(1, 10000, "not 1 to 10000"))
            ->type_name("N");
        SetUpServeOperation();
        serve->footer("Exit codes: 0 stopped by SIGTERM or SIGINT; 1 it could not start (an address taken, a bad "
                      "--web.config.file); 64 a bad command line.");
    }

    // What the exporter logs, and which targets it may probe.
    void SetUpServeOperation()
    {
        ServeOptions &o = line.serve;
        serve->add_option("--log.level", o.logLevel, "debug, info (the default), warn or error")
            ->transform(kcmd::Named<LogLevel>({{"debug", LogLevel::Debug},
                                               {"info", LogLevel::Info},
                                               {"warn", LogLevel::Warn},
                                               {"error", LogLevel::Error}}))
            ->type_name("LEVEL");
        serve->add_option("--log.format", o.logFormat, "logfmt (the default) or json, a line per event on stderr")
            ->transform(kcmd::Named<LogFormat>({{"logfmt", LogFormat::Logfmt}, {"json", LogFormat::Json}}))
            ->type_name("FORMAT");
        serve
            ->add_option_function<std::vector<std::string>>(
                "--allow-target", EachParsed("--allow-target", ParseAddressRange, o.allowTargets),
                "probe only targets in this range (repeatable; default any target)")
            ->allow_extra_args(false)
            ->type_name("A.B.C.D/N");
    }

    CommandLine Parse(int argc, const char *const *argv)
    {
        // Asked for before the line is known good: then a usage error is a JSON line too.
        for (int i = 1; i < argc && argv[i]; ++i)
            line.jsonLog = line.jsonLog || std::strcmp(argv[i], "--log.format=json") == 0 ||
                           (std::strcmp(argv[i], "--log.format") == 0 && i + 1 < argc && argv[i + 1] &&
                            std::strcmp(argv[i + 1], "json") == 0);
        const std::string first = argc > 1 && argv[1] ? argv[1] : "";
        if (!first.empty() && first[0] != '-' && first != "discover" && first != "status" && first != "check" &&
            first != "serve")
            return Usage("unknown command '" + first + "' (discover, status, check or serve)");
        // Before the command only the program's own options stand: CLI11 would
        // first miss the command and never name the option.
        if (!first.empty() && first[0] == '-' && first != "-h" && first != "--help" && first != "--version")
            return Usage("unknown option '" + first + "'");
        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp &) {
            return Finish(0, app.help());
        } catch (const CLI::CallForAllHelp &) {
            return Finish(0, app.help("", CLI::AppFormatMode::All));
        } catch (const CLI::CallForVersion &e) {
            return Finish(0, std::string(e.what()) + "\n");
        } catch (const CLI::RequiredError &e) {
            if (!app.get_subcommands().empty())
                return Usage(kcmd::Complaint(e));
            return Usage("a command is needed: discover, status, check or serve");
        } catch (const CLI::ParseError &e) {
            return Usage(kcmd::Complaint(e));
        }
        std::string error;
        if (line.command == Command::Serve)
            for (const std::string &l : listen)
                if (!ParseListen(l, line.serve, error))
                    return Usage(error);
        return line;
    }

    CommandLine Finish(int code, const std::string &text)
    {
        line.finished = true;
        line.exitCode = code;
        line.text = text;
        return line;
    }

    // check is a plugin: a bad command line is UNKNOWN (3) there, on stdout
    // where the monitoring system reads it; 64 on stderr elsewhere.
    CommandLine Usage(const std::string &message)
    {
        const bool plugin = check->parsed();
        CLI::App *which = plugin               ? check
                          : discover->parsed() ? discover
                          : status->parsed()   ? status
                          : serve->parsed()    ? serve
                                               : nullptr;
        std::string hint =
            which ? std::string(Program) + " " + which->get_name() + " --help" : std::string(Program) + " --help";
        const std::string prefix = plugin ? "KESTRUM UNKNOWN: " : std::string(Program) + ": ";
        Finish(plugin ? StateUnknown : ExitUsage, prefix + message + " (see " + hint + ")\n");
        line.textToStdout = plugin;
        line.complaint = message + " (see " + hint + ")";
        return line;
    }
};

int RunDiscover(const CommandLine &line, std::ostream &out, std::ostream &err)
{
    LinkEndpoints ep = LinkEndpoints::Defaults();
    ep.listenLimitMs = static_cast<std::uint32_t>(platform::Millis(line.discoverTimeout).count());
    const std::vector<std::uint32_t> found = DiscoverAddresses(ep);
    out << FormatDiscovery(found, line.format);
    if (found.empty()) {
        err << Program << ": no print server answered\n";
        return 1;
    }
    return 0;
}

int RunStatus(const CommandLine &line, std::ostream &out)
{
    const std::vector<Exchange> exchanges = ProbeStatus(line.targets, platform::Millis(line.statusTimeout));
    std::vector<ServerStatus> servers;
    bool allAnswered = true;
    for (const Exchange &e : exchanges) {
        servers.push_back(MakeServerStatus(e));
        allAnswered = allAnswered && e.outcome == Outcome::Reply;
    }
    out << (line.json ? StatusJson(servers) : StatusText(servers, line.statusTimeout));
    return allAnswered ? 0 : 1;
}

// The exporter between its start and stop lines in the log.
int RunLoggedServe(const ServeOptions &options, std::ostream &out, std::ostream &err)
{
    Logger log(err, options.logLevel, options.logFormat);
    std::string allowed;
    for (const AddressRange &r : options.allowTargets)
        allowed += (allowed.empty() ? "" : ",") + r.Text();
    // Every address it will listen on, IPv6 in brackets, as the exporter prints them.
    std::string listen;
    const std::vector<ListenAddress> addresses =
        options.listen.empty() ? std::vector<ListenAddress>{{options.host, options.port}} : options.listen;
    for (const ListenAddress &a : addresses)
        listen += (listen.empty() ? "" : ",") + ListenAddressText(a);
    char timeout[32];
    std::snprintf(timeout, sizeof timeout, "%g", options.timeoutSeconds);
    log.Log(LogLevel::Info, "Starting kestrum-probe",
            {{"version", KESTRUM_VERSION},
             {"listen", listen},
             {"timeout_seconds", timeout},
             {"allow_target", allowed.empty() ? "any" : allowed}});
    const int code = RunServe(options, log, out);
    log.Log(code == 0 ? LogLevel::Info : LogLevel::Error, "Stopped kestrum-probe",
            {{"exit_code", std::to_string(code)}});
    return code;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char *const *argv)
{
    if (argc < 1 || !argv) {
        CommandLine line;
        line.finished = true;
        line.exitCode = ExitUsage;
        line.text = std::string(Program) + ": no arguments\n";
        return line;
    }
    Parser parser;
    return parser.Parse(argc, argv);
}

int RunCommandLine(const CommandLine &line, std::ostream &out, std::ostream &err)
{
    if (line.finished && line.jsonLog && !line.complaint.empty()) {
        Logger(err, LogLevel::Info, LogFormat::Json)
            .Log(LogLevel::Error, "Bad command line", {{"err", line.complaint}});
        return line.exitCode;
    }
    if (line.finished) {
        (line.exitCode == 0 || line.textToStdout ? out : err) << line.text;
        return line.exitCode;
    }
    switch (line.command) {
    case Command::Discover: return RunDiscover(line, out, err);
    case Command::Status: return RunStatus(line, out);
    case Command::Check: {
        const std::vector<Exchange> exchanges =
            ProbeStatus({line.check.host}, platform::Millis(line.check.timeoutSeconds));
        const CheckResult result = EvaluateCheck(line.check, exchanges.front());
        out << result.output;
        return result.state;
    }
    case Command::Serve: return RunLoggedServe(line.serve, out, err);
    case Command::None: break;
    }
    err << Program << ": no command (see " << Program << " --help)\n";
    return ExitUsage;
}

int ProbeMain(int argc, const char *const *argv, std::ostream &out, std::ostream &err)
{
    return RunCommandLine(ParseCommandLine(argc, argv), out, err);
}

}  // namespace kprobe
