// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The server's open connections: a deadline for each request's head, however
// its bytes are paced (a connection whose request has not fully arrived
// within the limit, from its opening or from the previous answer, is shut
// down), and the counts and cuts that the acceptor needs to make room.
#pragma once
#include "platform/clock.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace kprobe {

class ConnectionDeadlines {
public:
    using Clock = platform::Clock;

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

    // Connections the server holds now: open and not cut, or handed over and
    // not yet opened; and of them those that have not yet sent a request.
    std::size_t Live() const;
    std::size_t Fresh() const;
    // Cuts the connection that has waited longest for a request head, if it
    // has waited at least `atLeast`: one that never sent a request first,
    // else (unless freshOnly) an idle kept-alive one. False when none may go.
    bool CutLongestWaiting(bool freshOnly, Clock::duration atLeast);
    // A connection accepted and handed over, not yet Opened; or its hand-over failed.
    void Arriving();
    void ArrivalFailed();

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
    std::unordered_map<const void *, Entry> m_entries;
    std::size_t m_cut = 0;       // entries shut down, not yet closed
    std::size_t m_fresh = 0;     // entries fresh and not cut
    std::size_t m_arriving = 0;  // handed over, not yet opened
    std::thread m_thread;
    bool m_stopping = false;
};

}  // namespace kprobe
