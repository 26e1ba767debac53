// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What both stress tests share: the print-server simulator as a child process
// on loopback (started with --port 0, it says which port it got) with the
// worker's endpoints for it, and a person's answer to the server choice.
#pragma once
#include "app/monitor_dlg.h"
#include "link/worker_host.h"
#include "res/dialog_templates.h"

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
    explicit SimulatorProcess(std::vector<std::string> extra)
    {
        std::vector<std::string> args = {PRINTSIM_PATH, "--bind",        "127.0.0.1", "--port", "0",  //
                                         "--quiet",     "--max-seconds", "60"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0)
            return;
        if ((m_pid = ::fork()) == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test that dies leaves no simulator behind, not even a frozen one
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        FILE *f = ::fdopen(out[0], "r");
        char line[128] = "";
        unsigned port = 0;
        if (f && std::fgets(line, sizeof line, f) && std::sscanf(line, "listening 127.0.0.1:%u", &port) == 1)
            m_port = static_cast<std::uint16_t>(port);
        f ? std::fclose(f) : ::close(out[0]);
    }
    ~SimulatorProcess()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGCONT);
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    SimulatorProcess(const SimulatorProcess &) = delete;
    std::uint16_t Port() const { return m_port; }
    // Where the worker sends: its "broadcast" reaches the simulator alone, and
    // there is no default gateway to fall back on.
    LinkEndpoints Endpoints(std::uint32_t listenLimitMs) const
    {
        LinkEndpoints ep;
        ep.broadcastAddress = htonl(INADDR_LOOPBACK);
        ep.port = m_port;
        ep.gatewayLookup = [](std::uint8_t *) { return false; };
        ep.listenLimitMs = listenLimitMs;
        return ep;
    }
    // A server that falls silent at once: it keeps its port but answers nothing.
    void Freeze() const
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGSTOP);
    }

private:
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
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
