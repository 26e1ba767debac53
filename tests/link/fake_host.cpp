#include "tests/link/fake_host.h"

#include "platform/event.h"

namespace {
std::size_t Index(HostWindow which) { return static_cast<std::size_t>(which); }
}  // namespace

class FakeHost::FakeWindow : public platform::Window {
public:
    FakeWindow(FakeHost &host, HostWindow which) : m_host(host), m_which(which) {}

    bool Post(platform::Message message) override
    {
        HostEntry entry;
        entry.kind = HostEntry::Post;
        entry.target = m_which;
        entry.message = std::move(message);
        entry.targetEnabled = enabled;
        return m_host.Record(std::move(entry));
    }
    bool IsEnabled() const override { return enabled; }

    std::atomic<bool> enabled{false};

private:
    FakeHost &m_host;
    HostWindow m_which;
};

FakeHost::FakeHost()
{
    for (HostWindow w : {HostWindow::Main, HostWindow::Finding, HostWindow::ServerList})
        m_windows[Index(w)] = std::make_shared<FakeWindow>(*this, w);
    for (auto &ended : m_runEnded)
        ended = false;
}

FakeHost::~FakeHost() { JoinHelpers(); }

void FakeHost::JoinHelpers()
{
    std::vector<std::thread> helpers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        helpers.swap(m_helpers);
    }
    for (auto &t : helpers)
        t.join();
}

platform::HWND FakeHost::Window(HostWindow which) { return m_windows[Index(which)]; }

bool FakeHost::RunEnded(HostWindow which) { return m_runEnded[Index(which)]; }

int FakeHost::ServerChosen() { return m_chosen; }

std::uint32_t FakeHost::ServerAddress() { return m_address; }

int FakeHost::MessageBox(const char *text, platform::UINT flags)
{
    HostEntry entry;
    entry.kind = HostEntry::Box;
    entry.text = text ? text : "";
    entry.flags = flags;
    Record(std::move(entry));
    return platform::IDOK;
}

void FakeHost::SetEnabled(HostWindow which, bool enabled) { m_windows[Index(which)]->enabled = enabled; }

void FakeHost::Later(std::uint32_t ms, std::function<void()> action)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_helpers.emplace_back([ms, action = std::move(action)] {
        platform::Sleep(ms);
        action();
    });
}

void FakeHost::SetRunEnded(HostWindow which, bool ended) { m_runEnded[Index(which)] = ended; }

void FakeHost::Choose(int chosen, std::uint32_t address)
{
    m_chosen = chosen;
    m_address = address;
    platform::SetEvent(m_choice);
}

bool FakeHost::Record(HostEntry entry)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.push_back(entry);
    }
    if (m_hook)
        m_hook(*this, entry);
    return true;
}

std::vector<HostEntry> FakeHost::Log() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

std::vector<HostEntry> FakeHost::Posts(HostWindow target, platform::UINT msg) const
{
    std::vector<HostEntry> found;
    for (const auto &e : Log())
        if (e.kind == HostEntry::Post && e.target == target && e.message.msg == msg)
            found.push_back(e);
    return found;
}

std::size_t FakeHost::Boxes() const
{
    std::size_t n = 0;
    for (const auto &e : Log())
        n += e.kind == HostEntry::Box;
    return n;
}
