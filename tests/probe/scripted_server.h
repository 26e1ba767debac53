// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// One stand-in print server on 127.0.0.1 (a free port) that answers every
// status request with the same datagram, or stays silent when it is empty.
// Served by one thread for at most 20 s.
#pragma once
#include "probe/target.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::uint8_t> answer) : m_answer(std::move(answer))
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &length);
        target = kprobe::Target{a.sin_addr.s_addr, ntohs(a.sin_port)};
        m_thread = std::thread([this] { Serve(); });
    }
    ~ScriptedServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }

    kprobe::Target target;
    std::atomic<int> requests{0};

private:
    void Serve()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        pollfd p{m_fd, POLLIN, 0};
        while (!m_stop && std::chrono::steady_clock::now() < end) {
            std::uint8_t byte = 0;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            if (::poll(&p, 1, 20) <= 0 ||
                ::recvfrom(m_fd, &byte, 1, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&from), &length) != 1 ||
                byte != StatusRequest)
                continue;
            ++requests;
            if (!m_answer.empty())
                ::sendto(m_fd, m_answer.data(), m_answer.size(), 0, reinterpret_cast<sockaddr *>(&from), sizeof from);
        }
    }

    std::vector<std::uint8_t> m_answer;
    int m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A status reply's bytes, cut or padded to `length`.
inline std::vector<std::uint8_t> ReplyBytes(const StatusReply &reply, std::size_t length = sizeof(StatusReply))
{
    std::vector<std::uint8_t> bytes(length, 0);
    std::memcpy(bytes.data(), &reply, std::min(length, sizeof reply));
    return bytes;
}
