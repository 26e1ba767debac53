// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Threads for the exporter's slow work (a probe waits up to its time-out for
// one reply; a password is checked with bcrypt): made as jobs need them, up to
// a limit, and ended after a while without work, so that a burst leaves no
// crowd of threads behind.
#pragma once
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

namespace kprobe {

// Starts a thread running body; false when the system has none to give.
bool StartThread(std::thread &thread, std::function<void()> body);

class WorkerPool {
public:
    WorkerPool(std::size_t maxThreads, std::chrono::milliseconds idleLimit);
    ~WorkerPool();  // Stop()
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // Queues a job. False when it cannot be run: the pool is stopping, or no
    // thread is free and none could be started (the system's thread limit).
    bool Submit(std::function<void()> job);
    // Takes no more jobs, drops those not started, and waits up to `grace`
    // for the running ones; threads still busy then finish on their own.
    // Only the first call waits.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(500));
    std::size_t Threads() const;

    struct State;  // shared with the threads

private:
    std::shared_ptr<State> m_state;
};

}  // namespace kprobe
