// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/deadline.h"

#include <sys/socket.h>

#include <system_error>

namespace kprobe {

bool ConnectionDeadlines::Start()
{
    try {
        m_thread = std::thread([this] { Enforce(); });
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

void ConnectionDeadlines::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ConnectionDeadlines::Opened(const void *key, int fd)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries[key] = Entry{fd, true, Clock::now() + m_limit};
}

void ConnectionDeadlines::HeadReceived(const void *key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it != m_entries.end())
        it->second.waiting = false;
}

void ConnectionDeadlines::AnswerSent(const void *key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it != m_entries.end()) {
        it->second.waiting = true;
        it->second.deadline = Clock::now() + m_limit;
    }
}

void ConnectionDeadlines::Closed(const void *key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.erase(key);
}

std::size_t ConnectionDeadlines::Open() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

void ConnectionDeadlines::Enforce()
{
    // A quarter of the limit between rounds, at most 250 ms: a connection
    // lives at most that much past its deadline.
    const auto step =
        std::min<std::chrono::milliseconds>(m_limit / 4 + std::chrono::milliseconds(1), std::chrono::milliseconds(250));
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, step, [this] { return m_stopping; })) {
        const Clock::time_point now = Clock::now();
        for (auto &[key, e] : m_entries) {
            if (e.waiting && e.deadline <= now) {
                // The connection loop sees the end of the stream and closes it.
                ::shutdown(e.fd, SHUT_RDWR);
                e.waiting = false;
            }
        }
    }
}

}  // namespace kprobe
