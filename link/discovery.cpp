// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/discovery.h"

#include "app/messages.h"
#include "link/protocol.h"
#include "platform/socket.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Every datagram, answer or not, opens a new window of this length.
constexpr long ListenWindowMs = 2000;
constexpr std::uint32_t ListPollMs = 10;

bool SendProbe(platform::UdpSocket &socket, const sockaddr_in &to)
{
    const std::uint8_t probe = DiscoveryProbe;
    return socket.SendTo(&probe, sizeof probe, to) == static_cast<int>(sizeof probe);
}

// The list opens on the window thread in answer to WM_CHOOSE_SERVER. Waiting
// for it gives up once the user's choice is in, the program is closing, or the
// list has come and gone: otherwise a list that never opens would hold the
// worker here for good.
bool WaitForServerList(WorkerHost &host, const platform::EventHandle &choice,
                       const platform::EventHandle &stop)
{
    for (;;) {
        if (platform::IsWindowEnabled(host.Window(HostWindow::ServerList)))
            return true;
        if (platform::IsEventSet(choice) || platform::IsEventSet(stop) || host.RunEnded(HostWindow::ServerList))
            return false;
        platform::Sleep(ListPollMs);
    }
}

void PostServer(WorkerHost &host, const sockaddr_in &server)
{
    // Each message owns its text, so a quick second answer cannot overwrite the
    // first one's before the list has taken it in.
    auto text = std::make_shared<const std::string>(platform::InetNtoa(server.sin_addr.s_addr));
    platform::PostMessage(host.Window(HostWindow::ServerList), WM_ADD_SERVER,
                          reinterpret_cast<platform::WPARAM>(text->c_str()), 0, text);
}

}  // namespace

int SearchServers(const LinkEndpoints &ep, sockaddr_in *source, const DiscoveryListener &listener)
{
    sockaddr_in ownRecord{};
    if (!source)
        source = &ownRecord;
    auto stopRequested = [&listener] { return listener.stopRequested && listener.stopRequested(); };

    if (platform::SocketStartup() != 0)
        return 0;
    platform::UdpSocket socket;
    if (!socket.IsValid())
        return 0;
    if (!socket.SetBroadcast(true))
        return 0;
    sockaddr_in destination = platform::MakeAddress(ep.broadcastAddress, ep.port);
    if (!SendProbe(socket, destination))
        return 0;

    // A host that keeps sending datagrams would restart the window for ever;
    // the whole listening phase is capped.
    const auto listenEnd = Clock::now() + Milliseconds(ep.listenLimitMs);
    int count = 0;
    bool fallbackSent = false;
    for (;;) {
        if (stopRequested())
            return count;
        const auto left = std::chrono::duration_cast<Milliseconds>(listenEnd - Clock::now()).count();
        if (left <= 0)
            return count;
        const bool lastWindow = left <= ListenWindowMs;
        const long windowMs = lastWindow ? static_cast<long>(left) : ListenWindowMs;

        if (socket.WaitReadable(windowMs / 1000, (windowMs % 1000) * 1000) > 0) {
            std::uint8_t answer = 0;
            const int length = socket.ReceiveFrom(&answer, sizeof answer, source);
            if (length < 0)
                return count;
            if (length != 1 || answer != DiscoveryAnswer || source->sin_family != AF_INET)
                continue;
            // Counted before the caller hears of it: once it has been told, the
            // answer stands even when the caller ends the search.
            ++count;
            if (listener.answer && !listener.answer(*source, count))
                return count;
            continue;
        }

        // The window ran out (or the wait failed). A caller that wants no more
        // needs no fallback probe.
        if (count > 0 || fallbackSent || lastWindow || stopRequested())
            return count;
        std::uint8_t gateway[4] = {};
        if (!ep.gatewayLookup || !ep.gatewayLookup(gateway))
            return 0;
        std::memcpy(&destination.sin_addr.s_addr, gateway, sizeof gateway);
        if (!socket.SetBroadcast(false))
            return 0;
        if (!SendProbe(socket, destination))
            return 0;
        fallbackSent = true;
    }
}

int DiscoverServers(WorkerHost &host, sockaddr_in *source, const LinkEndpoints &ep)
{
    const platform::EventHandle choice = host.ChoiceEvent();
    const platform::EventHandle stop = host.StopEvent();
    DiscoveryListener listener;
    // A closing program or a choice already made ends the search.
    listener.stopRequested = [&] { return platform::IsEventSet(choice) || platform::IsEventSet(stop); };
    listener.answer = [&](const sockaddr_in &server, int count) {
        if (count == 1) {
            platform::PostMessage(host.Window(HostWindow::Finding), platform::WM_CLOSE);
            platform::PostMessage(host.Window(HostWindow::Main), WM_CHOOSE_SERVER);
            // Counted already: once the list has been asked for, the caller
            // must not ask for an address as well.
            if (!WaitForServerList(host, choice, stop))
                return false;
        }
        PostServer(host, server);
        return true;
    };
    return SearchServers(ep, source, listener);
}
