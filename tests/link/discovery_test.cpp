#include "link/discovery.h"

#include "app/messages.h"
#include "platform/socket.h"
#include "tests/link/fake_host.h"
#include "tests/link/udp_responder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const Bytes Probe = {0xAA}, Answer = {0x55};
const char *const Server = "127.0.0.1", *const Other = "127.0.0.2";

// After the probe the server pauses before each datagram; some come from the other peer.
struct Step {
    int pauseMs;
    Bytes bytes;
    bool fromOther = false;
};
enum Gateway { NoGateway, SilentGateway, AnsweringGateway };  // the other peer is the gateway
// What the window side does a moment after the first post of a kind.
using Act = void (*)(FakeHost &);
void OpenList(FakeHost &h) { h.SetEnabled(HostWindow::ServerList, true); }
void ChooseOne(FakeHost &h) { h.Choose(1, htonl(INADDR_LOOPBACK)); }
void Close(FakeHost &h) { platform::SetEvent(h.StopEvent()); }
void EndListRun(FakeHost &h) { h.SetRunEnded(HostWindow::ServerList); }

TEST(Discovery, AnswersGatewayFallbackAndTheServerList)
{
    std::vector<Step> flood;  // a datagram every 100 ms for ten seconds
    for (int i = 0; i < 100; ++i)
        flood.push_back({100, {0x01}});
    std::vector<Step> answerThenFlood = flood;
    answerThenFlood.insert(answerThenFlood.begin(), Step{0, Answer});
    const std::vector<Step> twoAnswers = {{0, Answer}, {0, Answer, true}};
    const struct {
        const char *name;
        std::vector<Step> steps;
        std::uint32_t limitMs;
        Gateway gateway;
        bool listOpen;
        platform::UINT after;  // the post that the window side acts upon
        Act act;
        int expected, lookups;
        std::vector<std::string> added;  // servers posted to the list
    } cases[] = {
        {"wrong byte, empty, then answer", {{0, {0x54}}, {0, {}}, {0, Answer}}, 10000, SilentGateway, true, 0, nullptr,
         1, 0, {Server}},
        {"own probe echoed", {{0, Probe}}, 10000, SilentGateway, true, 0, nullptr, 0, 1, {}},
        {"oversized after an answer", {{0, Answer}, {0, {0x55, 0x55}}, {0, Answer}}, 10000, SilentGateway, true, 0,
         nullptr, 1, 0, {Server}},
        {"oversized first", {{0, {0x55, 0x00}}}, 10000, SilentGateway, true, 0, nullptr, 0, 0, {}},
        {"answer 1.5 s after another datagram, 2.5 s after the probe", {{1000, {0x01}}, {1500, Answer}}, 10000,
         SilentGateway, true, 0, nullptr, 1, 0, {Server}},
        {"the listening cap ends a flood", flood, 1500, SilentGateway, true, 0, nullptr, 0, 0, {}},
        {"the choice ends a flood", answerThenFlood, 60000, SilentGateway, true, WM_ADD_SERVER, ChooseOne, 1, 0,
         {Server}},
        {"nobody, no gateway", {}, 10000, NoGateway, true, 0, nullptr, 0, 1, {}},
        {"the gateway answers", {}, 10000, AnsweringGateway, true, 0, nullptr, 1, 1, {Other}},
        {"two answers before the list opens", twoAnswers, 10000, SilentGateway, false, WM_CHOOSE_SERVER, OpenList, 2,
         0, {Server, Other}},
        // The wait for the list gives way; the answer still counts, so that the
        // caller does not ask for an address on top.
        {"list never opens, choice made", twoAnswers, 10000, SilentGateway, false, WM_CHOOSE_SERVER, ChooseOne, 1, 0, {}},
        {"list never opens, closing", twoAnswers, 10000, SilentGateway, false, WM_CHOOSE_SERVER, Close, 1, 0, {}},
        {"list never opens, its run ended", twoAnswers, 10000, SilentGateway, false, WM_CHOOSE_SERVER, EndListRun, 1,
         0, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        std::atomic<int> lookups{0}, sent{0};
        std::unique_ptr<UdpResponder> other, server;  // last: the server's thread uses the rest
        for (int i = 0; i < 20 && !(other && other->IsValid()); ++i) {
            server = std::make_unique<UdpResponder>(Server);
            other = std::make_unique<UdpResponder>(Other, server->Port());  // where the fallback probe goes
        }
        ASSERT_TRUE(other->IsValid());
        server->Start([&](UdpResponder &self, const Datagram &d) {
            for (std::size_t i = 0; d.bytes == Probe && i < c.steps.size() && self.Pause(c.steps[i].pauseMs); ++i) {
                (c.steps[i].fromOther ? *other : self).Send(c.steps[i].bytes, d.from);
                ++sent;
            }
        });
        other->Start([&](UdpResponder &self, const Datagram &d) {
            if (c.gateway == AnsweringGateway && d.bytes == Probe)
                self.Send(Answer, d.from);
        });
        host.SetEnabled(HostWindow::ServerList, c.listOpen);
        host.onEntry = [&c](FakeHost &h, const HostEntry &e) {
            if (c.act && e.message.msg == c.after)
                h.Later(250, [&h, &c] { c.act(h); });
        };
        const std::uint32_t gatewayAddress = other->Address();
        const LinkEndpoints ep{server->Address(), server->Port(), [&](std::uint8_t out[4]) {
                                   ++lookups;
                                   std::memcpy(out, &gatewayAddress, 4);
                                   return c.gateway != NoGateway;
                               }, c.limitMs};
        sockaddr_in source{};

        EXPECT_EQ(DiscoverServers(host, &source, ep), c.expected);

        EXPECT_LT(sent, 100) << "the search outlived the flood instead of its cap";
        EXPECT_EQ(lookups, c.lookups);
        // One broadcast probe, and the fallback's only after the broadcast found nobody.
        EXPECT_EQ(server->Count(Probe), 1u);
        const std::size_t fallbacks = c.lookups && c.gateway != NoGateway;
        EXPECT_EQ(other->Count(Probe), fallbacks);
        // The first answer closes the notice and asks for the list, once, before
        // any server is added; each is added to the open list in a text of its own,
        // read only now that later answers can no longer overwrite it.
        const auto log = host.Log();
        ASSERT_EQ(log.empty(), c.expected == 0);
        EXPECT_TRUE(!c.expected || (host.Posts(HostWindow::Finding, platform::WM_CLOSE).size() == 1 &&
                                    host.Posts(HostWindow::Main, WM_CHOOSE_SERVER).size() == 1 &&
                                    log[0].message.msg == platform::WM_CLOSE && log[1].message.msg == WM_CHOOSE_SERVER));
        std::vector<std::string> added;
        for (const auto &e : host.Posts(HostWindow::ServerList, WM_ADD_SERVER)) {
            auto text = std::static_pointer_cast<const std::string>(e.message.payload);
            ASSERT_TRUE(text && e.targetEnabled);
            EXPECT_EQ(reinterpret_cast<const char *>(e.message.wParam), text->c_str());
            added.push_back(*text);
        }
        EXPECT_EQ(added, c.added);
        EXPECT_TRUE(c.added.empty() || platform::InetNtoa(source.sin_addr.s_addr) == c.added.back());
    }
}

}  // namespace
