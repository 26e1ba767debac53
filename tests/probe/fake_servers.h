// Many stand-in print servers on loopback, served by one thread: each socket
// answers a status request after its own fashion. Bounded in time and count.
#pragma once
#include "link/protocol.h"
#include "tools/probe/target.h"

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

enum class Behaviour { Answer, Silent, Oversized, Short, OtherPort };

// A reply whose slot 0 is named after the server, so a test sees whose reply it got.
inline StatusReply NamedReply(const std::string &name, std::uint8_t flags = 0x88, std::int32_t jobs = 0)
{
    StatusReply r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(r.records[0].printerName, name.data(), std::min(name.size(), sizeof r.records[0].printerName));
    r.records[0].statusFlags = flags;
    r.records[0].jobCount = jobs;
    return r;
}

class FakeServers {
public:
    // One socket per behaviour given, each on 127.0.0.1 + k (k = index % 200 + 1)
    // with a free port.
    explicit FakeServers(const std::vector<Behaviour> &behaviours) : m_behaviours(behaviours)
    {
        m_other = ::socket(AF_INET, SOCK_DGRAM, 0);
        for (std::size_t i = 0; i < behaviours.size(); ++i) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(0x7F000001u + static_cast<std::uint32_t>(i % 200));
            socklen_t length = sizeof a;
            ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
            m_fds.push_back(fd);
            kprobe::Target t;
            t.address = a.sin_addr.s_addr;
            t.port = ntohs(a.sin_port);
            m_targets.push_back(t);
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~FakeServers()
    {
        m_stop = true;
        m_thread.join();
        for (int fd : m_fds)
            ::close(fd);
        ::close(m_other);
    }
    const std::vector<kprobe::Target> &Targets() const { return m_targets; }
    int Requests() const { return m_requests; }

private:
    void Serve()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::vector<pollfd> fds;
        for (int fd : m_fds)
            fds.push_back(pollfd{fd, POLLIN, 0});
        while (!m_stop && std::chrono::steady_clock::now() < end) {
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                std::uint8_t byte = 0;
                sockaddr_in from{};
                socklen_t length = sizeof from;
                if (::recvfrom(fds[i].fd, &byte, 1, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&from), &length) != 1 ||
                    byte != StatusRequest)
                    continue;
                ++m_requests;
                const StatusReply reply = NamedReply("server " + std::to_string(i));
                std::vector<std::uint8_t> bytes(reinterpret_cast<const std::uint8_t *>(&reply),
                                                reinterpret_cast<const std::uint8_t *>(&reply) + sizeof reply);
                int fd = fds[i].fd;
                switch (m_behaviours[i]) {
                case Behaviour::Silent:
                    continue;
                case Behaviour::Oversized:
                    bytes.push_back(0);
                    break;
                case Behaviour::Short:
                    bytes.resize(130);
                    break;
                case Behaviour::OtherPort:
                    fd = m_other;  // the right bytes from the wrong place
                    break;
                case Behaviour::Answer:
                    break;
                }
                ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&from), sizeof from);
            }
        }
    }

    std::vector<Behaviour> m_behaviours;
    std::vector<int> m_fds;
    int m_other = -1;
    std::vector<kprobe::Target> m_targets;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::thread m_thread;
};
