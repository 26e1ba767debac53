// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/deadline.h"

#include "probe/http/pool.h"

#include <sys/socket.h>

namespace kprobe {

bool ConnectionDeadlines::Start()
{
    return StartThread(m_thread, [this] { Enforce(); });
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
    const Clock::time_point now = Clock::now();
    m_entries[key] = Entry{fd, true, true, false, now, now + m_limit};
    ++m_fresh;
    if (m_arriving > 0)
        --m_arriving;
}

void ConnectionDeadlines::HeadReceived(const void *key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return;
    Entry &e = it->second;
    e.waiting = false;
    if (e.fresh && !e.cut)
        --m_fresh;
    e.fresh = false;
}

void ConnectionDeadlines::AnswerSent(const void *key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it != m_entries.end() && !it->second.cut) {
        it->second.waiting = true;
        it->second.since = Clock::now();
        it->second.deadline = it->second.since + m_limit;
    }
}

void ConnectionDeadlines::Closed(const void *key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return;
    if (it->second.cut)
        --m_cut;
    else if (it->second.fresh)
        --m_fresh;
    m_entries.erase(it);
}

std::size_t ConnectionDeadlines::Open() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

void ConnectionDeadlines::Cut(Entry &e)
{
    // The connection loop sees the end of the stream and closes it.
    ::shutdown(e.fd, SHUT_RDWR);
    e.cut = true;
    e.waiting = false;
    ++m_cut;
    if (e.fresh)
        --m_fresh;
}

ConnectionDeadlines::Entry *ConnectionDeadlines::Oldest(bool freshOnly)
{
    Entry *oldest = nullptr;
    for (auto &[key, e] : m_entries)
        if (e.waiting && !e.cut && (e.fresh || !freshOnly) && (!oldest || e.since < oldest->since))
            oldest = &e;
    return oldest;
}

std::size_t ConnectionDeadlines::Live() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size() - m_cut + m_arriving;
}

std::size_t ConnectionDeadlines::Fresh() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fresh + m_arriving;
}

bool ConnectionDeadlines::CutLongestWaiting(bool freshOnly, Clock::duration atLeast)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Entry *e = Oldest(true);
    if (!e && !freshOnly)
        e = Oldest(false);
    if (!e || Clock::now() - e->since < atLeast)
        return false;
    Cut(*e);
    return true;
}

void ConnectionDeadlines::Arriving()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_arriving;
}

void ConnectionDeadlines::ArrivalFailed()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_arriving > 0)
        --m_arriving;
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
        for (auto &[key, e] : m_entries)
            if (e.waiting && !e.cut && e.deadline <= now)
                Cut(e);
    }
}

}  // namespace kprobe
