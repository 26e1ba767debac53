// The simulator's command line and the shapes of its deliberately wrong answers.
#include "tools/printsim/options.h"
#include "tools/printsim/replies.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace printsim;

namespace {

bool Parse(std::vector<const char *> args, Options &o, std::string &error)
{
    args.insert(args.begin(), "kestrum-printsim");
    return ParseOptions(static_cast<int>(args.size()), args.data(), o, error);
}

}  // namespace

TEST(PrintsimOptions, GoodCommandLines)
{
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--bind", "127.0.0.1", "--port", "0", "--no-discovery", "--stop-after", "3", "--reply",
                       "oversized", "--discovery-reply", "garbage", "--delay-ms", "5", "--answer-twice",
                       "--max-seconds", "9", "--quiet", "--scenario", "x.txt"},
                      o, error))
        << error;
    EXPECT_EQ(o.mode, Mode::Serve);
    EXPECT_EQ(o.bindAddress, "127.0.0.1");
    EXPECT_EQ(o.port, 0);
    EXPECT_FALSE(o.discovery);
    EXPECT_EQ(o.stopAfter, 3);
    EXPECT_EQ(o.replyFault, ReplyFault::Oversized);
    EXPECT_EQ(o.discoveryFault, DiscoveryFault::Garbage);
    EXPECT_EQ(o.delayMs, 5);
    EXPECT_TRUE(o.answerTwice);
    EXPECT_EQ(o.maxSeconds, 9);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.scenarioFile, "x.txt");

    ASSERT_TRUE(Parse({}, o, error));
    EXPECT_EQ(o.port, StatusPort);
    EXPECT_EQ(o.bindAddress, "0.0.0.0");
    EXPECT_TRUE(o.discovery);
    EXPECT_EQ(o.stopAfter, -1);

    ASSERT_TRUE(Parse({"--probe", "10.213.0.255:6000", "--broadcast"}, o, error)) << error;
    EXPECT_EQ(o.mode, Mode::Probe);
    EXPECT_EQ(o.target, "10.213.0.255");
    EXPECT_EQ(o.targetPort, 6000);
    EXPECT_TRUE(o.broadcast);
    EXPECT_EQ(o.waitMs, 2000);

    ASSERT_TRUE(Parse({"--request", "127.0.0.1"}, o, error)) << error;
    EXPECT_EQ(o.mode, Mode::Request);
    EXPECT_EQ(o.targetPort, StatusPort);
    EXPECT_EQ(o.waitMs, 1000);
}

TEST(PrintsimOptions, BadCommandLines)
{
    struct Case {
        std::vector<const char *> args;
        const char *error;
    };
    const Case cases[] = {
        {{"--port"}, "--port needs a value"},
        {{"--port", "65536"}, "--port: '65536' is not a port number"},
        {{"--port", "-1"}, "--port: '-1' is not a port number"},
        {{"--bind", "localhost"}, "--bind: 'localhost' is not an IPv4 address"},
        {{"--reply", "long"}, "--reply: expected short, oversized or garbage, got 'long'"},
        {{"--discovery-reply", "short"}, "--discovery-reply: expected oversized or garbage, got 'short'"},
        {{"--stop-after", "x"}, "--stop-after: 'x' is not a count"},
        {{"--max-seconds", "0"}, "--max-seconds: '0' is not 1 to 86400"},
        {{"--delay-ms", "5s"}, "--delay-ms: '5s' is not 0 to 600000"},
        {{"--probe", "1.2.3.4:"}, "--probe: '1.2.3.4:' is not ADDR or ADDR:PORT"},
        {{"--request", "host:60000"}, "--request: 'host:60000' is not ADDR or ADDR:PORT"},
        {{"--probe", "1.2.3.4", "--request", "1.2.3.4"}, "--probe and --request exclude each other"},
        {{"--verbose"}, "unknown option '--verbose' (try --help)"},
    };
    for (const Case &c : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(c.args, o, error)) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

TEST(PrintsimReplies, EachFaultHasItsLength)
{
    StatusReply reply;
    std::memset(&reply, 0x11, sizeof reply);
    EXPECT_EQ(StatusDatagram(reply, ReplyFault::None, 0).size(), 960u);
    const auto shortReply = StatusDatagram(reply, ReplyFault::Short, 0);
    ASSERT_EQ(shortReply.size(), 130u);
    EXPECT_EQ(shortReply[129], 0x11) << "a short reply is the head of the real one";
    const auto big = StatusDatagram(reply, ReplyFault::Oversized, 0);
    ASSERT_EQ(big.size(), 961u);
    EXPECT_EQ(big[959], 0x11);

    // Garbage is never a length a client could take for a proper answer, and
    // it repeats for the same request number.
    std::set<std::size_t> lengths;
    for (std::uint32_t seq = 0; seq < 500; ++seq) {
        const auto g = StatusDatagram(reply, ReplyFault::Garbage, seq);
        ASSERT_GE(g.size(), GarbageMinSize) << seq;
        ASSERT_LE(g.size(), GarbageMaxSize) << seq;
        ASSERT_EQ(g, StatusDatagram(reply, ReplyFault::Garbage, seq)) << seq;
        lengths.insert(g.size());
    }
    EXPECT_GT(lengths.size(), 100u) << "garbage lengths should vary";

    EXPECT_EQ(DiscoveryDatagram(DiscoveryFault::None), std::vector<std::uint8_t>{0x55});
    EXPECT_EQ(DiscoveryDatagram(DiscoveryFault::Oversized).size(), 2u);
    const auto wrong = DiscoveryDatagram(DiscoveryFault::Garbage);
    ASSERT_EQ(wrong.size(), 1u);
    EXPECT_NE(wrong[0], 0x55);
}
