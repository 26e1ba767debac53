// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Accepts connections on a listening socket of our own and hands them to the
// server, only as fast as there is room (ConnectionDeadlines::MakeRoom): what
// must wait stays in the kernel's backlog, not in the connection loop.
#pragma once
#include "probe/http/deadline.h"

#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <thread>

namespace kprobe {

class Acceptor {
public:
    // Takes a new connection's socket; false when it could not (the socket is
    // then closed by whoever was handed it).
    using Hand = std::function<bool(int fd, const sockaddr *address, socklen_t length)>;

    Acceptor(int listening, ConnectionDeadlines &table, ConnectionDeadlines::Admission admission, Hand hand);
    ~Acceptor() { Stop(); }
    Acceptor(const Acceptor &) = delete;
    Acceptor &operator=(const Acceptor &) = delete;

    bool Start();
    // Accepts no more; the listening socket stays open, with the caller.
    void Stop();

private:
    void Run();
    void AcceptOne();

    const int m_listening;
    ConnectionDeadlines &m_table;
    const ConnectionDeadlines::Admission m_admission;
    Hand m_hand;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

}  // namespace kprobe
