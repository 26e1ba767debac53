// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/event.h"

#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace platform {

void Event::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    m_changed.notify_all();
}

void Event::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool Event::IsSet() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_set;
}

std::uint32_t Event::Wait(std::uint32_t milliseconds) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (milliseconds == INFINITE) {
        m_changed.wait(lock, [this] { return m_set; });
        return WAIT_OBJECT_0;
    }
    bool set = m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_set; });
    return set ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void Sleep(std::uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

std::uint32_t GetTickCount()
{
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(since.count());
}

}  // namespace platform
