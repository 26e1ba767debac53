// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the main window offscreen with a worker of the test's choosing, driven from timers (modal runs nest).
#pragma once
#include "app/globals.h"
#include "app/messages.h"
#include "app/monitor_dlg.h"
#include "platform/ui/message_box.h"
#include "platform/ui/win_app.h"
#include "status_replies.h"

#include <QTimer>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class BoxRecorder {
public:
    BoxRecorder()
    {
        platform::SetMessageBoxHook([this](const platform::MessageBoxCall &c) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.push_back(c);
            return platform::IDOK;
        });
    }
    ~BoxRecorder() { platform::SetMessageBoxHook({}); }
    std::vector<platform::MessageBoxCall> Calls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }

private:
    std::mutex m_mutex;
    std::vector<platform::MessageBoxCall> m_calls;
};

// Runs the test's steps every 10 ms while a modal run is live; a watchdog ends every run so none can hang.
class Driver : public QObject {
public:
    using Step = std::function<bool()>;  // true when done
    explicit Driver(CMonitorDlg &dlg) : m_dlg(dlg)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
        m_timer.start(10);
        QTimer::singleShot(40000, this, [this] { Abort(); });
    }
    void Then(Step step) { m_steps.push_back(std::move(step)); }
    bool Aborted() const { return m_aborted; }

private:
    void Tick()
    {
        while (m_next < m_steps.size() && m_steps[m_next]())
            ++m_next;
    }
    void Abort()
    {
        m_aborted = true;
        for (auto *d : {static_cast<platform::CDialog *>(&m_dlg.m_serverListDlg),
                        static_cast<platform::CDialog *>(&m_dlg.m_serverAddressDlg),
                        static_cast<platform::CDialog *>(&m_dlg.m_findingDlg)})
            d->EndDialog(platform::IDCANCEL);
        m_dlg.EndDialog(-2);
    }
    CMonitorDlg &m_dlg;
    QTimer m_timer;
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    bool m_aborted = false;
};

// The application object the framework expects, naming the dialog its main window.
struct MainWindowApp : platform::CWinApp {
    explicit MainWindowApp(CMonitorDlg &dlg) { m_pMainWnd = &dlg; }
    ~MainWindowApp() override { m_pMainWnd = nullptr; }
};

// As the worker does: once the notice shows (or its run ended), closes it.
inline void CloseNotice(WorkerHost &host)
{
    for (int i = 0; i < 4000 && !platform::IsWindowEnabled(host.Window(HostWindow::Finding)) &&
                    !host.RunEnded(HostWindow::Finding);
         ++i)
        platform::Sleep(5);
    platform::PostMessage(host.Window(HostWindow::Finding), platform::WM_CLOSE);
}

// A worker that closes the notice at once and stops when told (or after stopWaitMs).
inline CMonitorDlg::WorkerBody QuietWorker(std::uint32_t stopWaitMs = 30000)
{
    return [stopWaitMs](std::shared_ptr<WorkerHost> host) {
        CloseNotice(*host);
        platform::WaitForSingleObject(host->StopEvent(), stopWaitMs);
    };
}

// Everything one run of the main window needs, in the order it must be built.
struct MonitorRun {
    explicit MonitorRun(CMonitorDlg::WorkerBody worker = {}) : dlg(nullptr, std::move(worker)) {}
    platform::MessageBoxService service;
    BoxRecorder boxes;
    CMonitorDlg dlg;
    MainWindowApp app{dlg};
    Driver drive{dlg};
};

// Hands the window a status reply, as the worker does.
inline void PostReply(CMonitorDlg &dlg, const std::vector<TestPrinter> &printers)
{
    auto reply = std::make_shared<StatusReply>(BuildReply(printers));
    platform::PostMessage(dlg.GetSafeHwnd(), WM_STATUS_REPLY, reinterpret_cast<platform::WPARAM>(reply.get()), 0,
                          reply);
}
