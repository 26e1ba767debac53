// The simulator's command line and the shapes of its deliberately wrong answers.
#include "tools/printsim/options.h"
#include "tools/printsim/replies.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

using namespace printsim;

namespace {

bool Parse(std::vector<const char *> args, Options &o, std::string &error)
{
    args.insert(args.begin(), "kestrum-printsim");
    return ParseOptions(static_cast<int>(args.size()), args.data(), o, error);
}

}  // namespace

TEST(PrintsimOptions, CommandLines)
{
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--port", "0", "--stop-after", "3", "--reply", "oversized", "--discovery-reply", "garbage"}, o,
                      error));
    EXPECT_EQ(o.port, 0);
    EXPECT_EQ(o.stopAfter, 3);
    EXPECT_EQ(o.replyFault, ReplyFault::Oversized);
    EXPECT_EQ(o.discoveryFault, DiscoveryFault::Garbage);
    ASSERT_TRUE(Parse({"--probe", "10.213.0.255:6000", "--broadcast"}, o, error));
    EXPECT_EQ(o.mode, Mode::Probe);
    EXPECT_EQ(o.target + ":" + std::to_string(o.targetPort) + " " + std::to_string(o.waitMs), "10.213.0.255:6000 2000");
    ASSERT_TRUE(Parse({"--request", "127.0.0.1"}, o, error));
    EXPECT_EQ(o.target + ":" + std::to_string(o.targetPort) + " " + std::to_string(o.waitMs), "127.0.0.1:60000 1000");

    const std::pair<std::vector<const char *>, std::string> bad[] = {
        {{"--port"}, "--port needs a value"},
        {{"--port", "65536"}, "--port: '65536' is not a port number"},
        {{"--bind", "localhost"}, "--bind: 'localhost' is not an IPv4 address"},
        {{"--max-seconds", "0"}, "--max-seconds: '0' is not 1 to 86400"},
        {{"--delay-ms", "5s"}, "--delay-ms: '5s' is not 0 to 600000"},
        {{"--probe", "1.2.3.4:"}, "--probe: '1.2.3.4:' is not ADDR or ADDR:PORT"},
        {{"--probe", "1.2.3.4", "--request", "1.2.3.4"}, "--probe and --request exclude each other"},
        {{"--verbose"}, "unknown option '--verbose' (try --help)"},
        {{"--reply", "long"}, "--reply: expected short, oversized or garbage, got 'long'"},
        {{"stray"}, "unexpected argument 'stray' (try --help)"},
    };
    for (const auto &c : bad) {
        EXPECT_FALSE(Parse(c.first, o, error)) << c.second;
        EXPECT_EQ(error, c.second);
    }
}

TEST(PrintsimOptions, HelpAndVersionComeBackWithoutExiting)
{
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--port", "0", "--help"}, o, error));
    EXPECT_EQ(o.mode, Mode::Help);
    ASSERT_TRUE(Parse({"--version"}, o, error));
    EXPECT_EQ(o.mode, Mode::Version);
    EXPECT_EQ(VersionText().rfind("kestrum-printsim ", 0), 0u);
    // The help is the parser's own and names every option.
    const std::string usage = UsageText();
    for (const char *option : {"--bind", "--port", "--scenario", "--no-discovery", "--stop-after", "--reply",
                               "--discovery-reply", "--delay-ms", "--answer-twice", "--max-seconds", "--quiet",
                               "--probe", "--broadcast", "--request", "--wait-ms", "--help", "--version"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    // The last of a repeated option counts.
    ASSERT_TRUE(Parse({"--port", "5", "--port", "6"}, o, error));
    EXPECT_EQ(o.port, 6);
}

TEST(PrintsimReplies, EachFaultHasItsShape)
{
    StatusReply reply;
    std::memset(&reply, 0x11, sizeof reply);
    EXPECT_EQ(StatusDatagram(reply, ReplyFault::Short, 0), std::vector<std::uint8_t>(130, 0x11));
    const auto big = StatusDatagram(reply, ReplyFault::Oversized, 0);
    ASSERT_EQ(big.size(), 961u);
    EXPECT_EQ(big[959], 0x11);
    // Garbage is never a length a client could take for an answer, and repeats for the same request number.
    std::set<std::size_t> lengths;
    for (std::uint32_t seq = 0; seq < 500; ++seq) {
        const auto g = StatusDatagram(reply, ReplyFault::Garbage, seq);
        ASSERT_TRUE(g.size() >= 2 && g.size() <= 901) << seq;
        ASSERT_EQ(g, StatusDatagram(reply, ReplyFault::Garbage, seq)) << seq;
        lengths.insert(g.size());
    }
    EXPECT_GT(lengths.size(), 100u) << "garbage lengths should vary";
    EXPECT_EQ(DiscoveryDatagram(DiscoveryFault::Oversized), (std::vector<std::uint8_t>{0x55, 0x55}));
    EXPECT_EQ(DiscoveryDatagram(DiscoveryFault::Garbage), std::vector<std::uint8_t>{0x54});
}
