// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/pool.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace kprobe {

// Shared with the threads, which are detached: a thread still waiting for a
// reply when the pool goes away keeps what it uses alive.
struct WorkerPool::State {
    std::size_t limit;
    std::chrono::milliseconds idleLimit;
    mutable std::mutex mutex;
    std::condition_variable ready;
    std::condition_variable gone;
    std::deque<std::function<void()>> jobs;
    std::size_t threads = 0;
    std::size_t idle = 0;
    bool stopping = false;
};

namespace {

void Work(const std::shared_ptr<WorkerPool::State> &s)
{
    std::unique_lock<std::mutex> lock(s->mutex);
    for (;;) {
        ++s->idle;
        const bool woken = s->ready.wait_for(lock, s->idleLimit, [&] { return !s->jobs.empty() || s->stopping; });
        --s->idle;
        if (!woken || s->jobs.empty())
            break;  // idle too long, or stopping
        std::function<void()> job = std::move(s->jobs.front());
        s->jobs.pop_front();
        lock.unlock();
        job();
        job = nullptr;  // what the job holds is let go outside the lock
        lock.lock();
    }
    --s->threads;
    s->gone.notify_all();
}

}  // namespace

bool StartThread(std::thread &thread, std::function<void()> body)
{
    try {
        thread = std::thread(std::move(body));
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

WorkerPool::WorkerPool(std::size_t maxThreads, std::chrono::milliseconds idleLimit) : m_state(std::make_shared<State>())
{
    m_state->limit = maxThreads > 0 ? maxThreads : 1;
    m_state->idleLimit = idleLimit;
}

WorkerPool::~WorkerPool() { Stop(); }

bool WorkerPool::Submit(std::function<void()> job)
{
    State &s = *m_state;
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.stopping)
        return false;
    const bool needThread = s.idle <= s.jobs.size() && s.threads < s.limit;
    if (needThread) {
        try {
            std::thread(Work, m_state).detach();
            ++s.threads;
        } catch (const std::system_error &) {
            return false;  // no thread to be had: the caller turns the job away
        }
    }
    s.jobs.push_back(std::move(job));
    s.ready.notify_one();
    return true;
}

void WorkerPool::Stop(std::chrono::milliseconds grace)
{
    State &s = *m_state;
    std::deque<std::function<void()>> dropped;
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.stopping)
        return;  // stopped already: waited then
    s.stopping = true;
    dropped.swap(s.jobs);
    s.ready.notify_all();
    s.gone.wait_for(lock, grace, [&] { return s.threads == 0; });
    lock.unlock();
}

std::size_t WorkerPool::Threads() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->threads;
}

}  // namespace kprobe
