#include "link/status_worker.h"

#include "app/messages.h"
#include "link/protocol.h"
#include "platform/thread.h"
#include "tests/link/fake_host.h"
#include "tests/link/udp_responder.h"

#include <gtest/gtest.h>

namespace {

using platform::WM_CLOSE;
const Bytes Probe = {0xAA}, Request = {0x55};

// What the server does with one status request.
struct Reply {
    enum Stop { NoStop, StopFirst, StopSoonAfter } stop = NoStop;
    Bytes bytes;
    bool silent = false;
    bool fromOther = false;  // sent from another address
};

// A print server on 127.0.0.1 and the worker run against it to its end; the
// host outlives the worker in any case.
struct Worker {
    std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>();
    std::atomic<int> noticeUpAtProbe{-1};
    UdpResponder other{"127.0.0.5"};
    UdpResponder server{"127.0.0.1"};  // last: its thread sends through the other

    Worker(bool answerProbe, std::vector<Reply> replies)
    {
        server.Start([this, answerProbe, replies, n = std::size_t(0)](UdpResponder &self, const Datagram &d) mutable {
            if (d.bytes == Probe) {
                noticeUpAtProbe = platform::IsWindowEnabled(host->Window(HostWindow::Finding));
                if (answerProbe)
                    self.Send(Request, d.from);
                return;
            }
            if (n >= replies.size())
                return;
            const Reply &r = replies[n++];
            if (r.stop == Reply::StopFirst)
                platform::SetEvent(host->StopEvent());
            if (!r.silent)
                (r.fromOther ? other : self).Send(r.bytes, d.from);
            if (r.stop == Reply::StopSoonAfter && self.Pause(300))
                platform::SetEvent(host->StopEvent());
        });
    }
    bool Finish()
    {
        LinkEndpoints ep{server.Address(), server.Port(), [](std::uint8_t *) { return false; }, 10000};
        auto thread = platform::Thread::Start([h = host, ep] { StatusWorker(h, ep); });
        if (thread && thread->Wait(30000) == platform::WAIT_OBJECT_0)
            return host->JoinHelpers(), true;
        platform::SetEvent(host->StopEvent());
        platform::SetEvent(host->ChoiceEvent());
        return thread && thread->Wait(5000) && false;
    }
    std::size_t Closes() const { return host->Posts(HostWindow::Main, WM_CLOSE).size(); }
};

// The windows' part: the notice is up, the list is open, and the user's answer
// (0 refuses) comes with the first listed server or with the address request.
TEST(StatusWorker, PollsTheChosenServerUntilAFailureOrTheStop)
{
    const Bytes full(960, 1), part(130, 2), other(960, 3);
    const struct {
        const char *name;
        bool answerProbe;
        int chosen;
        std::vector<Reply> replies;
        std::size_t posted, requests;
        bool connectFailed;
    } cases[] = {
        {"refused the list", true, 0, {}, 0, 0, false},
        {"refused the address entry", false, 0, {}, 0, 0, false},
        {"replies from the list's server, then silence",
         true, 1, {{Reply::NoStop, full}, {Reply::NoStop, part}, {Reply::NoStop, other, false, true}, {}}, 4, 5, true},
        {"typed address, then an oversized reply", false, 1, {{Reply::NoStop, full}, {Reply::NoStop, Bytes(961)}},
         1, 2, true},
        {"stop comes with the second reply", true, 1, {{Reply::NoStop, full}, {Reply::StopFirst, full}}, 1, 2, false},
        {"stop during the one-second wait", true, 1, {{Reply::StopSoonAfter, full}}, 0, 1, false},
        {"stop while the reply never comes", true, 1, {{Reply::StopFirst, {}, true}}, 0, 1, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Worker run(c.answerProbe, c.replies);
        ASSERT_TRUE(run.server.IsValid() && run.other.IsValid());
        FakeHost &host = *run.host;
        host.SetEnabled(HostWindow::Finding, true);
        host.SetEnabled(HostWindow::ServerList, true);
        const std::uint32_t address = run.server.Address();
        host.OnEntry([&c, address](FakeHost &h, const HostEntry &e) {
            if (e.message.msg == WM_ADD_SERVER || e.message.msg == WM_ASK_SERVER_ADDRESS)
                h.Choose(c.chosen, address);
        });

        ASSERT_TRUE(run.Finish());

        EXPECT_EQ(run.server.Count(Request), c.requests);
        EXPECT_EQ(host.Posts(HostWindow::Finding, WM_CLOSE).size(), 1u);
        EXPECT_EQ(host.Posts(HostWindow::Main, WM_CHOOSE_SERVER).size(), c.answerProbe ? 1u : 0u);
        EXPECT_EQ(host.Posts(HostWindow::Main, WM_ASK_SERVER_ADDRESS).size(), c.answerProbe ? 0u : 1u);
        // Every reply in a buffer of its own, zero beyond what the datagram
        // covered, read after the worker has gone on.
        const auto posts = host.Posts(HostWindow::Main, WM_STATUS_REPLY);
        ASSERT_EQ(posts.size(), c.posted);
        for (std::size_t i = 0; i < posts.size(); ++i) {
            const auto &m = posts[i].message;
            ASSERT_TRUE(m.payload && (i == 0 || m.payload != posts[i - 1].message.payload));
            EXPECT_EQ(reinterpret_cast<const void *>(m.wParam), m.payload.get());
            Bytes wanted = c.replies[i].bytes;
            wanted.resize(sizeof(StatusReply), 0);
            EXPECT_TRUE(std::equal(wanted.begin(), wanted.end(), static_cast<const std::uint8_t *>(m.payload.get())));
        }
        // Refusal or failure closes the main window, a failure after its box;
        // the stop ends the worker quietly.
        const auto log = host.Log();
        const bool closed = c.chosen == 0 || c.connectFailed;
        ASSERT_EQ(run.Closes(), closed ? 1u : 0u);
        const std::size_t boxes = std::count_if(log.begin(), log.end(), [](const HostEntry &e) { return !e.box.empty(); });
        ASSERT_EQ(boxes, c.connectFailed ? 1u : 0u);
        if (c.connectFailed) {
            EXPECT_EQ(log[log.size() - 2].box, "Connect Failed!\n");
            EXPECT_EQ(log[log.size() - 2].boxFlags, 0x30u);
        }
    }
}

// Discovery waits for the notice, but a notice that never shows, a choice
// already made or a closing program must not hold the worker for ever; nor
// may closing while the address is asked for.
TEST(StatusWorker, WaitsEndOnTheNoticeTheChoiceOrTheStop)
{
    enum What { ShowNotice, EndNoticeRun, Stop, Refuse };
    const struct {
        const char *name;
        bool onAsk;  // else 200 ms after the start, the notice not yet up
        What what;
        std::size_t probes, closes;
    } cases[] = {
        {"notice shows late", false, ShowNotice, 1, 1},
        {"notice run ended", false, EndNoticeRun, 1, 1},
        {"closing before the notice", false, Stop, 0, 0},
        {"refused before the notice", false, Refuse, 0, 1},
        {"closing while the address is asked", true, Stop, 1, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Worker run(false, {});
        ASSERT_TRUE(run.server.IsValid());
        FakeHost &host = *run.host;
        const auto act = [&c, &host] {
            c.what == ShowNotice     ? host.SetEnabled(HostWindow::Finding, true)
            : c.what == EndNoticeRun ? host.SetRunEnded(HostWindow::Finding)
            : c.what == Stop         ? platform::SetEvent(host.StopEvent())
                                     : host.Choose(0, 0);
        };
        host.SetEnabled(HostWindow::Finding, c.onAsk);
        host.SetEnabled(HostWindow::ServerList, true);
        host.OnEntry([&c, act](FakeHost &h, const HostEntry &e) {
            if (e.message.msg == WM_ASK_SERVER_ADDRESS)
                c.onAsk ? h.Later(200, act) : h.Choose(0, 0);
        });
        if (!c.onAsk)
            host.Later(200, act);

        ASSERT_TRUE(run.Finish());

        EXPECT_EQ(run.server.Count(Probe), c.probes);
        EXPECT_EQ(run.server.Received().size(), c.probes);
        EXPECT_EQ(run.Closes(), c.closes);
        EXPECT_EQ(host.Log().empty(), c.probes == 0 && c.closes == 0);
        // The probe goes out once the notice is up, unless its run has ended.
        EXPECT_EQ(run.noticeUpAtProbe, c.probes ? int(c.what != EndNoticeRun) : -1);
    }
}

}  // namespace
