// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/status_worker.h"

#include "app/messages.h"
#include "link/discovery.h"
#include "link/protocol.h"
#include "platform/socket.h"

#include <netinet/in.h>

namespace {

constexpr std::uint32_t NoticePollMs = 10;
constexpr std::uint32_t ChoicePollMs = 50;
constexpr std::uint32_t StopWaitMs = 1000;
constexpr std::uint32_t StopGraceMs = 100;
constexpr long ReplyWaitSeconds = 1;

void CloseMain(WorkerHost &host) { platform::PostMessage(host.Window(HostWindow::Main), platform::WM_CLOSE); }

// Polls the chosen server until the stop event or the first failure.
void Poll(WorkerHost &host, const platform::EventHandle &stop, std::uint32_t server, std::uint16_t port)
{
    platform::UdpSocket socket;
    if (!socket.IsValid()) {
        host.MessageBox(CreateSocketFailedText, platform::MB_ICONWARNING);
        CloseMain(host);
        return;
    }
    socket.SetBroadcast(false);  // the result does not matter: nothing here broadcasts
    const sockaddr_in destination = platform::MakeAddress(server, port);

    for (;;) {
        const std::uint8_t request = StatusRequest;
        if (socket.SendTo(&request, sizeof request, destination) < 0)
            break;
        if (socket.WaitReadable(ReplyWaitSeconds, 0) <= 0)
            break;
        const std::shared_ptr<StatusReply> reply = ReceiveStatusReply(socket);
        if (!reply)
            break;
        if (platform::WaitForSingleObject(stop, StopWaitMs) != platform::WAIT_TIMEOUT) {
            platform::Sleep(StopGraceMs);
            return;
        }
        platform::PostMessage(host.Window(HostWindow::Main), WM_STATUS_REPLY,
                              reinterpret_cast<platform::WPARAM>(reply.get()), 0, reply);
    }
    host.MessageBox(ConnectFailedText, platform::MB_ICONWARNING);
    CloseMain(host);
}

}  // namespace

std::shared_ptr<StatusReply> ReceiveStatusReply(platform::UdpSocket &socket)
{
    // A fresh, zero-filled buffer per reply: the window thread reads it after
    // the worker has gone on, and a short reply must leave the rest empty.
    auto reply = std::make_shared<StatusReply>();
    sockaddr_in sender{};  // filled, never examined: a reply from anyone is taken
    if (socket.ReceiveFrom(reply.get(), sizeof(StatusReply), &sender) < 0)
        return nullptr;
    return reply;
}

unsigned StatusWorker(std::shared_ptr<WorkerHost> host, const LinkEndpoints &ep)
{
    if (!host)
        return 0;
    // Our own copies: they stay valid even after the window side lets go of its handles.
    const platform::EventHandle stop = host->StopEvent();
    const platform::EventHandle choice = host->ChoiceEvent();

    // Discovery starts once the notice is on screen. A notice that has already
    // come and gone, a choice already made or a closing program end the wait.
    while (!platform::IsWindowEnabled(host->Window(HostWindow::Finding))) {
        if (platform::IsEventSet(stop))
            return 0;
        if (platform::IsEventSet(choice) || host->RunEnded(HostWindow::Finding))
            break;
        platform::Sleep(NoticePollMs);
    }
    if (platform::IsEventSet(stop))
        return 0;

    if (!platform::IsEventSet(choice)) {
        sockaddr_in source{};
        const int servers = DiscoverServers(*host, &source, ep);
        if (platform::IsEventSet(stop))
            return 0;
        // With answers, discovery has already asked for the server list. A choice
        // that came in meanwhile needs no address dialog either.
        if (servers == 0 && !platform::IsEventSet(choice)) {
            platform::PostMessage(host->Window(HostWindow::Finding), platform::WM_CLOSE);
            platform::PostMessage(host->Window(HostWindow::Main), WM_ASK_SERVER_ADDRESS);
        }
    }

    // The choice has no time limit, but a closing program must not leave the
    // worker stuck here.
    while (platform::WaitForSingleObject(choice, ChoicePollMs) == platform::WAIT_TIMEOUT) {
        if (platform::IsEventSet(stop))
            return 0;
    }
    if (platform::IsEventSet(stop))
        return 0;
    if (host->ServerChosen() == 0) {
        CloseMain(*host);
        return 0;
    }
    Poll(*host, stop, host->ServerAddress(), ep.port);
    return 0;
}
