// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What both stress tests share: the print-server simulator as a child process on loopback (started with --port 0, it
// says which port it got) with the worker's endpoints for it, and a person's answer to the server choice.
#pragma once
#include "app/monitor_dlg.h"
#include "link/worker_host.h"
#include "res/dialog_templates.h"
#include "listening_child.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

class SimulatorProcess {
public:
    // Starts PRINTSIM_PATH on 127.0.0.1 with the extra arguments; Port() is 0 when that failed.
    explicit SimulatorProcess(std::vector<std::string> extra) : m_child(Arguments(std::move(extra))) {}
    SimulatorProcess(const SimulatorProcess &) = delete;
    std::uint16_t Port() const { return m_child.Port(); }
    // Where the worker sends: its "broadcast" reaches the simulator alone, and there is no default gateway to fall back
    // on.
    LinkEndpoints Endpoints(std::uint32_t listenLimitMs) const
    {
        LinkEndpoints ep;
        ep.broadcastAddress = htonl(INADDR_LOOPBACK);
        ep.port = m_child.Port();
        ep.gatewayLookup = [](std::uint8_t *) { return false; };
        ep.listenLimitMs = listenLimitMs;
        return ep;
    }
    // A server that falls silent at once: it keeps its port but answers nothing.
    void Freeze() const
    {
        if (m_child.Pid() > 0)
            ::kill(m_child.Pid(), SIGSTOP);
    }

private:
    static std::vector<std::string> Arguments(std::vector<std::string> extra)
    {
        std::vector<std::string> args = {PRINTSIM_PATH, "--bind",        "127.0.0.1", "--port", "0",  //
                                         "--quiet",     "--max-seconds", "60"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    ListeningChild m_child;
};

// Picks the first listed server, or types 127.0.0.1; false while there is nothing to answer.
inline bool AnswerServerChoice(CMonitorDlg &dlg)
{
    if (dlg.m_serverAddressDlg.IsRunning()) {
        dlg.m_serverAddressDlg.m_ipAddressCtrl->SetAddress(0x7F000001);
        dlg.m_serverAddressDlg.PressKey(Qt::Key_Return);
        return true;
    }
    auto *list = dlg.m_serverListDlg.Item<platform::SortedListBox>(IDC_SERVER_LIST);
    if (!dlg.m_serverListDlg.IsRunning() || !list || list->GetCount() == 0)
        return false;
    list->SetCurSel(0);
    dlg.m_serverListDlg.PressKey(Qt::Key_Return);
    return true;
}
