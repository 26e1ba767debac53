// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/discovery.h"

#include "app/messages.h"
#include "link/protocol.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "text/endpoint.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

namespace {

using platform::Clock;
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
bool WaitForServerList(WorkerHost &host, const platform::EventHandle &choice, const platform::EventHandle &stop)
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
    auto text = std::make_shared<const std::string>(ktext::Ipv4Text(server.sin_addr.s_addr));
    platform::PostMessage(host.Window(HostWindow::ServerList), WM_ADD_SERVER,
                          reinterpret_cast<platform::WPARAM>(text->c_str()), 0, text);
}

// One search: its socket, where its probes go, and the answers so far.
class Search {
public:
    Search(const LinkEndpoints &ep, sockaddr_in *source, const DiscoveryListener &listener)
        : m_ep(ep), m_source(source), m_listener(listener)
    {
    }

    // The socket and the broadcast probe; false when the search cannot start.
    bool Start()
    {
        if (platform::SocketStartup() != 0 || !m_socket.IsValid() || !m_socket.SetBroadcast(true))
            return false;
        m_destination = platform::MakeAddress(m_ep.broadcastAddress, m_ep.port);
        return SendProbe(m_socket, m_destination);
    }

    // Listens window after window until the search is over; the number of answers.
    int Run()
    {
        // A host that keeps sending datagrams would restart the window for ever;
        // the whole listening phase is capped.
        const auto listenEnd = Clock::now() + Milliseconds(m_ep.listenLimitMs);
        bool fallbackSent = false;
        for (;;) {
            if (StopRequested())
                return m_count;
            const auto left = std::chrono::duration_cast<Milliseconds>(listenEnd - Clock::now()).count();
            if (left <= 0)
                return m_count;
            const bool lastWindow = left <= ListenWindowMs;
            const Heard heard = Listen(lastWindow ? static_cast<long>(left) : ListenWindowMs);
            if (heard == Heard::Datagram)
                continue;
            if (heard == Heard::Enough)
                return m_count;
            // The window ran out (or the wait failed). A caller that wants no more
            // needs no fallback probe.
            if (m_count > 0 || fallbackSent || lastWindow || StopRequested() || !SendFallbackProbe())
                return m_count;
            fallbackSent = true;
        }
    }

private:
    enum class Heard { Datagram, Quiet, Enough };

    bool StopRequested() const { return m_listener.stopRequested && m_listener.stopRequested(); }

    // One window: a datagram (an answer or not), nothing, or the end of the search.
    Heard Listen(long windowMs)
    {
        if (m_socket.WaitReadable(windowMs / 1000, (windowMs % 1000) * 1000) <= 0)
            return Heard::Quiet;
        std::uint8_t answer = 0;
        const int length = m_socket.ReceiveFrom(&answer, sizeof answer, m_source);
        if (length < 0)
            return Heard::Enough;
        if (length != 1 || answer != DiscoveryAnswer || m_source->sin_family != AF_INET)
            return Heard::Datagram;
        // Counted before the caller hears of it: once it has been told, the
        // answer stands even when the caller ends the search.
        ++m_count;
        if (m_listener.answer && !m_listener.answer(*m_source, m_count))
            return Heard::Enough;
        return Heard::Datagram;
    }

    // The one probe to the default gateway; false when there is none to ask.
    bool SendFallbackProbe()
    {
        std::uint8_t gateway[4] = {};
        if (!m_ep.gatewayLookup || !m_ep.gatewayLookup(gateway))
            return false;
        std::memcpy(&m_destination.sin_addr.s_addr, gateway, sizeof gateway);
        return m_socket.SetBroadcast(false) && SendProbe(m_socket, m_destination);
    }

    const LinkEndpoints &m_ep;
    sockaddr_in *m_source;
    const DiscoveryListener &m_listener;
    platform::UdpSocket m_socket;
    sockaddr_in m_destination{};
    int m_count = 0;
};

}  // namespace

int SearchServers(const LinkEndpoints &ep, sockaddr_in *source, const DiscoveryListener &listener)
{
    sockaddr_in ownRecord{};
    Search search(ep, source ? source : &ownRecord, listener);
    return search.Start() ? search.Run() : 0;
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
