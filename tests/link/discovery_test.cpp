#include "link/discovery.h"

#include "app/messages.h"
#include "tests/link/fake_host.h"
#include "tests/link/udp_responder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <cstring>
#include <string>

using platform::WM_CLOSE;

namespace {

const std::vector<std::uint8_t> Probe = {0xAA};
const std::vector<std::uint8_t> Answer = {0x55};

std::uint32_t Loopback(const char *text)
{
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

// Gateway lookups: how often they ran, and what they yield.
struct Gateway {
    std::atomic<int> lookups{0};
    bool found = false;
    std::uint32_t address = 0;

    std::function<bool(std::uint8_t out[4])> Lookup()
    {
        return [this](std::uint8_t out[4]) {
            ++lookups;
            std::memcpy(out, &address, 4);
            return found;
        };
    }
};

LinkEndpoints PointAt(const UdpResponder &server, Gateway &gateway, std::uint32_t limitMs = 10000)
{
    LinkEndpoints ep;
    ep.broadcastAddress = server.Address();
    ep.port = server.Port();
    ep.gatewayLookup = gateway.Lookup();
    ep.listenLimitMs = limitMs;
    return ep;
}

// The addresses handed to the list, each checked to live in its own payload.
std::vector<std::string> AddedServers(const FakeHost &host)
{
    std::vector<std::string> servers;
    const void *previous = nullptr;
    for (const auto &e : host.Posts(HostWindow::ServerList, WM_ADD_SERVER)) {
        auto text = std::static_pointer_cast<const std::string>(e.message.payload);
        if (!text) {
            ADD_FAILURE() << "WM_ADD_SERVER without its own text";
            continue;
        }
        EXPECT_EQ(reinterpret_cast<const char *>(e.message.wParam), text->c_str());
        EXPECT_NE(text.get(), previous) << "two answers share one text";
        EXPECT_TRUE(e.targetEnabled) << "posted before the list was open";
        previous = text.get();
        servers.push_back(*text);
    }
    return servers;
}

std::size_t Count(const std::vector<Datagram> &received, const std::vector<std::uint8_t> &bytes)
{
    std::size_t n = 0;
    for (const auto &d : received)
        n += d.bytes == bytes;
    return n;
}

// The first answer closes the notice and asks for the list, once, and both come
// before any server is added.
void ExpectListRequestedOnce(const FakeHost &host)
{
    const auto log = host.Log();
    ASSERT_EQ(host.Posts(HostWindow::Finding, WM_CLOSE).size(), 1u);
    ASSERT_EQ(host.Posts(HostWindow::Main, WM_CHOOSE_SERVER).size(), 1u);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].target, HostWindow::Finding);
    EXPECT_EQ(log[0].message.msg, WM_CLOSE);
    EXPECT_EQ(log[1].target, HostWindow::Main);
    EXPECT_EQ(log[1].message.msg, WM_CHOOSE_SERVER);
}

TEST(Discovery, FallsBackToTheGatewayOnceWhenTheBroadcastFindsNobody)
{
    struct Case {
        const char *name;
        bool gatewayFound;
        bool gatewayAnswers;
        int expected;
        std::size_t gatewayProbes;
    } cases[] = {
        {"no gateway", false, false, 0, 0},
        {"gateway answers", true, true, 1, 1},
        {"gateway silent", true, false, 0, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<UdpResponder> server, gatewayPeer;
        ASSERT_TRUE(BindPair("127.0.0.1", "127.0.0.2", server, gatewayPeer));
        server->Start();
        gatewayPeer->Start([&](UdpResponder &self, const Datagram &d) {
            if (c.gatewayAnswers && d.bytes == Probe)
                self.Send(Answer, d.from);
        });
        Gateway gateway;
        gateway.found = c.gatewayFound;
        gateway.address = gatewayPeer->Address();
        FakeHost host;
        host.SetEnabled(HostWindow::ServerList, true);
        sockaddr_in source{};

        EXPECT_EQ(DiscoverServers(host, &source, PointAt(*server, gateway)), c.expected);

        EXPECT_EQ(gateway.lookups, 1);
        EXPECT_EQ(server->Received().size(), 1u);
        EXPECT_EQ(Count(server->Received(), Probe), 1u);
        EXPECT_EQ(gatewayPeer->Received().size(), c.gatewayProbes);
        EXPECT_EQ(Count(gatewayPeer->Received(), Probe), c.gatewayProbes);
        if (c.expected) {
            ExpectListRequestedOnce(host);
            EXPECT_EQ(AddedServers(host), std::vector<std::string>{"127.0.0.2"});
        } else {
            EXPECT_TRUE(host.Log().empty());
        }
    }
}

TEST(Discovery, EveryAnswerAddsItsOwnAddress)
{
    // Declared before the server, whose thread sends through them, so they outlive it.
    UdpResponder second("127.0.0.3");
    UdpResponder third("127.0.0.4");
    UdpResponder server("127.0.0.1");
    ASSERT_TRUE(server.IsValid() && second.IsValid() && third.IsValid());
    // Three servers answer back to back, before the list has even opened.
    server.Start([&](UdpResponder &self, const Datagram &d) {
        if (d.bytes != Probe)
            return;
        self.Send(Answer, d.from);
        second.Send(Answer, d.from);
        third.Send(Answer, d.from);
    });
    Gateway gateway;
    FakeHost host;
    host.OnEntry([](FakeHost &h, const HostEntry &e) {
        if (e.message.msg == WM_CHOOSE_SERVER)
            h.Later(200, [&h] { h.SetEnabled(HostWindow::ServerList, true); });
    });
    sockaddr_in source{};

    EXPECT_EQ(DiscoverServers(host, &source, PointAt(server, gateway)), 3);

    ExpectListRequestedOnce(host);
    EXPECT_EQ(AddedServers(host), (std::vector<std::string>{"127.0.0.1", "127.0.0.3", "127.0.0.4"}));
    EXPECT_EQ(source.sin_addr.s_addr, third.Address());
    EXPECT_EQ(gateway.lookups, 0);
}

// What the server sends back to the probe, in order, and what discovery makes of it.
TEST(Discovery, OnlyASingleAnswerByteCounts)
{
    struct Case {
        const char *name;
        std::vector<std::vector<std::uint8_t>> datagrams;
        int expected;
        int lookups;
    } cases[] = {
        {"one answer", {Answer}, 1, 0},
        {"wrong byte then answer", {{0x54}, Answer}, 1, 0},
        {"empty then answer", {{}, Answer}, 1, 0},
        {"answer then empty", {Answer, {}}, 1, 0},  // the byte is reset before each receive
        {"a zero byte", {{0x00}}, 0, 1},
        {"own probe echoed", {Probe}, 0, 1},
        {"answer twice", {Answer, Answer}, 2, 0},
        {"oversized after an answer", {Answer, {0x55, 0x55}, Answer}, 1, 0},
        {"oversized first", {{0x55, 0x00}}, 0, 0},
        {"a status reply", {std::vector<std::uint8_t>(960, 0x55)}, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        UdpResponder server("127.0.0.1");
        ASSERT_TRUE(server.IsValid());
        server.Start([&](UdpResponder &self, const Datagram &d) {
            if (d.bytes == Probe)
                for (const auto &bytes : c.datagrams)
                    self.Send(bytes, d.from);
        });
        Gateway gateway;
        FakeHost host;
        host.SetEnabled(HostWindow::ServerList, true);
        sockaddr_in source{};

        EXPECT_EQ(DiscoverServers(host, &source, PointAt(server, gateway)), c.expected);

        EXPECT_EQ(gateway.lookups, c.lookups);
        EXPECT_EQ(AddedServers(host), std::vector<std::string>(c.expected, "127.0.0.1"));
        if (c.expected) {
            ExpectListRequestedOnce(host);
        } else {
            EXPECT_TRUE(host.Log().empty());
        }
    }
}

// A datagram that is no answer still opens a new two-second window: the answer
// 1.5 s after it (2.5 s after the probe) is still heard.
TEST(Discovery, AnyDatagramRestartsTheWindow)
{
    UdpResponder server("127.0.0.1");
    ASSERT_TRUE(server.IsValid());
    server.Start([&](UdpResponder &self, const Datagram &d) {
        if (d.bytes != Probe)
            return;
        if (self.Pause(1000))
            self.Send({0x01}, d.from);
        if (self.Pause(1500))
            self.Send(Answer, d.from);
    });
    Gateway gateway;
    FakeHost host;
    host.SetEnabled(HostWindow::ServerList, true);
    sockaddr_in source{};

    EXPECT_EQ(DiscoverServers(host, &source, PointAt(server, gateway)), 1);
    EXPECT_EQ(gateway.lookups, 0);
}

// Sends one datagram every 100 ms, at most 100, until stopped.
void Flood(UdpResponder &self, const sockaddr_in &to, std::uint8_t byte, std::atomic<int> &sent)
{
    for (int i = 0; i < 100 && self.Pause(100); ++i) {
        self.Send({byte}, to);
        ++sent;
    }
}

TEST(Discovery, ListeningEndsAtTheLimitWhileDatagramsKeepComing)
{
    UdpResponder server("127.0.0.1");
    ASSERT_TRUE(server.IsValid());
    std::atomic<int> sent{0};
    server.Start([&](UdpResponder &self, const Datagram &d) {
        if (d.bytes == Probe)
            Flood(self, d.from, 0x01, sent);
    });
    Gateway gateway;
    gateway.found = true;
    gateway.address = Loopback("127.0.0.2");
    FakeHost host;
    sockaddr_in source{};

    EXPECT_EQ(DiscoverServers(host, &source, PointAt(server, gateway, 1500)), 0);

    EXPECT_LT(sent, 100) << "discovery outlived the flood instead of its limit";
    EXPECT_EQ(gateway.lookups, 0);
    EXPECT_TRUE(host.Log().empty());
}

// Once the user has chosen from the list, further datagrams do not keep the
// search alive.
TEST(Discovery, ListeningEndsOnceTheChoiceIsMade)
{
    UdpResponder server("127.0.0.1");
    ASSERT_TRUE(server.IsValid());
    std::atomic<int> sent{0};
    server.Start([&](UdpResponder &self, const Datagram &d) {
        if (d.bytes != Probe)
            return;
        self.Send(Answer, d.from);
        Flood(self, d.from, 0x01, sent);
    });
    Gateway gateway;
    FakeHost host;
    host.SetEnabled(HostWindow::ServerList, true);
    host.OnEntry([](FakeHost &h, const HostEntry &e) {
        if (e.message.msg == WM_ADD_SERVER)
            h.Later(300, [&h] { h.Choose(1, Loopback("127.0.0.1")); });
    });
    sockaddr_in source{};

    EXPECT_EQ(DiscoverServers(host, &source, PointAt(server, gateway, 60000)), 1);

    EXPECT_LT(sent, 100);
    EXPECT_EQ(AddedServers(host), std::vector<std::string>{"127.0.0.1"});
}

// The list never opens: the wait for it gives way to the choice, the closing
// program or the end of the list's run, and no server is posted to it.
TEST(Discovery, WaitForTheListGivesUp)
{
    enum How { Choice, Stop, RunEnded };
    struct Case {
        const char *name;
        How how;
    } cases[] = {{"choice", Choice}, {"stop", Stop}, {"list run ended", RunEnded}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        UdpResponder second("127.0.0.3");
        UdpResponder server("127.0.0.1");
        ASSERT_TRUE(server.IsValid() && second.IsValid());
        server.Start([&](UdpResponder &self, const Datagram &d) {
            if (d.bytes != Probe)
                return;
            self.Send(Answer, d.from);
            second.Send(Answer, d.from);
        });
        Gateway gateway;
        FakeHost host;
        host.OnEntry([&c](FakeHost &h, const HostEntry &e) {
            if (e.message.msg != WM_CHOOSE_SERVER)
                return;
            h.Later(300, [&h, &c] {
                if (c.how == Choice)
                    h.Choose(0, 0);
                else if (c.how == Stop)
                    platform::SetEvent(h.StopEvent());
                else
                    h.SetRunEnded(HostWindow::ServerList, true);
            });
        });
        sockaddr_in source{};

        // Counted, so that the caller does not ask for an address on top.
        EXPECT_EQ(DiscoverServers(host, &source, PointAt(server, gateway)), 1);

        ExpectListRequestedOnce(host);
        EXPECT_TRUE(host.Posts(HostWindow::ServerList, WM_ADD_SERVER).empty());
        EXPECT_EQ(gateway.lookups, 0);
        host.JoinHelpers();
    }
}

}  // namespace
