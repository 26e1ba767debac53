// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Scripted UDP peers on loopback, standing in for print servers: one socket per address given (port 0: a free one), all
// served by one thread that hands every datagram to the script. The thread ends by itself after a bounded number of
// datagrams or seconds, so a test cannot hang on it.
#pragma once
#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct Datagram {
    Bytes bytes;
    sockaddr_in from{};
    std::size_t socket = 0;  // which of the server's sockets it came in on
};

class FakeUdpServer {
public:
    using Script = std::function<void(FakeUdpServer &self, const Datagram &received)>;
    struct Endpoint {
        std::uint32_t address;  // host order
        std::uint16_t port;
    };

    // One socket on ip:port, or one per endpoint.
    explicit FakeUdpServer(const char *ip, std::uint16_t port = 0) : FakeUdpServer({{ntohl(::inet_addr(ip)), port}}) {}
    explicit FakeUdpServer(const std::vector<Endpoint> &endpoints)
    {
        for (const Endpoint &e : endpoints) {
            sockaddr_in self{AF_INET, htons(e.port), {htonl(e.address)}, {}};
            socklen_t length = sizeof self;
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&self), length) ||
                ::getsockname(fd, reinterpret_cast<sockaddr *>(&self), &length))
                self.sin_port = 0;
            m_self.push_back(self);
            m_polls.push_back(pollfd{fd, POLLIN, 0});
        }
    }
    ~FakeUdpServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (const pollfd &p : m_polls)
            ::close(p.fd);
    }
    FakeUdpServer(const FakeUdpServer &) = delete;
    FakeUdpServer &operator=(const FakeUdpServer &) = delete;

    // Whether every socket was bound.
    bool IsValid() const
    {
        return std::all_of(m_self.begin(), m_self.end(), [](const sockaddr_in &s) { return s.sin_port != 0; });
    }
    std::uint16_t Port(std::size_t socket = 0) const { return ntohs(m_self[socket].sin_port); }
    std::uint32_t Address(std::size_t socket = 0) const { return m_self[socket].sin_addr.s_addr; }  // network order

    // Serves until the server goes away, or for at most so many datagrams and seconds.
    void Start(Script script, int datagrams = 500, int seconds = 30)
    {
        m_thread = std::thread([this, script, datagrams, seconds] { Serve(script, datagrams, seconds); });
    }
    // Sleeps in short steps; false when the server is going away.
    bool Pause(int ms) const
    {
        for (int slept = 0; slept < ms && !m_stop; slept += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !m_stop;
    }
    void Send(const Bytes &b, const sockaddr_in &to, std::size_t socket = 0) { Send(b.data(), b.size(), to, socket); }
    void Send(const void *data, std::size_t size, const sockaddr_in &to, std::size_t socket = 0)
    {
        ::sendto(m_polls[socket].fd, data, size, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }
    // How many of the datagrams received so far, on any socket, were these bytes.
    std::size_t Count(const Bytes &bytes) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<std::size_t>(std::count(m_received.begin(), m_received.end(), bytes));
    }

private:
    void Serve(const Script &script, int datagrams, int seconds)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!m_stop && datagrams > 0 && std::chrono::steady_clock::now() < end) {
            ::poll(m_polls.data(), m_polls.size(), 20);
            for (std::size_t i = 0; i < m_polls.size() && datagrams > 0; ++i) {
                Datagram d{Bytes(4096), {}, i};
                socklen_t length = sizeof d.from;
                const ssize_t n = ::recvfrom(m_polls[i].fd, d.bytes.data(), d.bytes.size(), MSG_DONTWAIT,
                                             reinterpret_cast<sockaddr *>(&d.from), &length);
                if (n < 0)
                    continue;
                d.bytes.resize(static_cast<std::size_t>(n));
                --datagrams;
                std::unique_lock<std::mutex> lock(m_mutex);
                m_received.push_back(d.bytes);
                lock.unlock();
                script(*this, d);
            }
        }
    }

    std::vector<sockaddr_in> m_self;
    std::vector<pollfd> m_polls;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_received;
    std::thread m_thread;
};
