// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Stand-in print servers on loopback (127.0.0.1 + index % 200, free ports),
// served by one thread for at most 20 s. Each answers a status request after
// its own fashion with slot 1 named "server INDEX", and the discovery probe twice.
#pragma once
#include "tests/probe/records.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

enum class Behaviour { Answer, Silent, Oversized, Short, OtherPort };

class FakeServers {
public:
    explicit FakeServers(const std::vector<Behaviour> &behaviours) : m_behaviours(behaviours)
    {
        for (std::size_t i = 0; i < behaviours.size(); ++i) {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(0x7F000001u + static_cast<std::uint32_t>(i % 200));
            socklen_t length = sizeof a;
            m_fds.push_back(pollfd{::socket(AF_INET, SOCK_DGRAM, 0), POLLIN, 0});
            ::bind(m_fds.back().fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
            ::getsockname(m_fds.back().fd, reinterpret_cast<sockaddr *>(&a), &length);
            targets.push_back(kprobe::Target{a.sin_addr.s_addr, ntohs(a.sin_port)});
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~FakeServers()
    {
        m_stop = true;
        m_thread.join();
        for (const pollfd &p : m_fds)
            ::close(p.fd);
        ::close(m_other);
    }

    std::vector<kprobe::Target> targets;
    std::atomic<int> requests{0};  // status requests received

private:
    void Serve()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!m_stop && std::chrono::steady_clock::now() < end) {
            if (::poll(m_fds.data(), m_fds.size(), 20) <= 0)
                continue;
            for (std::size_t i = 0; i < m_fds.size(); ++i) {
                std::uint8_t byte = 0;
                sockaddr_in from{};
                socklen_t length = sizeof from;
                const int fd = m_fds[i].fd;
                if (!(m_fds[i].revents & POLLIN) ||
                    ::recvfrom(fd, &byte, 1, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&from), &length) != 1)
                    continue;
                const auto send = [&](int from_fd, const void *data, std::size_t size) {
                    ::sendto(from_fd, data, size, 0, reinterpret_cast<sockaddr *>(&from), sizeof from);
                };
                const Behaviour b = m_behaviours[i];
                const std::uint8_t yes = DiscoveryAnswer;
                for (int k = 0; byte == DiscoveryProbe && k < 2; ++k)
                    send(fd, &yes, 1);
                requests += byte == StatusRequest;  // the silent ones' too
                if (byte != StatusRequest || b == Behaviour::Silent)
                    continue;
                std::uint8_t bytes[sizeof(StatusReply) + 1] = {};
                const StatusReply reply = Reply({Record("server " + std::to_string(i))}).reply;
                std::memcpy(bytes, &reply, sizeof reply);
                // OtherPort: the right bytes from the wrong place.
                send(b == Behaviour::OtherPort ? m_other : fd, bytes,
                     b == Behaviour::Oversized ? sizeof bytes : b == Behaviour::Short ? 130 : sizeof reply);
            }
        }
    }

    std::vector<Behaviour> m_behaviours;
    std::vector<pollfd> m_fds;
    int m_other = ::socket(AF_INET, SOCK_DGRAM, 0);
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
