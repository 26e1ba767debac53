// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "printsim/options.h"

#include "kestrum_version.h"

#include <CLI/CLI.hpp>
#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

namespace printsim {

namespace {

bool ToLong(const std::string &text, long lo, long hi, long &out)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool IsAddress(const std::string &text)
{
    in_addr a;
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

// "ADDR" or "ADDR:PORT".
bool SplitTarget(const std::string &text, std::string &addr, std::uint16_t &port)
{
    const std::size_t colon = text.find(':');
    addr = text.substr(0, colon);
    if (!IsAddress(addr))
        return false;
    if (colon == std::string::npos)
        return true;
    long p = 0;
    if (!ToLong(text.substr(colon + 1), 1, 65535, p))
        return false;
    port = static_cast<std::uint16_t>(p);
    return true;
}

// A validator that also stores the value: `take` returns the complaint after
// "OPTION: ", or an empty text when the value is good.
CLI::Validator Taking(const std::string &typeName, std::function<std::string(const std::string &)> take)
{
    CLI::Validator v([take](std::string &value) { return take(value); }, std::string());
    v.name(typeName);
    return v;
}

// A whole number from lo to hi into out, or "'TEXT' is <what>".
CLI::Validator Number(long lo, long hi, const std::string &what, std::function<void(long)> store)
{
    return Taking("N", [=](const std::string &v) -> std::string {
        long n = 0;
        if (!ToLong(v, lo, hi, n))
            return "'" + v + "' is " + what;
        store(n);
        return std::string();
    });
}

// One of a few named values into out, or "expected a, b or c, got 'TEXT'".
template <typename T>
CLI::Validator Choice(std::vector<std::pair<std::string, T>> names, T &out)
{
    std::string typeName, list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        typeName += (i ? "|" : "") + names[i].first;
        list += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i].first;
    }
    return Taking(typeName, [names, list, &out](const std::string &k) -> std::string {
        for (const auto &[name, value] : names)
            if (k == name) {
                out = value;
                return std::string();
            }
        return "expected " + list + ", got '" + k + "'";
    });
}

// The parser, bound to o and to the two client-mode flags.
struct Parser {
    CLI::App app{"A print server for tests and demos: answers the discovery probe (0xAA) with 0x55\n"
                 "and every status request (0x55) with eight 120-byte printer records.\n"
                 "The first line on stdout is \"listening ADDR:PORT\".",
                 "kestrum-printsim"};
    Options o;
    bool probe = false;
    bool request = false;
    std::string sink;  // every option is taken in by its validator

    Parser()
    {
        app.set_help_flag("-h,--help", "this text");
        app.set_version_flag("--version", VersionText(), "the version, and exit");
        app.allow_extras();  // unknown options are named by ParseOptions itself
        app.get_formatter()->column_width(30);
        const std::string serving = "Serving";
        const std::string client = "Client (for checking a server)";

        app.add_option("--bind", sink, "address to listen on (default 127.0.0.1; 0.0.0.0 for all)")
            ->group(serving)
            ->check(Taking("ADDR", [this](const std::string &v) -> std::string {
                if (!IsAddress(v))
                    return "'" + v + "' is not an IPv4 address";
                o.bindAddress = v;
                return std::string();
            }));
        app.add_option("--port", sink, "UDP port (default 60000; 0 picks a free one)")
            ->group(serving)
            ->check(Number(0, 65535, "not a port number", [this](long v) { o.port = static_cast<std::uint16_t>(v); }));
        app.add_option("--scenario", sink, "printers and their timelines (see README.md); default: four built-in printers")
            ->group(serving)
            ->check(Taking("FILE", [this](const std::string &v) {
                o.scenarioFile = v;
                return std::string();
            }));
        app.add_flag_callback("--no-discovery", [this] { o.discovery = false; }, "do not answer discovery probes")
            ->group(serving);
        app.add_option("--stop-after", sink,
                       "answer only the first N status requests, then keep running silently")
            ->group(serving)
            ->check(Number(0, 1000000000L, "not a count", [this](long v) { o.stopAfter = v; }));
        app.add_option("--reply", sink,
                       "answer status requests with 130 bytes, 961 bytes, or 2 to 901 bytes of noise")
            ->group(serving)
            ->check(Choice<ReplyFault>(
                {{"short", ReplyFault::Short}, {"oversized", ReplyFault::Oversized}, {"garbage", ReplyFault::Garbage}},
                o.replyFault));
        app.add_option("--discovery-reply", sink, "answer probes with two bytes, or with one wrong byte")
            ->group(serving)
            ->check(Choice<DiscoveryFault>(
                {{"oversized", DiscoveryFault::Oversized}, {"garbage", DiscoveryFault::Garbage}}, o.discoveryFault));
        app.add_option("--delay-ms", sink, "wait N ms before every answer")
            ->group(serving)
            ->check(Number(0, 600000, "not 0 to 600000", [this](long v) { o.delayMs = static_cast<int>(v); }));
        app.add_flag_callback("--answer-twice", [this] { o.answerTwice = true; }, "answer every probe twice")
            ->group(serving);
        app.add_option("--max-seconds", sink, "exit by itself after N seconds")
            ->group(serving)
            ->check(Number(1, 86400, "not 1 to 86400", [this](long v) { o.maxSeconds = static_cast<int>(v); }));
        app.add_flag_callback("--quiet", [this] { o.quiet = true; }, "no log line per datagram on stderr")
            ->group(serving);

        auto target = [this](bool &flag) {
            return Taking("ADDR[:PORT]", [this, &flag](const std::string &v) -> std::string {
                if (!SplitTarget(v, o.target, o.targetPort))
                    return "'" + v + "' is not ADDR or ADDR:PORT";
                flag = true;
                return std::string();
            });
        };
        app.add_option("--probe", sink, "send one 0xAA and list every answer (\"answer ADDR:PORT LEN\")")
            ->group(client)
            ->check(target(probe));
        app.add_flag_callback("--broadcast", [this] { o.broadcast = true; }, "allow a broadcast address for --probe")
            ->group(client);
        app.add_option("--request", sink, "send one 0x55 and print \"reply LEN\", or \"no reply\"")
            ->group(client)
            ->check(target(request));
        app.add_option("--wait-ms", sink,
                       "how long to collect answers (default 2000 for --probe, 1000 for --request)")
            ->group(client)
            ->check(Number(1, 60000, "not 1 to 60000", [this](long v) { o.waitMs = static_cast<int>(v); }));
        // Every option may be given again; the last one counts, as before.
        for (CLI::Option *opt : app.get_options()) {
            opt->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
            // The value's form is the validator's name; the help shows only that.
            try {
                if (opt->get_type_size() > 0)
                    opt->type_name(opt->get_validator(0)->get_name());
            } catch (const CLI::OptionNotFound &) {
                // flags have no value and no validator
            }
        }
    }
};

// CLI11 names the option first ("--port: ..."); a missing value reads as ours did.
std::string OptionOfMessage(const std::string &what)
{
    const std::size_t colon = what.find(':');
    return colon == std::string::npos ? what : what.substr(0, colon);
}

}  // namespace

std::string VersionText() { return std::string("kestrum-printsim ") + KESTRUM_VERSION; }

std::string UsageText()
{
    Parser parser;
    return parser.app.help() +
           "\nExit codes: 0 done, 1 socket trouble, 2 no answer (client modes), 64 bad command line,\n"
           "65 bad scenario file.\n";
}

bool ParseOptions(int argc, const char *const *argv, Options &out, std::string &error)
{
    Parser parser;
    try {
        parser.app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        out = Options{};
        out.mode = Mode::Help;
        return true;
    } catch (const CLI::CallForVersion &) {
        out = Options{};
        out.mode = Mode::Version;
        return true;
    } catch (const CLI::ArgumentMismatch &e) {
        error = OptionOfMessage(e.what()) + " needs a value";
        return false;
    } catch (const CLI::ParseError &e) {
        error = e.what();
        return false;
    }
    const std::vector<std::string> extra = parser.app.remaining();
    if (!extra.empty()) {
        const std::string &arg = extra.front();
        error = (!arg.empty() && arg[0] == '-' ? "unknown option '" : "unexpected argument '") + arg + "' (try --help)";
        return false;
    }
    Options &o = parser.o;
    if (parser.probe && parser.request) {
        error = "--probe and --request exclude each other";
        return false;
    }
    if (parser.probe)
        o.mode = Mode::Probe;
    if (parser.request)
        o.mode = Mode::Request;
    if (o.waitMs < 0)
        o.waitMs = parser.probe ? 2000 : 1000;
    out = o;
    return true;
}

}  // namespace printsim
