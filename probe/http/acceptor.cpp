// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/acceptor.h"

#include "probe/http/pool.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kprobe {

namespace {

// The longest wait in one round: how soon a stop or a late connection is seen.
constexpr int RoundMs = 100;
// New connections taken in one round, so that the rest of the round keeps up.
constexpr int AcceptsPerRound = 256;

}  // namespace

Acceptor::Acceptor(int listening, ConnectionDeadlines &server, Admission admission, Hand hand)
    : m_listening(listening), m_server(server), m_admission(admission), m_hand(std::move(hand))
{
}

Acceptor::~Acceptor() { Stop(); }

bool Acceptor::Start()
{
    return StartThread(m_thread, [this] { Run(); });
}

void Acceptor::Stop()
{
    m_stopping = true;
    if (m_thread.joinable())
        m_thread.join();
    for (const Held &h : m_silent)
        ::close(h.fd);
    for (const Held &h : m_ready)
        ::close(h.fd);
    m_silent.clear();
    m_ready.clear();
}

void Acceptor::Run()
{
    while (!m_stopping) {
        // Ready connections waiting for a slot are not watched: they would
        // wake every round.
        Watch(m_ready.empty() ? RoundMs : RoundMs / 4);
        DropLate();
        HandOver();
    }
}

// Waits for new connections and for the first bytes of those held silent.
void Acceptor::Watch(int timeoutMs)
{
    std::vector<pollfd> fds;
    fds.reserve(m_silent.size() + 1);
    fds.push_back(pollfd{m_listening, POLLIN, 0});
    for (const Held &h : m_silent)
        fds.push_back(pollfd{h.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), timeoutMs) <= 0)
        return;
    std::vector<Held> still;
    for (std::size_t i = 0; i < m_silent.size(); ++i)
        (fds[i + 1].revents ? m_ready : still).push_back(m_silent[i]);
    m_silent.swap(still);
    if (fds[0].revents & POLLIN)
        AcceptAll();
}

void Acceptor::AcceptAll()
{
    for (int i = 0; i < AcceptsPerRound; ++i) {
        Held h{};
        h.length = sizeof h.address;
        h.fd =
            ::accept4(m_listening, reinterpret_cast<sockaddr *>(&h.address), &h.length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (h.fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                ::poll(nullptr, 0, RoundMs);  // out of descriptors: wait, do not spin
            return;
        }
        if (!MakeRoom()) {
            ::close(h.fd);  // every connection is busy with a request: closed at once
            continue;
        }
        h.since = Clock::now();
        m_silent.push_back(h);
    }
}

// A slot for one more: the oldest silent one here goes first, then the
// server's longest waiting.
bool Acceptor::MakeRoom()
{
    if (m_silent.size() + m_ready.size() + m_server.Live() < m_admission.maxOpen)
        return true;
    if (!m_silent.empty()) {
        ::close(m_silent.front().fd);
        m_silent.erase(m_silent.begin());
        return true;
    }
    return m_server.CutLongestWaiting(false, Clock::duration::zero());
}

void Acceptor::HandOver()
{
    while (!m_ready.empty()) {
        if (m_admission.maxFresh > 0 && m_server.Fresh() >= m_admission.maxFresh &&
            !m_server.CutLongestWaiting(true, m_admission.freshGrace))
            return;
        const Held h = m_ready.back();  // the newest first: a flood does not queue ahead of it
        m_ready.pop_back();
        m_server.Arriving();
        if (!m_hand(h.fd, reinterpret_cast<const sockaddr *>(&h.address), h.length))
            m_server.ArrivalFailed();
    }
}

// Past the head's deadline without being handed over: closed.
void Acceptor::DropLate()
{
    const Clock::time_point late = Clock::now() - m_admission.headLimit;
    for (auto *held : {&m_silent, &m_ready}) {
        const auto end = std::remove_if(held->begin(), held->end(), [&](const Held &h) {
            if (h.since > late)
                return false;
            ::close(h.fd);
            return true;
        });
        held->erase(end, held->end());
    }
}

}  // namespace kprobe
