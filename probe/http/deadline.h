// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A deadline for each request's head, however its bytes are paced: a
// connection whose request has not fully arrived within the limit (from its
// opening, or from the previous answer) is shut down. A client that sends a
// byte now and then can hold a connection no longer than that.
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

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        int fd;
        bool waiting;  // for a request's head
        Clock::time_point deadline;
    };
    void Enforce();

    const std::chrono::milliseconds m_limit;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::unordered_map<const void *, Entry> m_entries;
    std::thread m_thread;
    bool m_stopping = false;
};

}  // namespace kprobe
