#include "tools/printsim/options.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace printsim {

namespace {

bool ToLong(const char *text, long lo, long hi, long &out)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
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
    if (!ToLong(text.c_str() + colon + 1, 1, 65535, p))
        return false;
    port = static_cast<std::uint16_t>(p);
    return true;
}

}  // namespace

const char *UsageText()
{
    return "Usage: kestrum-printsim [OPTIONS]\n"
           "A print server for tests and demos: answers the discovery probe (0xAA) with 0x55\n"
           "and every status request (0x55) with eight 120-byte printer records.\n"
           "\n"
           "Serving:\n"
           "  --bind ADDR              address to listen on (default 127.0.0.1; 0.0.0.0 for all)\n"
           "  --port N                 UDP port (default 60000; 0 picks a free one)\n"
           "  --scenario FILE          printers and their timelines (see README.md);\n"
           "                           default: four built-in printers\n"
           "  --no-discovery           do not answer discovery probes\n"
           "  --stop-after N           answer only the first N status requests, then keep\n"
           "                           running silently\n"
           "  --reply short|oversized|garbage\n"
           "                           answer status requests with 130 bytes, 961 bytes,\n"
           "                           or 2 to 901 bytes of noise\n"
           "  --discovery-reply oversized|garbage\n"
           "                           answer probes with two bytes, or with one wrong byte\n"
           "  --delay-ms N             wait N ms before every answer\n"
           "  --answer-twice           answer every probe twice\n"
           "  --max-seconds N          exit by itself after N seconds\n"
           "  --quiet                  no log line per datagram on stderr\n"
           "The first line on stdout is \"listening ADDR:PORT\".\n"
           "\n"
           "Client (for checking a server):\n"
           "  --probe ADDR[:PORT]      send one 0xAA and list every answer (\"answer ADDR:PORT LEN\")\n"
           "  --broadcast              allow a broadcast address for --probe\n"
           "  --request ADDR[:PORT]    send one 0x55 and print \"reply LEN\", or \"no reply\"\n"
           "  --wait-ms N              how long to collect answers (default 2000 for --probe,\n"
           "                           1000 for --request)\n"
           "\n"
           "  --help                   this text\n";
}

bool ParseOptions(int argc, const char *const *argv, Options &out, std::string &error)
{
    Options o;
    bool probe = false;
    bool request = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needValue = [&]() -> bool {
            if (!next) {
                error = arg + " needs a value";
                return false;
            }
            ++i;
            return true;
        };
        long v = 0;
        if (arg == "--help" || arg == "-h") {
            o.mode = Mode::Help;
            out = o;
            return true;
        } else if (arg == "--bind") {
            if (!needValue())
                return false;
            if (!IsAddress(next)) {
                error = std::string("--bind: '") + next + "' is not an IPv4 address";
                return false;
            }
            o.bindAddress = next;
        } else if (arg == "--port") {
            if (!needValue())
                return false;
            if (!ToLong(next, 0, 65535, v)) {
                error = std::string("--port: '") + next + "' is not a port number";
                return false;
            }
            o.port = static_cast<std::uint16_t>(v);
        } else if (arg == "--scenario") {
            if (!needValue())
                return false;
            o.scenarioFile = next;
        } else if (arg == "--no-discovery") {
            o.discovery = false;
        } else if (arg == "--stop-after") {
            if (!needValue())
                return false;
            if (!ToLong(next, 0, 1000000000L, v)) {
                error = std::string("--stop-after: '") + next + "' is not a count";
                return false;
            }
            o.stopAfter = v;
        } else if (arg == "--reply") {
            if (!needValue())
                return false;
            const std::string k = next;
            if (k == "short")
                o.replyFault = ReplyFault::Short;
            else if (k == "oversized")
                o.replyFault = ReplyFault::Oversized;
            else if (k == "garbage")
                o.replyFault = ReplyFault::Garbage;
            else {
                error = "--reply: expected short, oversized or garbage, got '" + k + "'";
                return false;
            }
        } else if (arg == "--discovery-reply") {
            if (!needValue())
                return false;
            const std::string k = next;
            if (k == "oversized")
                o.discoveryFault = DiscoveryFault::Oversized;
            else if (k == "garbage")
                o.discoveryFault = DiscoveryFault::Garbage;
            else {
                error = "--discovery-reply: expected oversized or garbage, got '" + k + "'";
                return false;
            }
        } else if (arg == "--delay-ms") {
            if (!needValue())
                return false;
            if (!ToLong(next, 0, 600000, v)) {
                error = std::string("--delay-ms: '") + next + "' is not 0 to 600000";
                return false;
            }
            o.delayMs = static_cast<int>(v);
        } else if (arg == "--answer-twice") {
            o.answerTwice = true;
        } else if (arg == "--max-seconds") {
            if (!needValue())
                return false;
            if (!ToLong(next, 1, 86400, v)) {
                error = std::string("--max-seconds: '") + next + "' is not 1 to 86400";
                return false;
            }
            o.maxSeconds = static_cast<int>(v);
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--probe" || arg == "--request") {
            if (!needValue())
                return false;
            if (!SplitTarget(next, o.target, o.targetPort)) {
                error = arg + ": '" + next + "' is not ADDR or ADDR:PORT";
                return false;
            }
            (arg == "--probe" ? probe : request) = true;
        } else if (arg == "--broadcast") {
            o.broadcast = true;
        } else if (arg == "--wait-ms") {
            if (!needValue())
                return false;
            if (!ToLong(next, 1, 60000, v)) {
                error = std::string("--wait-ms: '") + next + "' is not 1 to 60000";
                return false;
            }
            o.waitMs = static_cast<int>(v);
        } else {
            error = "unknown option '" + arg + "' (try --help)";
            return false;
        }
    }
    if (probe && request) {
        error = "--probe and --request exclude each other";
        return false;
    }
    if (probe)
        o.mode = Mode::Probe;
    if (request)
        o.mode = Mode::Request;
    if (o.waitMs < 0)
        o.waitMs = probe ? 2000 : 1000;
    out = o;
    return true;
}

}  // namespace printsim
