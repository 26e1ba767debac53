// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The worker's way to the main window. It outlives the window if it must: once
// the window has gone, every question gets the answer for "no window".
#pragma once
#include "link/worker_host.h"

#include <atomic>
#include <mutex>

class CMonitorDlg;
namespace platform {
class CDialog;
}

class MonitorWorkerHost final : public WorkerHost {
public:
    MonitorWorkerHost(CMonitorDlg *dlg, platform::EventHandle stop, platform::EventHandle choice)
        : m_dlg(dlg), m_stop(std::move(stop)), m_choice(std::move(choice))
    {
    }
    // Called by the window as it goes.
    void Detach();

    platform::HWND Window(HostWindow which) override;
    bool RunEnded(HostWindow which) override;
    int ServerChosen() override;
    std::uint32_t ServerAddress() override;
    int MessageBox(const char *text, platform::UINT flags) override;
    platform::EventHandle StopEvent() override { return m_stop; }
    platform::EventHandle ChoiceEvent() override { return m_choice; }
    // The worker asks for a box only to say it failed ("Connect Failed!").
    bool ShowedError() const { return m_showedError; }

private:
    platform::CDialog *DialogOf(HostWindow which) const;  // under m_mutex

    std::mutex m_mutex;
    CMonitorDlg *m_dlg;
    const platform::EventHandle m_stop;
    const platform::EventHandle m_choice;
    std::atomic<bool> m_showedError{false};
};
