// Many status exchanges at once against fake servers on loopback: each reply
// reaches its own request, silence and oversized replies are told apart, and
// the whole batch ends within its time-out. Discovery through the link's search.
#include "tools/probe/discover.h"
#include "tools/probe/exchange.h"
#include "tools/probe/printers.h"

#include "tests/probe/fake_servers.h"

#include <gtest/gtest.h>

using namespace kprobe;
using Clock = std::chrono::steady_clock;

TEST(Exchange, ManyAtOnceEachReplyToItsOwnRequest)
{
    // 300 servers: most answer, some are silent, some oversized or short, and
    // some answer from the wrong port (which must not count).
    std::vector<Behaviour> behaviours;
    for (int i = 0; i < 300; ++i) {
        Behaviour b = Behaviour::Answer;
        if (i % 10 == 3)
            b = Behaviour::Silent;
        else if (i % 50 == 7)
            b = Behaviour::Oversized;
        else if (i % 50 == 17)
            b = Behaviour::Short;
        else if (i % 50 == 27)
            b = Behaviour::OtherPort;
        behaviours.push_back(b);
    }
    FakeServers servers(behaviours);
    const auto start = Clock::now();
    const std::vector<Exchange> result = ExchangeStatus(servers.Targets(), std::chrono::milliseconds(500));
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GE(took, 0.45);  // the silent ones were waited for
    EXPECT_LT(took, 1.5);
    ASSERT_EQ(result.size(), behaviours.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
        const Exchange &e = result[i];
        EXPECT_TRUE(e.target == servers.Targets()[i]);
        switch (behaviours[i]) {
        case Behaviour::Answer:
        case Behaviour::Short:
            ASSERT_EQ(e.outcome, Outcome::Reply) << i;
            EXPECT_EQ(FieldText(e.reply.records[0].printerName), "server " + std::to_string(i));
            EXPECT_EQ(e.replyBytes, behaviours[i] == Behaviour::Short ? 130 : 960);
            EXPECT_LT(e.seconds, 0.5);
            break;
        case Behaviour::Silent:
        case Behaviour::OtherPort:
            EXPECT_EQ(e.outcome, Outcome::Silent) << i;
            EXPECT_EQ(e.replyBytes, -1);
            EXPECT_DOUBLE_EQ(e.seconds, 0.5);
            break;
        case Behaviour::Oversized:
            EXPECT_EQ(e.outcome, Outcome::Oversized) << i;
            EXPECT_EQ(e.replyBytes, 961);
            break;
        }
    }
    EXPECT_EQ(servers.Requests(), 300);
}

TEST(Exchange, TheSameServerTwiceGetsTwoReplies)
{
    FakeServers servers({Behaviour::Answer});
    const Target t = servers.Targets()[0];
    const auto result = ExchangeStatus({t, t}, std::chrono::milliseconds(500));
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].outcome, Outcome::Reply);
    EXPECT_EQ(result[1].outcome, Outcome::Reply);
    EXPECT_EQ(servers.Requests(), 2);
}

TEST(Exchange, NothingToAskEndsAtOnce)
{
    const auto start = Clock::now();
    EXPECT_TRUE(ExchangeStatus({}, std::chrono::milliseconds(1000)).empty());
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 0.1);
}

TEST(Discover, TheLinksSearchFindsALoopbackServer)
{
    // A stand-in that answers the probe with 0x55, twice: listed once.
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7F000001u);
    socklen_t length = sizeof a;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    std::thread answer([fd] {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 3000) <= 0)
            return;
        std::uint8_t byte = 0;
        sockaddr_in from{};
        socklen_t n = sizeof from;
        if (::recvfrom(fd, &byte, 1, 0, reinterpret_cast<sockaddr *>(&from), &n) == 1 && byte == DiscoveryProbe) {
            const std::uint8_t yes = DiscoveryAnswer;
            for (int i = 0; i < 2; ++i)
                ::sendto(fd, &yes, 1, 0, reinterpret_cast<sockaddr *>(&from), sizeof from);
        }
    });
    LinkEndpoints ep;
    ep.broadcastAddress = a.sin_addr.s_addr;
    ep.port = ntohs(a.sin_port);
    ep.gatewayLookup = [](std::uint8_t *) { return false; };
    ep.listenLimitMs = 2500;
    const auto start = Clock::now();
    const auto found = DiscoverAddresses(ep);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    answer.join();
    ::close(fd);
    EXPECT_EQ(FormatDiscovery(found, DiscoverFormat::Text), "127.0.0.1\n");
    EXPECT_LE(took, 2.7);  // bounded by the listen limit
}
