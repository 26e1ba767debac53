// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/thread.h"

#include "platform/event.h"

#include <system_error>
#include <thread>

namespace platform {

struct Thread::State {
    Event done;
};

struct Thread::Impl {
    std::thread thread;
};

std::shared_ptr<Thread> Thread::Start(std::function<void()> body)
{
    std::shared_ptr<Thread> t(new Thread);
    t->m_state = std::make_shared<State>();
    t->m_impl = std::make_unique<Impl>();
    auto state = t->m_state;
    try {
        t->m_impl->thread = std::thread([state, body = std::move(body)] {
            body();
            state->done.Set();
        });
    } catch (const std::system_error &) {
        return nullptr;
    }
    return t;
}

std::uint32_t Thread::Wait(std::uint32_t milliseconds) const { return m_state->done.Wait(milliseconds); }

bool Thread::Finished() const { return m_state->done.IsSet(); }

Thread::~Thread()
{
    if (!m_impl || !m_impl->thread.joinable())
        return;
    if (Finished())
        m_impl->thread.join();
    else
        m_impl->thread.detach();
}

}  // namespace platform
