// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The same reply handling on the real widgets, offscreen: the main window's
// reply handler updates the tree, re-shows the selected printer in the list
// and the details text.
#include <benchmark/benchmark.h>

#include "app/messages.h"
#include "app/monitor_dlg.h"
#include "bench/wire_replies.h"
#include "platform/ui/win_app.h"

#include <QApplication>
#include <QTimer>

namespace {

// One application for the whole run, never destroyed: the benchmark library
// owns main(), and Qt must not be torn down after its own statics are gone.
QApplication &Application()
{
    static int argc = 1;
    static char name[] = "kestrum_bench";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

// Closes the notice and then waits to be stopped: the window runs, nothing polls.
void IdleWorker(std::shared_ptr<WorkerHost> host)
{
    while (!platform::IsWindowEnabled(host->Window(HostWindow::Finding)) && !host->RunEnded(HostWindow::Finding))
        platform::Sleep(2);
    platform::PostMessage(host->Window(HostWindow::Finding), platform::WM_CLOSE);
    platform::WaitForSingleObject(host->StopEvent(), platform::INFINITE);
}

struct BenchApp : platform::CWinApp {
    explicit BenchApp(CMonitorDlg &dlg) { m_pMainWnd = &dlg; }
    ~BenchApp() override { m_pMainWnd = nullptr; }
};

void BM_ReplyWidgets(benchmark::State &state)
{
    Application();
    const auto wire = MakeWireReplies(16);
    CMonitorDlg dlg(nullptr, IdleWorker);
    BenchApp app(dlg);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dlg, [&] {
        if (!dlg.isVisible())
            return;
        poll.stop();
        dlg.SendMessage(WM_STATUS_REPLY, reinterpret_cast<platform::WPARAM>(wire[0].data()), 0);
        QTreeWidgetItem *root = dlg.m_treePrinters->topLevelItem(0);
        dlg.m_treePrinters->setCurrentItem(root->child(2));
        std::size_t n = 0;
        for (auto _ : state) {
            const auto &raw = wire[n++ % wire.size()];
            // The worker's copy becomes the handler's input, as a posted reply would.
            StatusReply reply = DecodeStatusReply(raw.data(), raw.size());
            dlg.SendMessage(WM_STATUS_REPLY, reinterpret_cast<platform::WPARAM>(&reply), 0);
            benchmark::DoNotOptimize(dlg.m_listStatus);
        }
        dlg.PressKey(Qt::Key_Escape);
    });
    poll.start(1);
    dlg.DoModal();
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_ReplyWidgets)->Unit(benchmark::kMicrosecond);
