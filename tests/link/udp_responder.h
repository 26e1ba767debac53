// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted UDP peer on a loopback address, standing in for a print server.
// Its thread hands every datagram to the script and ends by itself after at
// most 500 datagrams or 30 seconds.
#pragma once
#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
struct Datagram {
    Bytes bytes;
    sockaddr_in from{};
};

class UdpResponder {
public:
    using Script = std::function<void(UdpResponder &self, const Datagram &received)>;

    // Binds ip:port (0: a free port); IsValid() tells whether that worked.
    explicit UdpResponder(const char *ip, std::uint16_t port = 0) : m_fd(::socket(AF_INET, SOCK_DGRAM, 0))
    {
        m_self = {AF_INET, htons(port), {}, {}};
        socklen_t length = sizeof m_self;
        auto *self = reinterpret_cast<sockaddr *>(&m_self);
        if (::inet_pton(AF_INET, ip, &m_self.sin_addr) != 1 || ::bind(m_fd, self, length) || ::getsockname(m_fd, self, &length))
            m_self.sin_port = 0;
    }
    ~UdpResponder()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_fd);
    }

    bool IsValid() const { return m_fd >= 0 && m_self.sin_port != 0; }
    std::uint16_t Port() const { return ntohs(m_self.sin_port); }
    std::uint32_t Address() const { return m_self.sin_addr.s_addr; }  // network order

    void Start(Script script)
    {
        m_thread = std::thread([this, script] {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            for (int served = 0; !m_stop && served < 500 && std::chrono::steady_clock::now() < end;) {
                pollfd p{m_fd, POLLIN, 0};
                Datagram d{Bytes(4096)};
                socklen_t length = sizeof d.from;
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t n = ::recvfrom(m_fd, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<sockaddr *>(&d.from), &length);
                d.bytes.resize(static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
                ++served;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_received.push_back(d.bytes);
                }
                script(*this, d);
            }
        });
    }
    // Sleeps in short steps; false when the responder is going away.
    bool Pause(int ms) const
    {
        for (int slept = 0; slept < ms && !m_stop; slept += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !m_stop;
    }
    void Send(const Bytes &b, const sockaddr_in &to) { ::sendto(m_fd, b.data(), b.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to); }
    // How many of the datagrams received so far were these bytes.
    std::size_t Count(const Bytes &bytes) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<std::size_t>(std::count(m_received.begin(), m_received.end(), bytes));
    }

private:
    int m_fd;
    sockaddr_in m_self{};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_received;
    std::thread m_thread;
};
