// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "printsim/server.h"

#include "platform/socket.h"
#include "printsim/net.h"

#include <sys/socket.h>

#include <cstdio>
#include <string>

namespace printsim {

namespace {

class Server {
public:
    Server(const Options &o, Simulation &sim) : m_o(o), m_sim(sim) {}

    int Run()
    {
        std::string error;
        m_signals = OpenSignalWatch(error);
        if (!m_signals.IsValid())
            return Fail(error);
        m_sock = OpenUdp(m_o.bindAddress, m_o.port, false, error);
        if (!m_sock.IsValid())
            return Fail(error);
        // Bound to 0.0.0.0 in a namespace with many addresses, every answer
        // leaves from the address its request was sent to.
        if (!PrepareServing(m_sock.Get(), error))
            return Fail(error);

        std::printf("listening %s\n", AddressText(LocalAddress(m_sock.Get())).c_str());
        std::fflush(stdout);

        const long long deadline = m_o.maxSeconds > 0 ? NowMs() + 1000LL * m_o.maxSeconds : -1;
        for (;;) {
            int timeout = -1;
            if (deadline >= 0) {
                const long long left = deadline - NowMs();
                if (left <= 0)
                    return Stop("time limit reached");
                timeout = static_cast<int>(left);
            }
            switch (WaitFor(m_sock.Get(), m_signals.Get(), timeout)) {
            case Wake::Timeout: continue;
            case Wake::Signal: return Stop("signal received");
            case Wake::Error: return Fail("poll failed");
            case Wake::Readable:
                if (!Handle())
                    return Stop("signal received");
                break;
            }
        }
    }

private:
    int Fail(const std::string &message)
    {
        std::fprintf(stderr, "kestrum-printsim: %s\n", message.c_str());
        return 1;
    }

    int Stop(const char *why)
    {
        Log(std::string("stopping: ") + why + ", " + std::to_string(m_answered) + " status replies sent");
        return 0;
    }

    void Log(const std::string &line)
    {
        if (!m_o.quiet)
            std::fprintf(stderr, "kestrum-printsim: %s\n", line.c_str());
    }

    // False when a signal came during the answer's delay.
    bool Delay()
    {
        if (m_o.delayMs <= 0)
            return true;
        return WaitFor(-1, m_signals.Get(), m_o.delayMs) != Wake::Signal;
    }

    void Send(const std::vector<std::uint8_t> &data, const sockaddr_in &to)
    {
        SendFrom(m_sock.Get(), data.data(), data.size(), to, m_local);
    }

    bool Handle()
    {
        unsigned char buffer[2048];
        sockaddr_in from;
        // m_local answers from the address the request came to.
        const long n = platform::ReceiveWhole(m_sock.Get(), buffer, sizeof buffer, &from, false, &m_local);
        if (n < 0)
            return true;
        const std::string who = AddressText(from);

        if (n == 1 && buffer[0] == DiscoveryProbe) {
            if (!m_o.discovery) {
                Log(who + " probe, not answered (--no-discovery)");
                return true;
            }
            if (!Delay())
                return false;
            const auto answer = DiscoveryDatagram(m_o.discoveryFault);
            const int times = m_o.answerTwice ? 2 : 1;
            for (int i = 0; i < times; ++i)
                Send(answer, from);
            Log(who + " probe, answered " + std::to_string(times) + "x with " + std::to_string(answer.size()) +
                " byte(s)");
            return true;
        }
        if (n == 1 && buffer[0] == StatusRequest) {
            if (m_o.stopAfter >= 0 && m_answered >= m_o.stopAfter) {
                Log(who + " status request, not answered (stopped after " + std::to_string(m_o.stopAfter) + ")");
                return true;
            }
            if (!Delay())
                return false;
            const auto reply = StatusDatagram(m_sim.Reply(), m_o.replyFault, static_cast<std::uint32_t>(m_answered));
            Send(reply, from);
            m_sim.Advance();
            ++m_answered;
            Log(who + " status request #" + std::to_string(m_answered) + ", answered with " +
                std::to_string(reply.size()) + " bytes");
            return true;
        }
        Log(who + " ignored a " + std::to_string(n) + "-byte datagram");
        return true;
    }

    const Options &m_o;
    Simulation &m_sim;
    Fd m_signals;
    Fd m_sock;
    long m_answered = 0;
    in_addr m_local{};  // the address the datagram being handled came to
};

}  // namespace

int RunServer(const Options &options, Simulation &simulation)
{
    Server server(options, simulation);
    return server.Run();
}

}  // namespace printsim
