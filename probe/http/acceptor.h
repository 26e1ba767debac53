// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Accepts connections on a listening socket of our own and hands them to the
// server once they have sent their first bytes, only as fast as there is room.
// A connection that sends nothing stays here, costing nothing but its
// descriptor, until its deadline or until a newer one needs its slot. When
// every slot is taken, the connection that has waited longest for its first
// request goes, so that no client can shut the others out. Under TLS, the
// connections handed over that have not yet sent a request are bounded, so
// the connection loop works through a bounded number of handshakes a round.
#pragma once
#include "probe/http/deadline.h"

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace kprobe {

class Acceptor {
public:
    using Clock = ConnectionDeadlines::Clock;

    struct Admission {
        std::size_t maxOpen = 4096;                  // here and in the server together
        std::chrono::milliseconds headLimit{10000};  // to send a whole request head
        // Handed over and not yet past their first request (0: no bound), and
        // how long one of them may take before a newer one may push it out.
        std::size_t maxFresh = 0;
        std::chrono::milliseconds freshGrace{250};
    };
    // Takes a new connection's socket; false when it could not (the socket is
    // then closed by whoever was handed it).
    using Hand = std::function<bool(int fd, const sockaddr *address, socklen_t length)>;

    Acceptor(int listening, ConnectionDeadlines &server, Admission admission, Hand hand);
    ~Acceptor();
    Acceptor(const Acceptor &) = delete;
    Acceptor &operator=(const Acceptor &) = delete;

    bool Start();
    // Accepts no more and closes what it still holds; the listening socket
    // stays open, with the caller.
    void Stop();

private:
    struct Held {
        int fd;
        Clock::time_point since;
        sockaddr_storage address;
        socklen_t length;
    };
    void Run();
    void Watch(int timeoutMs);
    void AcceptAll();
    bool MakeRoom();
    void HandOver();
    void DropLate();

    const int m_listening;
    ConnectionDeadlines &m_server;
    const Admission m_admission;
    Hand m_hand;
    std::vector<Held> m_silent;  // nothing sent yet
    std::vector<Held> m_ready;   // bytes waiting; newest last
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

}  // namespace kprobe
