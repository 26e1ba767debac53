// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The link on loopback: socket, discovery and the status worker against the fake host and scripted peers.
#include "app/messages.h"
#include "link/discovery.h"
#include "link/protocol.h"
#include "link/status_worker.h"
#include "platform/socket.h"
#include "tests/link/fake_host.h"
#include "fake_udp_server.h"
#include "text/endpoint.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <cstring>

namespace {

const Bytes Probe = {0xAA}, Answer = {0x55};

// A signal during the wait or a blocking receive must neither end it as an error nor lose the datagram after it.
TEST(UdpSocket, WaitAndReceiveResumeAfterSignal)
{
    struct sigaction action {
    }, previous{};
    action.sa_handler = [](int) {};  // no SA_RESTART: select and recvmsg really see EINTR
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    platform::UdpSocket socket;
    FakeUdpServer peer("127.0.0.1");
    peer.Start([](FakeUdpServer &self, const Datagram &d) {
        if (self.Pause(300))
            self.Send(d.bytes, d.from);
    });
    for (bool receive : {false, true}) {
        ASSERT_EQ(socket.SendTo(Probe.data(), 1, platform::MakeAddress(peer.Address(), peer.Port())), 1);
        std::atomic<int> result{-2};
        std::thread waiter([&] {
            std::uint8_t byte = 0;
            result = receive ? socket.ReceiveFrom(&byte, 1, nullptr) : socket.WaitReadable(3, 0);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pthread_kill(waiter.native_handle(), SIGUSR1);
        waiter.join();
        EXPECT_EQ(result.load(), 1) << (receive ? "receive" : "wait");
        if (!receive) {
            std::uint8_t byte = 0;
            EXPECT_EQ(socket.ReceiveFrom(&byte, 1, nullptr), 1);
        }
    }
    sigaction(SIGUSR1, &previous, nullptr);
}

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

struct DiscoveryCase {
    const char *name;
    std::vector<Step> steps;
    int expected, lookups;
    std::vector<std::string> added;  // servers posted to the list
    Act act = nullptr;
    platform::UINT after = 0;  // the post that the window side acts upon
    bool listOpen = true;
    Gateway gateway = SilentGateway;
    std::uint32_t limitMs = 800;  // the listening cap: past the answers, unless a case needs a whole window
};

void RunDiscovery(const DiscoveryCase &c)
{
    FakeHost host;
    std::atomic<int> lookups{0}, sent{0};
    std::unique_ptr<FakeUdpServer> other, server;  // last: the server's thread uses the rest
    for (int i = 0; i < 20 && !(other && other->IsValid()); ++i) {
        server = std::make_unique<FakeUdpServer>(Server);
        other = std::make_unique<FakeUdpServer>(Other, server->Port());  // where the fallback probe goes
    }
    ASSERT_TRUE(other->IsValid());
    server->Start([&](FakeUdpServer &self, const Datagram &d) {
        for (std::size_t i = 0; d.bytes == Probe && i < c.steps.size() && self.Pause(c.steps[i].pauseMs); ++i, ++sent)
            (c.steps[i].fromOther ? *other : self).Send(c.steps[i].bytes, d.from);
    });
    other->Start([&](FakeUdpServer &self, const Datagram &d) {
        if (c.gateway == AnsweringGateway && d.bytes == Probe)
            self.Send(Answer, d.from);
    });
    host.SetEnabled(HostWindow::ServerList, c.listOpen);
    host.onEntry = [&c](FakeHost &h, const HostEntry &e) {
        if (c.act && e.message.msg == c.after)
            h.Later(250, [&h, &c] { c.act(h); });
    };
    const std::uint32_t gatewayAddress = other->Address();
    const auto lookup = [&](std::uint8_t out[4]) {
        ++lookups;
        std::memcpy(out, &gatewayAddress, 4);
        return c.gateway != NoGateway;
    };
    sockaddr_in source{};
    EXPECT_EQ(DiscoverServers(host, &source, {server->Address(), server->Port(), lookup, c.limitMs}), c.expected);
    EXPECT_LT(sent, 100) << "the search outlived the flood instead of its cap";
    EXPECT_EQ(lookups, c.lookups);
    // One broadcast probe, and the fallback's only after the broadcast found nobody.
    EXPECT_EQ(server->Count(Probe), 1u);
    EXPECT_EQ(other->Count(Probe), std::size_t(c.lookups && c.gateway != NoGateway));
    // The first answer closes the notice and asks for the list, once, before any server is added.
    std::vector<std::pair<HostWindow, platform::UINT>> posts, wanted;
    for (const auto &e : host.Log())
        posts.emplace_back(e.target, e.message.msg);
    if (c.expected)
        wanted = {{HostWindow::Finding, platform::WM_CLOSE}, {HostWindow::Main, WM_CHOOSE_SERVER}};
    wanted.resize(wanted.size() + c.added.size(), {HostWindow::ServerList, WM_ADD_SERVER});
    EXPECT_EQ(posts, wanted);
    // Each server in a text of its own, read only now that later answers cannot overwrite it.
    std::vector<std::string> added;
    for (const auto &e : host.Posts(HostWindow::ServerList, WM_ADD_SERVER)) {
        auto text = std::static_pointer_cast<const std::string>(e.message.payload);
        ASSERT_TRUE(text && e.targetEnabled);
        EXPECT_EQ(reinterpret_cast<const char *>(e.message.wParam), text->c_str());
        added.push_back(*text);
    }
    EXPECT_EQ(added, c.added);
    if (!c.added.empty()) {
        EXPECT_EQ(ktext::Ipv4Text(source.sin_addr.s_addr), c.added.back());
    }
}

TEST(Discovery, AnswersGatewayFallbackAndTheServerList)
{
    std::vector<Step> flood(100, Step{100, {0x01}});  // a datagram every 100 ms for ten seconds
    std::vector<Step> answerThenFlood = flood;
    answerThenFlood.insert(answerThenFlood.begin(), Step{0, Answer});
    const std::vector<Step> twoAnswers = {{0, Answer}, {0, Answer, true}};
    // A fallback probe needs a whole listening window of two seconds first, so a cap of 2.1 s leaves room for it and
    // 2.6 s for its answer too. When the list never opens the wait gives way; the answer still counts, so that no
    // address is asked for on top.
    // clang-format off
    const DiscoveryCase cases[] = {
        {"own probe, wrong byte, empty, then answer", {{0, Probe}, {0, {0x54}}, {0, {}}, {0, Answer}}, 1, 0, {Server}},
        {"oversized after an answer", {{0, Answer}, {0, {0x55, 0x55}}, {0, Answer}}, 1, 0, {Server}},
        {"answer 1.5 s after a datagram", {{1000, {0x01}}, {1500, Answer}}, 1, 0, {Server}, nullptr, 0, true,
         SilentGateway, 3000},
        {"the listening cap ends a flood", flood, 0, 0, {}, nullptr, 0, true, SilentGateway, 1500},
        {"choice ends a flood", answerThenFlood, 1, 0, {Server}, ChooseOne, WM_ADD_SERVER, true, SilentGateway, 60000},
        {"nobody, no gateway", {}, 0, 1, {}, nullptr, 0, true, NoGateway, 2100},
        {"the fallback two seconds after the broadcast", {}, 1, 1, {Other}, nullptr, 0, true, AnsweringGateway, 2600},
        {"two answers before the list opens", twoAnswers, 2, 0, {Server, Other}, OpenList, WM_CHOOSE_SERVER, false},
        {"list never opens, choice made", twoAnswers, 1, 0, {}, ChooseOne, WM_CHOOSE_SERVER, false},
        {"list never opens, closing", twoAnswers, 1, 0, {}, Close, WM_CHOOSE_SERVER, false},
        {"list never opens, its run ended", twoAnswers, 1, 0, {}, EndListRun, WM_CHOOSE_SERVER, false},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RunDiscovery(c);
    }
}

using platform::WM_CLOSE;
enum Move { None, ShowNotice, EndNoticeRun, Stop, Refuse, StopInSearch };

// What the server does with one status request.
struct Reply {
    Bytes bytes;
    enum { Send, FromOther, Silent } how = Send;
    enum { NoStop, StopFirst, StopSoonAfter } stop = NoStop;
    int lateMs = 0;  // sent this long after the request
};

struct WorkerCase {
    const char *name;
    bool answerProbe;
    int chosen;  // the window side's answer to the list or the address request (0 refuses)
    std::vector<Reply> replies;
    std::size_t probes, posted, requests, closes;
    bool connectFailed = false;
    Move atStart = None, onAsk = None;  // acted on 200 ms (in the search: 50 ms) after the start, or after the address
                                        // request
};

void Do(FakeHost &h, Move what)
{
    what == ShowNotice                     ? h.SetEnabled(HostWindow::Finding, true)
    : what == EndNoticeRun                 ? h.SetRunEnded(HostWindow::Finding)
    : what == Stop || what == StopInSearch ? platform::SetEvent(h.StopEvent())
                                           : h.Choose(0, 0);
}

// Every reply in a buffer of its own (read only now), zero beyond what the datagram covered.
void CheckWorkerPosts(FakeHost &h, const WorkerCase &c)
{
    const auto posts = h.Posts(HostWindow::Main, WM_STATUS_REPLY);
    ASSERT_EQ(posts.size(), c.posted);
    for (std::size_t i = 0; i < posts.size(); ++i) {
        const auto &m = posts[i].message;
        ASSERT_TRUE(m.payload);
        ASSERT_EQ(reinterpret_cast<const void *>(m.wParam), m.payload.get());
        Bytes wanted = c.replies[i].bytes;
        wanted.resize(sizeof(StatusReply), 0);
        const auto *payload = static_cast<const std::uint8_t *>(m.payload.get());
        EXPECT_EQ(Bytes(payload, payload + wanted.size()), wanted);
    }
    // Refusal or failure closes the main window, a failure after its box; the stop ends it without a word.
    const auto log = h.Log();
    ASSERT_EQ(h.Posts(HostWindow::Main, WM_CLOSE).size(), c.closes);
    EXPECT_EQ(log.empty(), c.probes + c.closes == 0 || c.atStart == StopInSearch);
    ASSERT_EQ(h.Posts(HostWindow::Main, 0).size(), c.connectFailed ? 1u : 0u);
    if (c.connectFailed) {
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2].box, "Connect Failed!\n");
        EXPECT_EQ(log[log.size() - 2].boxFlags, 0x30u);
        EXPECT_EQ(log.back().message.msg, WM_CLOSE);
    }
}

void RunWorker(const WorkerCase &c)
{
    auto host = std::make_shared<FakeHost>();
    FakeHost &h = *host;
    std::atomic<int> noticeUpAtProbe{-1};
    FakeUdpServer otherPeer("127.0.0.5");
    FakeUdpServer server("127.0.0.1");  // last: its thread sends through the other
    ASSERT_TRUE(server.IsValid() && otherPeer.IsValid());
    server.Start([&, n = std::size_t(0)](FakeUdpServer &self, const Datagram &d) mutable {
        if (d.bytes == Probe) {
            noticeUpAtProbe = platform::IsWindowEnabled(h.Window(HostWindow::Finding));
            if (c.answerProbe)
                self.Send(Answer, d.from);
            return;
        }
        const Reply r = n < c.replies.size() ? c.replies[n++] : Reply{{}, Reply::Silent};
        if (r.stop == Reply::StopFirst)
            platform::SetEvent(h.StopEvent());
        if (r.how != Reply::Silent && self.Pause(r.lateMs))
            (r.how == Reply::FromOther ? otherPeer : self).Send(r.bytes, d.from);
        if (r.stop == Reply::StopSoonAfter && self.Pause(300))
            platform::SetEvent(h.StopEvent());
    });
    const bool searchStopped = c.atStart == StopInSearch;
    h.SetEnabled(HostWindow::Finding, c.atStart == None || searchStopped);
    h.SetEnabled(HostWindow::ServerList, true);
    h.onEntry = [&c, address = server.Address()](FakeHost &h, const HostEntry &e) {
        if (e.message.msg == WM_ASK_SERVER_ADDRESS && c.onAsk != None)
            h.Later(200, [&h, &c] { Do(h, c.onAsk); });
        else if (e.message.msg == WM_ADD_SERVER || e.message.msg == WM_ASK_SERVER_ADDRESS)
            h.Choose(c.chosen, address);
    };
    if (c.atStart != None)
        h.Later(searchStopped ? 50 : 200, [&h, &c] { Do(h, c.atStart); });
    // A search capped at 300 ms: the worker's run after it is what counts here.
    EXPECT_EQ(StatusWorker(host, {server.Address(), server.Port(), [](std::uint8_t *) { return false; }, 300}), 0u);
    // The probe goes out once the notice is up, unless its run has ended.
    EXPECT_EQ(server.Count(Probe), c.probes);
    EXPECT_EQ(noticeUpAtProbe, c.probes ? int(c.atStart != EndNoticeRun) : -1);
    EXPECT_EQ(server.Count(Answer), c.requests);
    EXPECT_EQ(h.Posts(HostWindow::Main, WM_CHOOSE_SERVER).size(), c.probes && c.answerProbe ? 1u : 0u);
    // A search the stop ended posts nothing after it.
    EXPECT_EQ(h.Posts(HostWindow::Main, WM_ASK_SERVER_ADDRESS).size(), c.probes && !c.answerProbe && !searchStopped);
    EXPECT_EQ(h.Posts(HostWindow::Finding, WM_CLOSE).size(), c.probes && !searchStopped);
    CheckWorkerPosts(h, c);
}

TEST(StatusWorker, RunsFromTheNoticeToTheLastReply)
{
    const Bytes full(960, 1), part(130, 2), other(960, 3);
    // A notice that never shows, a choice already made or a closing program must not hold the worker for ever.
    // clang-format off
    const WorkerCase cases[] = {
        {"refused the list", true, 0, {}, 1, 0, 0, 1},
        {"refused the address entry", false, 0, {}, 1, 0, 0, 1},
        {"replies from anyone, silence", true, 1, {{full}, {part}, {other, Reply::FromOther}, {}}, 1, 4, 5, 1, true},
        {"typed address, then an oversized reply", false, 1, {{full}, {Bytes(961)}}, 1, 1, 2, 1, true},
        {"stop comes with the second reply", true, 1, {{full}, {full, Reply::Send, Reply::StopFirst}}, 1, 1, 2, 0},
        {"stop during the one-second wait", true, 1, {{full, Reply::Send, Reply::StopSoonAfter}}, 1, 0, 1, 0},
        {"stop while the reply never comes", true, 1, {{{}, Reply::Silent, Reply::StopFirst}}, 1, 0, 1, 1, true},
        {"a reply over a second late", true, 1, {{full, Reply::Send, Reply::NoStop, 1300}}, 1, 0, 1, 1, true},
        {"notice shows late", false, 0, {}, 1, 0, 0, 1, false, ShowNotice},
        {"notice run ended", false, 0, {}, 1, 0, 0, 1, false, EndNoticeRun},
        {"closing before the notice", false, 0, {}, 0, 0, 0, 0, false, Stop},
        {"refused before the notice", false, 0, {}, 0, 0, 0, 1, false, Refuse},
        {"closing while the address is asked", false, 0, {}, 1, 0, 0, 0, false, None, Stop},
        {"closing during the search", false, 0, {}, 1, 0, 0, 0, false, StopInSearch},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RunWorker(c);
    }
}

// A request, its reply, a one-second wait, the reply posted, the next request: in the 3.5 s that the test lets the
// polling run from the first request, that is four requests (three on a slow machine), and every reply but the one the
// stop cut short is posted.
TEST(StatusWorker, PollsOnceASecond)
{
    auto host = std::make_shared<FakeHost>();
    std::atomic<int> requests{0};
    FakeUdpServer server("127.0.0.1");
    ASSERT_TRUE(server.IsValid());
    server.Start([&](FakeUdpServer &self, const Datagram &d) {
        if (d.bytes != Probe && requests++ == 0)
            host->Later(3500, [&h = *host] { platform::SetEvent(h.StopEvent()); });
        self.Send(d.bytes == Probe ? Answer : Bytes(960, 1), d.from);
    });
    host->SetEnabled(HostWindow::Finding, true);
    host->SetEnabled(HostWindow::ServerList, true);
    const std::uint32_t address = server.Address();
    host->onEntry = [address](FakeHost &h, const HostEntry &e) {
        if (e.message.msg == WM_ADD_SERVER)
            h.Choose(1, address);
    };

    StatusWorker(host, {server.Address(), server.Port(), [](std::uint8_t *) { return false; }, 10000});

    std::printf("requests in the first 3.5 s of polling: %d\n", requests.load());
    EXPECT_GE(requests, 3);
    EXPECT_LE(requests, 4);
    EXPECT_EQ(host->Posts(HostWindow::Main, WM_STATUS_REPLY).size(), std::size_t(requests - 1));
    EXPECT_TRUE(host->Posts(HostWindow::Main, WM_CLOSE).empty());
}

}  // namespace
