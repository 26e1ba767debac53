// The print-server simulator as a child process on loopback, for the tests
// that run the real worker: started with --port 0, it says which port it got.
#pragma once
#include "link/worker_host.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

class SimulatorProcess {
public:
    // Starts PRINTSIM_PATH on 127.0.0.1 with the extra arguments; Port() is 0 when that failed.
    explicit SimulatorProcess(std::vector<std::string> extra, int maxSeconds = 120)
    {
        std::vector<std::string> args = {PRINTSIM_PATH, "--bind", "127.0.0.1", "--port", "0", "--quiet",
                                         "--max-seconds", std::to_string(maxSeconds)};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            // A test that dies leaves no simulator behind, not even a frozen one.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        if (FILE *f = ::fdopen(out[0], "r")) {
            char line[128] = "";
            unsigned a, b, c, d, port = 0;
            if (std::fgets(line, sizeof line, f) && std::sscanf(line, "listening %u.%u.%u.%u:%u", &a, &b, &c, &d, &port) == 5)
                m_port = static_cast<std::uint16_t>(port);
            std::fclose(f);
        } else {
            ::close(out[0]);
        }
    }
    ~SimulatorProcess()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGCONT);
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    std::uint16_t Port() const { return m_port; }
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

// Where the worker sends for a simulator on loopback: its "broadcast" reaches the
// simulator alone, and there is no default gateway to fall back on.
inline LinkEndpoints LoopbackEndpoints(std::uint16_t port, std::uint32_t listenLimitMs)
{
    LinkEndpoints ep;
    ep.broadcastAddress = htonl(INADDR_LOOPBACK);
    ep.port = port;
    ep.gatewayLookup = [](std::uint8_t *) { return false; };
    ep.listenLimitMs = listenLimitMs;
    return ep;
}
