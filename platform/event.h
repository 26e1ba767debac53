// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Manual-reset events and bounded waits, on the standard library.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace platform {

constexpr std::uint32_t WAIT_OBJECT_0 = 0;
constexpr std::uint32_t WAIT_TIMEOUT = 0x102;
constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFF;
constexpr std::uint32_t INFINITE = 0xFFFFFFFF;

// A manual-reset event: once set it stays set until reset.
class Event {
public:
    explicit Event(bool initiallySet = false) : m_set(initiallySet) {}
    Event(const Event &) = delete;
    Event &operator=(const Event &) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // WAIT_OBJECT_0 when set (now or within the time), WAIT_TIMEOUT otherwise.
    std::uint32_t Wait(std::uint32_t milliseconds) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_set;
};

// Handles are shared: whoever still waits on an event keeps it alive, so
// closing a handle never frees an object another thread is using.
using EventHandle = std::shared_ptr<Event>;

inline EventHandle CreateEvent() { return std::make_shared<Event>(false); }
inline void SetEvent(const EventHandle &e)
{
    if (e)
        e->Set();
}
inline bool IsEventSet(const EventHandle &e) { return e && e->IsSet(); }
// A null (closed) handle is a failed wait.
inline std::uint32_t WaitForSingleObject(const EventHandle &e, std::uint32_t ms)
{
    return e ? e->Wait(ms) : WAIT_FAILED;
}

void Sleep(std::uint32_t milliseconds);
std::uint32_t GetTickCount();

}  // namespace platform
