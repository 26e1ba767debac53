// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/acceptor.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace kprobe {

namespace {

// How often a waiting acceptor looks whether it is to stop.
constexpr std::chrono::milliseconds StopCheck{100};

}  // namespace

Acceptor::Acceptor(int listening, ConnectionDeadlines &table, ConnectionDeadlines::Admission admission, Hand hand)
    : m_listening(listening), m_table(table), m_admission(admission), m_hand(std::move(hand))
{
}

bool Acceptor::Start()
{
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

void Acceptor::Stop()
{
    m_stopping = true;
    if (m_thread.joinable())
        m_thread.join();
}

void Acceptor::Run()
{
    while (!m_stopping) {
        pollfd listening{m_listening, POLLIN, 0};
        if (::poll(&listening, 1, static_cast<int>(StopCheck.count())) > 0 && (listening.revents & POLLIN))
            AcceptOne();
    }
}

void Acceptor::AcceptOne()
{
    ConnectionDeadlines::Clock::time_point retryAt{};
    const ConnectionDeadlines::Room room = m_table.MakeRoom(m_admission, retryAt);
    if (room == ConnectionDeadlines::Room::Later) {
        m_table.WaitForChange(std::min(retryAt, ConnectionDeadlines::Clock::now() + StopCheck));
        return;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int fd = ::accept4(m_listening, reinterpret_cast<sockaddr *>(&address), &length,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            ::poll(nullptr, 0, static_cast<int>(StopCheck.count()));  // out of descriptors: wait, do not spin
        return;
    }
    if (room == ConnectionDeadlines::Room::No) {
        ::close(fd);  // every connection is busy with a request: closed at once, not left waiting
        return;
    }
    m_table.Arriving();
    if (!m_hand(fd, reinterpret_cast<sockaddr *>(&address), length))
        m_table.ArrivalFailed();
}

}  // namespace kprobe
