// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/exchange.h"

#include "platform/clock.h"
#include "platform/socket.h"

#include <poll.h>

#include <cerrno>

#include <deque>
#include <memory>
#include <unordered_map>

namespace kprobe {

namespace {

using platform::Clock;

// Each socket serves this many targets, so that a burst of replies never
// overflows one receive buffer.
constexpr std::size_t TargetsPerSocket = 64;
constexpr int ReceiveBufferBytes = 1 << 20;

std::uint64_t Key(std::uint32_t address, std::uint16_t port)
{
    return (static_cast<std::uint64_t>(address) << 16) | port;
}

struct Group {
    platform::UdpSocket socket;
    // The targets still waiting, by where their reply must come from, oldest first.
    std::unordered_map<std::uint64_t, std::deque<std::size_t>> waiting;
};

class Batch {
public:
    Batch(const std::vector<Target> &targets, std::chrono::milliseconds timeout)
        : m_timeout(timeout), m_results(targets.size()), m_sent(targets.size())
    {
        for (std::size_t i = 0; i < targets.size(); ++i)
            m_results[i].target = targets[i];
    }

    std::vector<Exchange> Run()
    {
        Clock::time_point lastSend = Clock::now();
        for (std::size_t first = 0; first < m_results.size(); first += TargetsPerSocket) {
            m_groups.push_back(std::make_unique<Group>());
            Group &g = *m_groups.back();
            // A new socket never broadcasts; a batch needs room for a burst of replies.
            if (m_results.size() > 1)
                g.socket.SetReceiveBuffer(ReceiveBufferBytes);
            const std::size_t end = std::min(first + TargetsPerSocket, m_results.size());
            for (std::size_t i = first; i < end; ++i)
                Send(g, i);
            lastSend = Clock::now();
            // Replies to the first groups are taken in while the rest go out.
            if (end < m_results.size())
                DrainAll();
        }
        const Clock::time_point deadline = lastSend + m_timeout;
        std::vector<pollfd> fds;
        for (;;) {
            if (m_pending == 0)
                break;
            const auto now = Clock::now();
            if (now >= deadline)
                break;
            fds.clear();
            for (auto &g : m_groups)
                if (!g->waiting.empty())
                    fds.push_back(pollfd{g->socket.Descriptor(), POLLIN, 0});
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
            const timespec wait{static_cast<time_t>(left.count() / 1000000),
                                static_cast<long>(left.count() % 1000000) * 1000};
            const int ready = ::ppoll(fds.data(), fds.size(), &wait, nullptr);
            if (ready < 0 && errno != EINTR)
                break;
            if (ready > 0)
                DrainAll();
        }
        // What is still waiting stayed silent for the whole time-out.
        const double waited = std::chrono::duration<double>(m_timeout).count();
        for (Exchange &e : m_results) {
            e.timeoutSeconds = waited;
            if (e.outcome == Outcome::Silent) {
                e.seconds = waited;
                e.Record({ExchangeStep::GaveUp, waited, 0, 0});
            }
        }
        return std::move(m_results);
    }

private:
    void Send(Group &g, std::size_t i)
    {
        const Target &t = m_results[i].target;
        const std::uint8_t request = StatusRequest;
        const sockaddr_in to = platform::MakeAddress(t.address, t.port);
        m_sent[i] = Clock::now();
        errno = 0;
        if (!g.socket.IsValid() || g.socket.SendTo(&request, sizeof request, to) != static_cast<int>(sizeof request)) {
            m_results[i].outcome = Outcome::Failed;
            m_results[i].Record({ExchangeStep::SendFailed, 0, 0, errno});
            return;
        }
        m_results[i].Record({ExchangeStep::Sent, 0, sizeof request, 0});
        g.waiting[Key(to.sin_addr.s_addr, t.port)].push_back(i);
        ++m_pending;
    }

    void DrainAll()
    {
        for (auto &g : m_groups)
            if (!g->waiting.empty())
                Drain(*g);
    }

    void Drain(Group &g)
    {
        for (;;) {
            std::uint8_t buffer[StatusReplySize];
            sockaddr_in from{};
            const long length = platform::ReceiveWhole(g.socket.Descriptor(), buffer, sizeof buffer, &from, true);
            if (length < 0)
                return;
            const auto now = Clock::now();
            auto it = g.waiting.find(Key(from.sin_addr.s_addr, ntohs(from.sin_port)));
            if (from.sin_family != AF_INET || it == g.waiting.end())
                continue;  // not from a server this socket asked
            const std::size_t i = it->second.front();
            it->second.pop_front();
            if (it->second.empty())
                g.waiting.erase(it);
            --m_pending;
            Exchange &e = m_results[i];
            const auto took = now - m_sent[i];
            const double at = std::chrono::duration<double>(took).count();
            if (took > m_timeout) {
                e.seconds = std::chrono::duration<double>(m_timeout).count();
                e.Record({ExchangeStep::Late, at, length, 0});
                continue;  // too late: still silent
            }
            e.seconds = at;
            e.replyBytes = length;
            e.Record({ExchangeStep::Received, at, length, 0});
            if (static_cast<std::size_t>(length) > StatusReplySize) {
                e.outcome = Outcome::Oversized;
                continue;
            }
            e.outcome = Outcome::Reply;
            e.reply = DecodeStatusReply(buffer, static_cast<std::size_t>(length));
        }
    }

    std::chrono::milliseconds m_timeout;
    std::vector<Exchange> m_results;
    std::vector<Clock::time_point> m_sent;
    std::vector<std::unique_ptr<Group>> m_groups;
    std::size_t m_pending = 0;
};

}  // namespace

const char *OutcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Reply: return "reply";
    case Outcome::Silent: return "silent";
    case Outcome::Oversized: return "oversized";
    case Outcome::Failed: return "failed";
    case Outcome::Unresolved: return "unresolved";
    }
    return "failed";
}

std::vector<Exchange> ExchangeStatus(const std::vector<Target> &targets, std::chrono::milliseconds timeout)
{
    Batch batch(targets, timeout);
    return batch.Run();
}

}  // namespace kprobe
