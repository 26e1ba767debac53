#include "link/status_worker.h"

#include "app/messages.h"
#include "link/protocol.h"
#include "platform/thread.h"
#include "tests/link/fake_host.h"
#include "tests/link/udp_responder.h"
#include "tests/link/wait_until.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>

using platform::WM_CLOSE;

namespace {

const std::vector<std::uint8_t> Probe = {0xAA};
const std::vector<std::uint8_t> Request = {0x55};
const std::vector<std::uint8_t> Answer = {0x55};

std::vector<std::uint8_t> Pattern(std::size_t length, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 13);
    return bytes;
}

// What the server does with the n-th status request (0-based); a request past
// the end of the script goes unanswered.
using RequestScript = std::vector<std::function<void(UdpResponder &self, const Datagram &request)>>;

// A print server on 127.0.0.1: answers the discovery probe when asked to and
// the status requests as scripted.
struct Server {
    UdpResponder peer{"127.0.0.1"};
    std::atomic<int> requests{0};

    void Start(bool answerProbe, RequestScript script)
    {
        peer.Start([this, answerProbe, script = std::move(script)](UdpResponder &self, const Datagram &d) {
            if (d.bytes == Probe) {
                if (answerProbe)
                    self.Send(Answer, d.from);
                return;
            }
            const std::size_t n = static_cast<std::size_t>(requests++);
            if (n < script.size())
                script[n](self, d);
        });
    }
    std::size_t Requests() const
    {
        std::size_t n = 0;
        for (const auto &d : peer.Received())
            n += d.bytes == Request;
        return n;
    }
};

std::function<void(UdpResponder &, const Datagram &)> Reply(std::vector<std::uint8_t> bytes)
{
    return [bytes](UdpResponder &self, const Datagram &d) { self.Send(bytes, d.from); };
}

LinkEndpoints PointAt(const UdpResponder &server)
{
    LinkEndpoints ep;
    ep.broadcastAddress = server.Address();
    ep.port = server.Port();
    ep.gatewayLookup = [](std::uint8_t *) { return false; };
    ep.listenLimitMs = 10000;
    return ep;
}

// The window side's part of the handshake: the notice is up, the list is open,
// and the user's answer (chosen 0 refuses) comes with the first listed server
// or with the request for an address.
void ActLikeTheWindows(FakeHost &host, int chosen, std::uint32_t address)
{
    host.SetEnabled(HostWindow::Finding, true);
    host.SetEnabled(HostWindow::ServerList, true);
    host.OnEntry([chosen, address](FakeHost &h, const HostEntry &e) {
        if (e.message.msg == WM_ADD_SERVER || e.message.msg == WM_ASK_SERVER_ADDRESS)
            h.Choose(chosen, address);
    });
}

// Runs the worker to its end; the host outlives it in any case.
bool RunWorker(const std::shared_ptr<FakeHost> &host, const LinkEndpoints &ep)
{
    auto thread = platform::Thread::Start([host, ep] { StatusWorker(host, ep); });
    if (!thread)
        return false;
    if (thread->Wait(30000) == platform::WAIT_OBJECT_0)
        return true;
    platform::SetEvent(host->StopEvent());
    platform::SetEvent(host->ChoiceEvent());
    thread->Wait(5000);
    return false;
}

const HostEntry &Last(const std::vector<HostEntry> &log)
{
    static const HostEntry none;
    return log.empty() ? none : log.back();
}

void ExpectConnectFailedThenClose(const FakeHost &host)
{
    const auto log = host.Log();
    ASSERT_GE(log.size(), 2u);
    const HostEntry &box = log[log.size() - 2];
    EXPECT_EQ(box.kind, HostEntry::Box);
    EXPECT_EQ(box.text, "Connect Failed!\n");
    EXPECT_EQ(box.flags, 0x30u);
    EXPECT_EQ(Last(log).kind, HostEntry::Post);
    EXPECT_EQ(Last(log).target, HostWindow::Main);
    EXPECT_EQ(Last(log).message.msg, WM_CLOSE);
    EXPECT_EQ(host.Boxes(), 1u);
}

TEST(StatusWorker, RefusalClosesTheMainWindowWithoutPolling)
{
    struct Case {
        const char *name;
        bool serverAnswers;
    } cases[] = {{"refused the list", true}, {"refused the address entry", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Server server;
        ASSERT_TRUE(server.peer.IsValid());
        server.Start(c.serverAnswers, {});
        auto host = std::make_shared<FakeHost>();
        ActLikeTheWindows(*host, 0, server.peer.Address());

        ASSERT_TRUE(RunWorker(host, PointAt(server.peer)));

        EXPECT_EQ(server.Requests(), 0u);
        EXPECT_EQ(host->Boxes(), 0u);
        const auto log = host->Log();
        EXPECT_EQ(Last(log).target, HostWindow::Main);
        EXPECT_EQ(Last(log).message.msg, WM_CLOSE);
        EXPECT_EQ(host->Posts(HostWindow::Main, WM_CLOSE).size(), 1u);
        EXPECT_EQ(host->Posts(HostWindow::Finding, WM_CLOSE).size(), 1u);
        EXPECT_EQ(host->Posts(HostWindow::Main, WM_ASK_SERVER_ADDRESS).size(), c.serverAnswers ? 0u : 1u);
        EXPECT_EQ(host->Posts(HostWindow::Main, WM_CHOOSE_SERVER).size(), c.serverAnswers ? 1u : 0u);
        if (!c.serverAnswers) {
            ASSERT_GE(log.size(), 2u);
            EXPECT_EQ(log[0].target, HostWindow::Finding);
            EXPECT_EQ(log[1].message.msg, WM_ASK_SERVER_ADDRESS);
        }
    }
}

// Every reply reaches the main window in a buffer of its own, zero beyond what
// the datagram covered, whoever sent it; a silent server then ends the program.
TEST(StatusWorker, HandsOnEveryReplyInItsOwnBuffer)
{
    struct Case {
        const char *name;
        bool serverAnswersProbe;  // else the user types the server's address
    } cases[] = {{"chosen from the list", true}, {"typed in", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        UdpResponder other("127.0.0.5");  // outlives the server, which sends through it
        Server server;
        ASSERT_TRUE(server.peer.IsValid() && other.IsValid());
        const auto full = Pattern(960, 1);
        const auto shortReply = Pattern(130, 2);
        const auto fromOther = Pattern(960, 3);
        server.Start(c.serverAnswersProbe, {
            Reply(full),
            Reply(shortReply),
            [&](UdpResponder &, const Datagram &d) { other.Send(fromOther, d.from); },
            Reply({}),
        });
        auto host = std::make_shared<FakeHost>();
        ActLikeTheWindows(*host, 1, server.peer.Address());

        ASSERT_TRUE(RunWorker(host, PointAt(server.peer)));

        const auto replies = host->Posts(HostWindow::Main, WM_STATUS_REPLY);
        ASSERT_EQ(replies.size(), 4u);
        std::vector<std::vector<std::uint8_t>> expected = {full, shortReply, fromOther, {}};
        for (std::size_t i = 0; i < replies.size(); ++i) {
            SCOPED_TRACE(i);
            const auto &m = replies[i].message;
            ASSERT_TRUE(m.payload);
            EXPECT_EQ(reinterpret_cast<const void *>(m.wParam), m.payload.get());
            EXPECT_EQ(m.lParam, 0);
            for (std::size_t j = 0; j < i; ++j)
                EXPECT_NE(m.payload.get(), replies[j].message.payload.get());
            // Read after the worker has ended: nothing it did later changed it.
            const auto *bytes = static_cast<const std::uint8_t *>(m.payload.get());
            std::vector<std::uint8_t> wanted = expected[i];
            wanted.resize(sizeof(StatusReply), 0);
            EXPECT_TRUE(std::equal(wanted.begin(), wanted.end(), bytes));
        }
        EXPECT_EQ(server.Requests(), 5u);  // the fifth went unanswered
        ExpectConnectFailedThenClose(*host);
    }
}

TEST(StatusWorker, ConnectionFailuresEndTheProgram)
{
    struct Case {
        const char *name;
        RequestScript script;
        std::size_t replies;
        std::size_t requests;
    } cases[] = {
        {"silent server", {}, 0, 1},
        {"oversized reply", {Reply(std::vector<std::uint8_t>(961, 7))}, 0, 1},
        {"stops after two", {Reply(Pattern(960, 4)), Reply(Pattern(960, 5))}, 2, 3},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        Server server;
        ASSERT_TRUE(server.peer.IsValid());
        server.Start(true, c.script);
        auto host = std::make_shared<FakeHost>();
        ActLikeTheWindows(*host, 1, server.peer.Address());

        ASSERT_TRUE(RunWorker(host, PointAt(server.peer)));

        EXPECT_EQ(host->Posts(HostWindow::Main, WM_STATUS_REPLY).size(), c.replies);
        EXPECT_EQ(server.Requests(), c.requests);
        ExpectConnectFailedThenClose(*host);
    }
}

// Closing while polling: the reply in hand is dropped and the worker ends
// quietly, unless the reply it waits for never comes.
TEST(StatusWorker, StopEventEndsPolling)
{
    enum When { WithTheReply, DuringTheWait, NoReply };
    struct Case {
        const char *name;
        When when;
        std::size_t replies;
        bool connectFailed;
    } cases[] = {
        {"stop comes with the second reply", WithTheReply, 1, false},
        {"stop during the one-second wait", DuringTheWait, 0, false},
        {"stop while the reply never comes", NoReply, 0, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Server server;
        ASSERT_TRUE(server.peer.IsValid());
        auto host = std::make_shared<FakeHost>();
        auto stop = host->StopEvent();
        RequestScript script;
        if (c.when == WithTheReply) {
            script = {Reply(Pattern(960, 6)), [stop](UdpResponder &self, const Datagram &d) {
                          platform::SetEvent(stop);
                          self.Send(Pattern(960, 7), d.from);
                      }};
        } else if (c.when == DuringTheWait) {
            script = {[stop](UdpResponder &self, const Datagram &d) {
                self.Send(Pattern(960, 8), d.from);
                if (self.Pause(300))
                    platform::SetEvent(stop);
            }};
        } else {
            script = {[stop](UdpResponder &, const Datagram &) { platform::SetEvent(stop); }};
        }
        server.Start(true, script);
        ActLikeTheWindows(*host, 1, server.peer.Address());

        ASSERT_TRUE(RunWorker(host, PointAt(server.peer)));

        EXPECT_EQ(host->Posts(HostWindow::Main, WM_STATUS_REPLY).size(), c.replies);
        if (c.connectFailed) {
            ExpectConnectFailedThenClose(*host);
        } else {
            EXPECT_EQ(host->Boxes(), 0u);
            EXPECT_TRUE(host->Posts(HostWindow::Main, WM_CLOSE).empty());
        }
    }
}

// Discovery waits for the notice, but a notice that never shows, a choice
// already made or a closing program must not hold the worker for ever.
TEST(StatusWorker, WaitForTheNoticeEnds)
{
    enum How { ShowsLate, RunEnded, Stop, Refused };
    struct Case {
        const char *name;
        How how;
        bool probed;
    } cases[] = {
        {"notice shows late", ShowsLate, true},
        {"notice run ended", RunEnded, true},
        {"program closing", Stop, false},
        {"refused already", Refused, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Server server;
        ASSERT_TRUE(server.peer.IsValid());
        auto host = std::make_shared<FakeHost>();
        std::atomic<int> noticeUpAtProbe{-1};
        server.peer.Start([&](UdpResponder &, const Datagram &d) {
            if (d.bytes == Probe)
                noticeUpAtProbe = platform::IsWindowEnabled(host->Window(HostWindow::Finding));
        });
        host->SetEnabled(HostWindow::ServerList, true);
        host->OnEntry([](FakeHost &h, const HostEntry &e) {
            if (e.message.msg == WM_ASK_SERVER_ADDRESS)
                h.Choose(0, 0);
        });
        host->Later(200, [h = host.get(), &c] {
            switch (c.how) {
            case ShowsLate: h->SetEnabled(HostWindow::Finding, true); break;
            case RunEnded: h->SetRunEnded(HostWindow::Finding, true); break;
            case Stop: platform::SetEvent(h->StopEvent()); break;
            case Refused: h->Choose(0, 0); break;
            }
        });

        ASSERT_TRUE(RunWorker(host, PointAt(server.peer)));
        host->JoinHelpers();

        EXPECT_EQ(server.peer.Received().size(), c.probed ? 1u : 0u);
        if (c.how == ShowsLate) {
            EXPECT_EQ(noticeUpAtProbe, 1);
        }
        if (c.how == Stop) {
            EXPECT_TRUE(host->Log().empty());
        } else {
            EXPECT_EQ(host->Posts(HostWindow::Main, WM_CLOSE).size(), 1u);
        }
        EXPECT_TRUE(host->Posts(HostWindow::Main, WM_STATUS_REPLY).empty());
    }
}

TEST(StatusWorker, ClosingWhileTheChoiceIsOpenEndsTheWorker)
{
    Server server;
    ASSERT_TRUE(server.peer.IsValid());
    server.Start(false, {});
    auto host = std::make_shared<FakeHost>();
    host->SetEnabled(HostWindow::Finding, true);
    host->OnEntry([](FakeHost &h, const HostEntry &e) {
        if (e.message.msg == WM_ASK_SERVER_ADDRESS)
            h.Later(200, [&h] { platform::SetEvent(h.StopEvent()); });
    });

    ASSERT_TRUE(RunWorker(host, PointAt(server.peer)));
    host->JoinHelpers();

    EXPECT_EQ(host->Posts(HostWindow::Main, WM_ASK_SERVER_ADDRESS).size(), 1u);
    EXPECT_TRUE(host->Posts(HostWindow::Main, WM_CLOSE).empty());
    EXPECT_EQ(server.Requests(), 0u);
}

}  // namespace
