// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A WorkerHost for tests: windows whose enabled flag the test sets, a log of every post and message box in order,
// preset choices and real events.
#pragma once
#include "link/worker_host.h"

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct HostEntry {
    HostWindow target;
    platform::Message message;  // posts (a box's msg is 0)
    bool targetEnabled;         // posts: was the window enabled when posted to
    std::string box;            // message boxes: their text and flags
    platform::UINT boxFlags;
};

class FakeHost : public WorkerHost {
public:
    ~FakeHost() override
    {
        for (auto &t : m_helpers)
            t.join();
    }

    platform::HWND Window(HostWindow w) override { return m_windows[int(w)]; }
    bool RunEnded(HostWindow w) override { return m_runEnded[int(w)]; }
    int ServerChosen() override { return m_chosen; }
    std::uint32_t ServerAddress() override { return m_address; }
    int MessageBox(const char *text, platform::UINT flags) override { return Record({{}, {}, false, text, flags}); }
    platform::EventHandle StopEvent() override { return m_stop; }
    platform::EventHandle ChoiceEvent() override { return m_choice; }

    void SetEnabled(HostWindow w, bool enabled) { m_windows[int(w)]->enabled = enabled; }
    void SetRunEnded(HostWindow w) { m_runEnded[int(w)] = true; }
    // Records the choice, then sets the choice event, as the window side does.
    void Choose(int chosen, std::uint32_t address)
    {
        m_chosen = chosen, m_address = address, platform::SetEvent(m_choice);
    }
    // Runs action on a helper thread after a pause, as the window thread would; from one thread at a time.
    void Later(std::uint32_t ms, std::function<void()> action)
    {
        m_helpers.emplace_back([ms, action] { platform::Sleep(ms), action(); });
    }
    // Called on the posting thread after each entry is logged; set before use.
    std::function<void(FakeHost &, const HostEntry &)> onEntry;

    std::vector<HostEntry> Log() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_log;
    }
    std::vector<HostEntry> Posts(HostWindow target, platform::UINT msg) const
    {
        std::vector<HostEntry> found;
        for (const auto &e : Log())
            if (e.target == target && e.message.msg == msg)
                found.push_back(e);
        return found;
    }

private:
    struct FakeWindow : platform::Window {
        FakeWindow(FakeHost &host, int which) : host(host), which(HostWindow(which)) {}
        bool Post(platform::Message m) override { return host.Record({which, std::move(m), enabled, {}, 0}); }
        bool IsEnabled() const override { return enabled; }
        FakeHost &host;
        HostWindow which;
        std::atomic<bool> enabled{false};
    };
    // True, which is also IDOK for a box.
    bool Record(HostEntry entry)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_log.push_back(entry);
        lock.unlock();
        if (onEntry)
            onEntry(*this, entry);
        return true;
    }

    std::array<std::shared_ptr<FakeWindow>, 3> m_windows = {std::make_shared<FakeWindow>(*this, 0),
                                                            std::make_shared<FakeWindow>(*this, 1),
                                                            std::make_shared<FakeWindow>(*this, 2)};
    std::array<std::atomic<bool>, 3> m_runEnded{};
    std::atomic<int> m_chosen{0};
    std::atomic<std::uint32_t> m_address{0};
    platform::EventHandle m_stop = platform::CreateEvent(), m_choice = platform::CreateEvent();
    mutable std::mutex m_mutex;
    std::vector<HostEntry> m_log;
    std::vector<std::thread> m_helpers;
};
