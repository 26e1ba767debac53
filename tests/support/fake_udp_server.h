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

    // One socket on ip:port.
    explicit FakeUdpServer(const char *ip, std::uint16_t port = 0)
    {
        in_addr a{};
        const bool parsed = ::inet_pton(AF_INET, ip, &a) == 1;
        Add(ntohl(a.s_addr), port, parsed);
    }
    // One socket per endpoint.
    explicit FakeUdpServer(const std::vector<Endpoint> &endpoints)
    {
        for (const Endpoint &e : endpoints)
            Add(e.address, e.port, true);
    }
    ~FakeUdpServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (const Socket &s : m_sockets)
            ::close(s.fd);
    }
    FakeUdpServer(const FakeUdpServer &) = delete;
    FakeUdpServer &operator=(const FakeUdpServer &) = delete;

    // Whether every socket was bound.
    bool IsValid() const
    {
        return std::all_of(m_sockets.begin(), m_sockets.end(), [](const Socket &s) { return s.self.sin_port != 0; });
    }
    std::size_t Size() const { return m_sockets.size(); }
    std::uint16_t Port(std::size_t socket = 0) const { return ntohs(m_sockets[socket].self.sin_port); }
    std::uint32_t Address(std::size_t socket = 0) const
    {
        return m_sockets[socket].self.sin_addr.s_addr;
    }  // network order

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
        ::sendto(m_sockets[socket].fd, data, size, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }
    // How many of the datagrams received so far, on any socket, were these bytes.
    std::size_t Count(const Bytes &bytes) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<std::size_t>(std::count(m_received.begin(), m_received.end(), bytes));
    }

private:
    struct Socket {
        int fd;
        sockaddr_in self;
    };

    void Add(std::uint32_t address, std::uint16_t port, bool parsed)
    {
        Socket s{::socket(AF_INET, SOCK_DGRAM, 0), {}};
        s.self.sin_family = AF_INET;
        s.self.sin_addr.s_addr = htonl(address);
        s.self.sin_port = htons(port);
        socklen_t length = sizeof s.self;
        auto *self = reinterpret_cast<sockaddr *>(&s.self);
        if (!parsed || s.fd < 0 || ::bind(s.fd, self, length) || ::getsockname(s.fd, self, &length))
            s.self.sin_port = 0;
        m_sockets.push_back(s);
        m_polls.push_back(pollfd{s.fd, POLLIN, 0});
    }

    void Serve(const Script &script, int datagrams, int seconds)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int served = 0;
        while (!m_stop && served < datagrams && std::chrono::steady_clock::now() < end) {
            if (::poll(m_polls.data(), m_polls.size(), 20) <= 0)
                continue;
            for (std::size_t i = 0; i < m_polls.size() && served < datagrams; ++i) {
                if (!(m_polls[i].revents & POLLIN))
                    continue;
                Datagram d{Bytes(4096), {}, i};
                socklen_t length = sizeof d.from;
                const ssize_t n = ::recvfrom(m_polls[i].fd, d.bytes.data(), d.bytes.size(), MSG_DONTWAIT,
                                             reinterpret_cast<sockaddr *>(&d.from), &length);
                if (n < 0)
                    continue;
                d.bytes.resize(static_cast<std::size_t>(n));
                ++served;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_received.push_back(d.bytes);
                }
                script(*this, d);
            }
        }
    }

    std::vector<Socket> m_sockets;
    std::vector<pollfd> m_polls;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_received;
    std::thread m_thread;
};
