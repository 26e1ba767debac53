// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's open connections: a deadline for each request's head,
// however its bytes are paced (a connection whose request has not fully
// arrived within the limit, from its opening or from the previous answer, is
// shut down), and room for a new connection when every slot is taken: the
// connection that has waited longest for its request head goes, so that no
// client can shut the others out by holding idle connections open.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace kprobe {

class ConnectionDeadlines {
public:
    using Clock = std::chrono::steady_clock;

    explicit ConnectionDeadlines(std::chrono::milliseconds limit) : m_limit(limit) {}
    ~ConnectionDeadlines() { Stop(); }
    ConnectionDeadlines(const ConnectionDeadlines &) = delete;
    ConnectionDeadlines &operator=(const ConnectionDeadlines &) = delete;

    // Starts the thread that enforces the deadlines; false when it cannot.
    bool Start();
    void Stop();

    // The connection's life, keyed by anything unique while it is open. Closed
    // must come before its socket is closed, so that a reused descriptor is
    // never shut down by mistake.
    void Opened(const void *key, int fd);
    void HeadReceived(const void *key);
    void AnswerSent(const void *key);
    void Closed(const void *key);
    std::size_t Open() const;

    // What a new connection may have.
    struct Admission {
        std::size_t maxOpen = 4096;
        // Connections that have not yet sent their first request (0: no
        // limit). Under TLS each costs a handshake, and a bound here bounds the
        // handshakes that the connection loop works through in one round.
        std::size_t maxFresh = 0;
        std::chrono::milliseconds freshGrace{1000};  // a fresh one younger than this is not cut
    };
    enum class Room { Yes, Later, No };
    // Makes room for a connection waiting to be accepted, cutting the one that
    // has waited longest for its head where needed. Later: not before
    // `retryAt` (or a change); No: nothing can go, refuse the new one.
    Room MakeRoom(const Admission &admission, Clock::time_point &retryAt);
    // A connection accepted and handed over, not yet Opened; or its hand-over failed.
    void Arriving();
    void ArrivalFailed();
    // Waits until a connection opens, starts a request or closes, or until `until`.
    void WaitForChange(Clock::time_point until);

private:
    struct Entry {
        int fd;
        bool waiting = true;  // for a request's head
        bool fresh = true;    // no request yet
        bool cut = false;     // shut down, not yet closed
        Clock::time_point since;
        Clock::time_point deadline;
    };
    void Enforce();
    void Cut(Entry &e);
    Entry *Oldest(bool freshOnly);

    const std::chrono::milliseconds m_limit;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_changed;
    std::unordered_map<const void *, Entry> m_entries;
    std::size_t m_cut = 0;       // entries shut down, not yet closed
    std::size_t m_fresh = 0;     // entries fresh and not cut
    std::size_t m_arriving = 0;  // handed over, not yet opened
    std::thread m_thread;
    bool m_stopping = false;
};

}  // namespace kprobe
