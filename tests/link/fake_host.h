// A WorkerHost for tests: windows whose enabled flag the test sets, a log of
// every post and message box in the order they happened, preset choices and
// real events.
#pragma once
#include "link/worker_host.h"
#include "platform/event.h"
#include "platform/window.h"

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct HostEntry {
    enum Kind { Post, Box } kind = Post;
    HostWindow target = HostWindow::Main;
    platform::Message message;    // posts
    bool targetEnabled = false;   // posts: was the window enabled when posted to
    std::string text;             // boxes
    platform::UINT flags = 0;     // boxes
};

class FakeHost : public WorkerHost {
public:
    using Hook = std::function<void(FakeHost &, const HostEntry &)>;

    FakeHost();
    ~FakeHost() override;

    platform::HWND Window(HostWindow which) override;
    bool RunEnded(HostWindow which) override;
    int ServerChosen() override;
    std::uint32_t ServerAddress() override;
    int MessageBox(const char *text, platform::UINT flags) override;
    platform::EventHandle StopEvent() override { return m_stop; }
    platform::EventHandle ChoiceEvent() override { return m_choice; }

    void SetEnabled(HostWindow which, bool enabled);
    // Runs action on a helper thread after a pause, as the window thread would
    // (a dialog that takes a moment to open, a user who chooses later).
    void Later(std::uint32_t ms, std::function<void()> action);
    // Waits for the actions started by Later (each is short).
    void JoinHelpers();
    void SetRunEnded(HostWindow which, bool ended);
    // Records the choice and then sets the choice event, as the window side does.
    void Choose(int chosen, std::uint32_t address);
    // Called on the posting thread after each entry is logged; set it before use.
    void OnEntry(Hook hook) { m_hook = std::move(hook); }

    std::vector<HostEntry> Log() const;
    std::vector<HostEntry> Posts(HostWindow target, platform::UINT msg) const;
    std::size_t Boxes() const;

private:
    class FakeWindow;
    bool Record(HostEntry entry);

    std::array<std::shared_ptr<FakeWindow>, 3> m_windows;
    std::array<std::atomic<bool>, 3> m_runEnded{};
    std::atomic<int> m_chosen{0};
    std::atomic<std::uint32_t> m_address{0};
    platform::EventHandle m_stop = platform::CreateEvent();
    platform::EventHandle m_choice = platform::CreateEvent();
    Hook m_hook;
    mutable std::mutex m_mutex;
    std::vector<HostEntry> m_log;
    std::vector<std::thread> m_helpers;
};
