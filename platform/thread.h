// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The worker thread and a bounded wait for its end.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class Thread {
public:
    // Starts body at once; null when the thread cannot be created.
    static std::shared_ptr<Thread> Start(std::function<void()> body);
    // WAIT_OBJECT_0 once the body has returned, WAIT_TIMEOUT if not within the time.
    std::uint32_t Wait(std::uint32_t milliseconds) const;
    bool Finished() const;
    // Joins a finished thread; a thread still running is let go (it ends with the
    // process) instead of aborting the program.
    ~Thread();

    Thread(const Thread &) = delete;
    Thread &operator=(const Thread &) = delete;

private:
    struct State;
    Thread() = default;
    std::shared_ptr<State> m_state;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

using ThreadHandle = std::shared_ptr<Thread>;

}  // namespace platform
