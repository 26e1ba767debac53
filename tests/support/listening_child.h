// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A program of ours run as a child process on 127.0.0.1 that names its port on its first line of output ("listening
// 127.0.0.1:PORT"), as the simulator and the exporter do. It dies with the test, and is ended (even when stopped) with
// the object.
#pragma once
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class ListeningChild {
public:
    // Port() is 0 when the program could not be started or named no port.
    explicit ListeningChild(std::vector<std::string> args)
    {
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0)
            return;
        if ((m_pid = ::fork()) == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test that dies leaves no child behind, not even a frozen one
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = ::fdopen(out[0], "r");
        char line[128] = "";
        unsigned port = 0;
        if (m_out && std::fgets(line, sizeof line, m_out) && std::sscanf(line, "listening 127.0.0.1:%u", &port) == 1)
            m_port = static_cast<std::uint16_t>(port);
    }
    ~ListeningChild()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGCONT);
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out)
            std::fclose(m_out);
    }
    ListeningChild(const ListeningChild &) = delete;
    ListeningChild &operator=(const ListeningChild &) = delete;

    std::uint16_t Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    FILE *m_out = nullptr;
    std::uint16_t m_port = 0;
};
