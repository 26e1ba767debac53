// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/cli.h"

#include "probe/exchange.h"
#include "probe/printers.h"

#include "kestrum_version.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstring>

namespace kprobe {

namespace {

constexpr const char *Program = "kestrum-probe";

std::string VersionLine() { return std::string(Program) + " " + KESTRUM_VERSION; }

// Seconds as an option takes them: a plain decimal number within [lo, hi].
CLI::Validator SecondsWithin(double lo, double hi)
{
    CLI::Validator v(
        [lo, hi](std::string &text) -> std::string {
            bool plain = !text.empty();
            for (char c : text)
                plain = plain && ((c >= '0' && c <= '9') || c == '.');
            char *end = nullptr;
            const double s = plain ? std::strtod(text.c_str(), &end) : 0;
            if (!plain || *end != '\0' || !(s >= lo && s <= hi)) {
                char range[64];
                std::snprintf(range, sizeof range, "%g to %g", lo, hi);
                return "'" + text + "' is not " + range + " seconds";
            }
            return std::string();
        },
        std::string());
    v.name("SECONDS");
    return v;
}

struct Parser {
    CLI::App app{"Print servers of USB Kestrum from scripts, monitoring plugins and Prometheus.", Program};
    CommandLine line;
    std::vector<std::string> addresses;
    std::string host, timeout, warning, critical, printer, format = "text";
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
        app.get_formatter()->column_width(34);
        app.footer("Exit codes: 0 done; 1 a server did not answer, or none was found; 64 bad command line;\n"
                   "check: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN. See kestrum-probe(1).");

        discover = app.add_subcommand("discover", "find the print servers on the LAN: the broadcast, then the "
                                                  "default gateway, as the monitor does");
        discover->add_option("--timeout", line.discoverTimeout,
                             "stop listening after this long at the latest (default 10; the search ends 2 s after "
                             "the last answer)")
            ->check(SecondsWithin(0.1, 300))
            ->type_name("SECONDS");
        discover->add_option("--format", format, "text (one address a line), json, or file-sd (a Prometheus file_sd list)")
            ->check(CLI::IsMember({"text", "json", "file-sd"}))
            ->type_name("FORMAT");

        status = app.add_subcommand("status", "one status exchange with each server, all at once; every printer "
                                              "with the monitor's texts");
        status->add_option("ADDRESS", addresses, "print servers, A.B.C.D or A.B.C.D:PORT")->required();
        status->add_flag("--json", line.json, "JSON instead of text");
        status->add_option("--timeout", line.statusTimeout, "the longest wait for each reply (default 1)")
            ->check(SecondsWithin(0.01, 60))
            ->type_name("SECONDS");

        check = app.add_subcommand("check", "a monitoring plugin (Nagios, Icinga, Naemon, Sensu): the state of one "
                                            "print server's printers");
        check->set_version_flag("-V,--version", VersionLine(), "the version, and exit");
        check->add_option("-H,--hostname", host, "the print server, A.B.C.D or A.B.C.D:PORT")
            ->required()
            ->type_name("ADDRESS");
        check->add_option("-t,--timeout", timeout,
                          "the longest wait for the reply (default 1), and the state when none comes "
                          "(default CRITICAL)")
            ->type_name("SECONDS[:STATE]");
        check->add_option("-w,--warning", warning, "WARNING when a printer's jobs queued are outside RANGE")
            ->type_name("RANGE");
        check->add_option("-c,--critical", critical, "CRITICAL when a printer's jobs queued are outside RANGE")
            ->type_name("RANGE");
        check->add_option("--printer", printer, "only this printer, by its name or its slot (1 to 8)")
            ->type_name("NAME");
        check->add_flag("--ignore-offline", line.check.ignoreOffline, "an off-line printer is not CRITICAL");
        check->footer("RANGE: 10 (outside 0..10), 10: (below 10), ~:10 (above 10), 10:20 (outside 10..20),\n"
                      "@10:20 (inside 10..20).\n"
                      "OK: every printer on line and ready or busy. WARNING: paper out or a fault, or -w.\n"
                      "CRITICAL: a printer off line, no reply in time, or -c. UNKNOWN: bad arguments, a\n"
                      "malformed reply.");

        serve = app.add_subcommand("serve", "a Prometheus exporter: /probe?target=ADDRESS, /metrics");
        serve->add_option("--web.listen-address,--listen", listen,
                          "where to listen, repeatable: HOST:PORT, [IPV6]:PORT, or :PORT for every address "
                          "(default 127.0.0.1:9897; --listen is the older name)")
            ->type_name("ADDRESS");
        serve->add_option("--web.config.file", line.serve.webConfigFile,
                          "TLS and basic authentication, in the web configuration format of Prometheus' exporters")
            ->type_name("FILE");
        serve->add_option("--timeout", line.serve.timeoutSeconds,
                          "the longest wait for each reply (default 1; never past the scrape time-out)")
            ->check(SecondsWithin(0.05, 60))
            ->type_name("SECONDS");
        serve->add_option("--max-connections", line.serve.maxConnections,
                          "connections held at once; past it new ones are closed (default 4096)")
            ->check(CLI::Range(1, 100000))
            ->type_name("N");
        serve->add_option("--max-probes", line.serve.maxProbes, "probes under way at once (default 1200)")
            ->check(CLI::Range(1, 10000))
            ->type_name("N");
    }

    CommandLine Parse(int argc, const char *const *argv)
    {
        const std::string first = argc > 1 && argv[1] ? argv[1] : "";
        if (!first.empty() && first[0] != '-' && first != "discover" && first != "status" && first != "check" &&
            first != "serve")
            return Usage("unknown command '" + first + "' (discover, status, check or serve)");
        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp &) {
            return Finish(0, app.help());
        } catch (const CLI::CallForAllHelp &) {
            return Finish(0, app.help("", CLI::AppFormatMode::All));
        } catch (const CLI::CallForVersion &e) {
            return Finish(0, std::string(e.what()) + "\n");
        } catch (const CLI::ParseError &e) {
            return Usage(e.what());
        } catch (const CLI::Error &e) {
            return Usage(e.what());
        }
        std::string error;
        if (discover->parsed()) {
            line.command = Command::Discover;
            line.format = format == "json" ? DiscoverFormat::Json
                                           : format == "file-sd" ? DiscoverFormat::FileSd : DiscoverFormat::Text;
        } else if (status->parsed()) {
            line.command = Command::Status;
            for (const std::string &a : addresses) {
                Target t;
                if (!ParseTarget(a, t, error))
                    return Usage(error);
                line.targets.push_back(t);
            }
        } else if (check->parsed()) {
            line.command = Command::Check;
            CheckOptions &c = line.check;
            if (!ParseTarget(host, c.host, error))
                return Usage("-H: " + error);
            if (!timeout.empty() && !ParseTimeoutOption(timeout, c.timeoutSeconds, c.timeoutState, error))
                return Usage(error);
            Range r;
            if (!warning.empty()) {
                if (!ParseRange(warning, r, error))
                    return Usage("-w: " + error);
                c.warning = r;
            }
            if (!critical.empty()) {
                if (!ParseRange(critical, r, error))
                    return Usage("-c: " + error);
                c.critical = r;
            }
            if (check->count("--printer"))
                c.printer = printer;
        } else if (serve->parsed()) {
            line.command = Command::Serve;
            for (const std::string &l : listen)
                if (!ParseListen(l, line.serve, error))
                    return Usage(error);
        }
        return line;
    }

    CommandLine Finish(int code, const std::string &text)
    {
        line.finished = true;
        line.exitCode = code;
        line.text = text;
        return line;
    }

    // check is a plugin: a bad command line is UNKNOWN (3) there, 64 elsewhere.
    CommandLine Usage(const std::string &message)
    {
        const bool plugin = check->parsed();
        CLI::App *which = plugin ? check : discover->parsed() ? discover : status->parsed() ? status
                                                                         : serve->parsed() ? serve : nullptr;
        std::string hint = which ? std::string(Program) + " " + which->get_name() + " --help"
                                 : std::string(Program) + " --help";
        return Finish(plugin ? StateUnknown : ExitUsage,
                      std::string(plugin ? "KESTRUM UNKNOWN: " : std::string(Program) + ": ") + message +
                          " (see " + hint + ")\n");
    }
};

std::chrono::milliseconds Millis(double seconds)
{
    return std::chrono::milliseconds(static_cast<long>(std::lround(seconds * 1000)));
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
    if (line.finished) {
        (line.exitCode == 0 ? out : err) << line.text;
        return line.exitCode;
    }
    switch (line.command) {
    case Command::Discover: {
        LinkEndpoints ep = LinkEndpoints::Defaults();
        ep.listenLimitMs = static_cast<std::uint32_t>(Millis(line.discoverTimeout).count());
        const std::vector<std::uint32_t> found = DiscoverAddresses(ep);
        out << FormatDiscovery(found, line.format);
        if (found.empty()) {
            err << Program << ": no print server answered\n";
            return 1;
        }
        return 0;
    }
    case Command::Status: {
        const std::vector<Exchange> exchanges = ExchangeStatus(line.targets, Millis(line.statusTimeout));
        std::vector<ServerStatus> servers;
        bool allAnswered = true;
        for (const Exchange &e : exchanges) {
            servers.push_back(MakeServerStatus(e));
            allAnswered = allAnswered && e.outcome == Outcome::Reply;
        }
        out << (line.json ? StatusJson(servers) : StatusText(servers, line.statusTimeout));
        return allAnswered ? 0 : 1;
    }
    case Command::Check: {
        const std::vector<Exchange> exchanges = ExchangeStatus({line.check.host}, Millis(line.check.timeoutSeconds));
        const CheckResult result = EvaluateCheck(line.check, exchanges.front());
        out << result.output;
        return result.state;
    }
    case Command::Serve:
        return RunServe(line.serve, out, err);
    case Command::None:
        break;
    }
    err << Program << ": no command (see " << Program << " --help)\n";
    return ExitUsage;
}

int ProbeMain(int argc, const char *const *argv, std::ostream &out, std::ostream &err)
{
    return RunCommandLine(ParseCommandLine(argc, argv), out, err);
}

}  // namespace kprobe
