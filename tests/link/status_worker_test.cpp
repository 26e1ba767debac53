#include "link/status_worker.h"

#include "app/messages.h"
#include "link/protocol.h"
#include "tests/link/fake_host.h"
#include "tests/link/udp_responder.h"

#include <gtest/gtest.h>

namespace {

using platform::WM_CLOSE;
const Bytes Probe = {0xAA}, Request = {0x55};
enum Act { None, ShowNotice, EndNoticeRun, Stop, Refuse };

// What the server does with one status request.
struct Reply {
    Bytes bytes;
    enum { Send, FromOther, Silent } how = Send;
    enum { NoStop, StopFirst, StopSoonAfter } stop = NoStop;
};

// The window side answers the list's first server or the address request with
// the case's choice (0 refuses), or acts later on the address request; the
// worker itself starts with the notice up, or with an action 200 ms later.
TEST(StatusWorker, RunsFromTheNoticeToTheLastReply)
{
    const Bytes full(960, 1), part(130, 2), other(960, 3);
    const struct {
        const char *name;
        bool answerProbe;
        int chosen;
        std::vector<Reply> replies;
        Act atStart, onAsk;
        std::size_t probes, posted, requests, closes;
        bool connectFailed;
    } cases[] = {
        {"refused the list", true, 0, {}, None, None, 1, 0, 0, 1, false},
        {"refused the address entry", false, 0, {}, None, None, 1, 0, 0, 1, false},
        {"replies, from anyone, then silence", true, 1, {{full}, {part}, {other, Reply::FromOther}, {}}, None, None,
         1, 4, 5, 1, true},
        {"typed address, then an oversized reply", false, 1, {{full}, {Bytes(961)}}, None, None, 1, 1, 2, 1, true},
        {"stop comes with the second reply", true, 1, {{full}, {full, Reply::Send, Reply::StopFirst}}, None, None,
         1, 1, 2, 0, false},
        {"stop during the one-second wait", true, 1, {{full, Reply::Send, Reply::StopSoonAfter}}, None, None, 1, 0,
         1, 0, false},
        {"stop while the reply never comes", true, 1, {{{}, Reply::Silent, Reply::StopFirst}}, None, None, 1, 0, 1,
         1, true},
        // Discovery waits for the notice, but a notice that never shows, a choice
        // already made or a closing program must not hold the worker for ever.
        {"notice shows late", false, 0, {}, ShowNotice, None, 1, 0, 0, 1, false},
        {"notice run ended", false, 0, {}, EndNoticeRun, None, 1, 0, 0, 1, false},
        {"closing before the notice", false, 0, {}, Stop, None, 0, 0, 0, 0, false},
        {"refused before the notice", false, 0, {}, Refuse, None, 0, 0, 0, 1, false},
        {"closing while the address is asked", false, 0, {}, None, Stop, 1, 0, 0, 0, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto host = std::make_shared<FakeHost>();
        std::atomic<int> noticeUpAtProbe{-1};
        UdpResponder otherPeer("127.0.0.5");
        UdpResponder server("127.0.0.1");  // last: its thread sends through the other
        ASSERT_TRUE(server.IsValid() && otherPeer.IsValid());
        server.Start([&, n = std::size_t(0)](UdpResponder &self, const Datagram &d) mutable {
            if (d.bytes == Probe) {
                noticeUpAtProbe = platform::IsWindowEnabled(host->Window(HostWindow::Finding));
                if (c.answerProbe)
                    self.Send(Request, d.from);
                return;
            }
            const Reply r = n < c.replies.size() ? c.replies[n++] : Reply{{}, Reply::Silent};
            if (r.stop == Reply::StopFirst)
                platform::SetEvent(host->StopEvent());
            if (r.how != Reply::Silent)
                (r.how == Reply::FromOther ? otherPeer : self).Send(r.bytes, d.from);
            if (r.stop == Reply::StopSoonAfter && self.Pause(300))
                platform::SetEvent(host->StopEvent());
        });
        FakeHost &h = *host;
        const auto act = [&h](Act what) {
            what == ShowNotice     ? h.SetEnabled(HostWindow::Finding, true)
            : what == EndNoticeRun ? h.SetRunEnded(HostWindow::Finding)
            : what == Stop         ? platform::SetEvent(h.StopEvent())
                                   : h.Choose(0, 0);
        };
        h.SetEnabled(HostWindow::Finding, c.atStart == None);
        h.SetEnabled(HostWindow::ServerList, true);
        const std::uint32_t address = server.Address();
        h.onEntry = [&c, act, address](FakeHost &h, const HostEntry &e) {
            if (e.message.msg == WM_ASK_SERVER_ADDRESS && c.onAsk != None)
                h.Later(200, [act, &c] { act(c.onAsk); });
            else if (e.message.msg == WM_ADD_SERVER || e.message.msg == WM_ASK_SERVER_ADDRESS)
                h.Choose(c.chosen, address);
        };
        if (c.atStart != None)
            h.Later(200, [act, &c] { act(c.atStart); });

        EXPECT_EQ(StatusWorker(host, {server.Address(), server.Port(), [](std::uint8_t *) { return false; }, 10000}), 0u);

        // The probe goes out once the notice is up, unless its run has ended.
        EXPECT_EQ(server.Count(Probe), c.probes);
        EXPECT_EQ(noticeUpAtProbe, c.probes ? int(c.atStart != EndNoticeRun) : -1);
        EXPECT_EQ(server.Count(Request), c.requests);
        EXPECT_EQ(h.Posts(HostWindow::Main, WM_CHOOSE_SERVER).size(), c.probes && c.answerProbe ? 1u : 0u);
        EXPECT_EQ(h.Posts(HostWindow::Main, WM_ASK_SERVER_ADDRESS).size(), c.probes && !c.answerProbe ? 1u : 0u);
        EXPECT_EQ(h.Posts(HostWindow::Finding, WM_CLOSE).size(), c.probes);
        // Every reply in a buffer of its own (read only now, after the worker has
        // gone on), zero beyond what the datagram covered.
        const auto posts = h.Posts(HostWindow::Main, WM_STATUS_REPLY);
        ASSERT_EQ(posts.size(), c.posted);
        for (std::size_t i = 0; i < posts.size(); ++i) {
            const auto &m = posts[i].message;
            ASSERT_TRUE(m.payload && reinterpret_cast<const void *>(m.wParam) == m.payload.get());
            Bytes wanted = c.replies[i].bytes;
            wanted.resize(sizeof(StatusReply), 0);
            EXPECT_TRUE(std::equal(wanted.begin(), wanted.end(), static_cast<const std::uint8_t *>(m.payload.get())));
        }
        // Refusal or failure closes the main window, a failure after its box; the
        // stop ends the worker without a word.
        const auto log = h.Log();
        ASSERT_EQ(h.Posts(HostWindow::Main, WM_CLOSE).size(), c.closes);
        EXPECT_EQ(log.empty(), c.probes == 0 && c.closes == 0);
        EXPECT_EQ(h.Posts(HostWindow::Main, 0).size(), c.connectFailed ? 1u : 0u);
        EXPECT_TRUE(!c.connectFailed || (log[log.size() - 2].box == "Connect Failed!\n" &&
                                         log[log.size() - 2].boxFlags == 0x30 && log.back().message.msg == WM_CLOSE));
    }
}

}  // namespace
