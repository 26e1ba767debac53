// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Exchanges for the tests (a status reply from 10.213.0.1 that took 2 ms), and stand-in print servers on loopback
// (127.0.0.1 + index % 200, free ports), served by one fake UDP server for at most 20 s. Each answers a status request
// with its own datagram (none: silent), from its own port or from another.
#pragma once
#include "probe/exchange.h"
#include "status_replies.h"

#include "fake_udp_server.h"

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

inline kprobe::Exchange Reply(const std::vector<TestPrinter> &printers, long bytes = 960)
{
    kprobe::Exchange e;
    e.target.address = htonl(0x0AD50001);
    e.outcome = kprobe::Outcome::Reply;
    e.replyBytes = bytes;
    e.seconds = 0.002;
    e.reply = BuildReply(printers);
    return e;
}

// Slots 1, 3, 4 and 8: busy with a job of known size; paper out on LPT with a Latin-1 name and user and a job of
// unknown size; off line with a name that fills all 64 bytes; a fault with nothing queued.
inline kprobe::Exchange Scenario()
{
    // clang-format off
    return Reply({{"Laser \"1020\"", 0x8C, 2, 37, "alice", {192, 168, 1, 20}, 1536}, {},
                  {"Drucker K\xFC" "che", 0xA0, 1, 0, "J\xF6rg", {}, 0, 1, 1},
                  {std::string(64, 'W'), 0x7F, 3, 50, "", {}, 5000000}, {}, {}, {}, {"Matrix", 0x84}});
    // clang-format on
}

struct ServerAnswer {
    std::vector<std::uint8_t> bytes;
    bool fromOtherPort = false;
};

class FakePrintServers {
public:
    explicit FakePrintServers(std::vector<ServerAnswer> answers) : m_answers(std::move(answers))
    {
        std::vector<FakeUdpServer::Endpoint> endpoints;
        for (std::size_t i = 0; i <= m_answers.size(); ++i)  // the last: where the other port is
            endpoints.push_back({0x7F000001u + static_cast<std::uint32_t>(i % m_answers.size() % 200), 0});
        m_server = std::make_unique<FakeUdpServer>(endpoints);
        for (std::size_t i = 0; i < m_answers.size(); ++i)
            targets.push_back(kprobe::Target{m_server->Address(i), m_server->Port(i), {}});
        m_server->Start([this](FakeUdpServer &self, const Datagram &d) { Answer(self, d); }, 1000000, 20);
    }

    std::vector<kprobe::Target> targets;
    std::atomic<int> requests{0};  // status requests received, the silent ones' too

private:
    void Answer(FakeUdpServer &self, const Datagram &d)
    {
        if (d.socket >= m_answers.size() || d.bytes.empty())
            return;
        const ServerAnswer &a = m_answers[d.socket];
        requests += d.bytes[0] == StatusRequest;
        if (d.bytes[0] == StatusRequest && !a.bytes.empty())
            self.Send(a.bytes.data(), a.bytes.size(), d.from, a.fromOtherPort ? m_answers.size() : d.socket);
    }

    std::vector<ServerAnswer> m_answers;
    std::unique_ptr<FakeUdpServer> m_server;  // last: its thread uses the rest
};

// A status reply's bytes, cut or padded to `length`.
inline std::vector<std::uint8_t> ReplyBytes(const StatusReply &reply, std::size_t length = sizeof(StatusReply))
{
    std::vector<std::uint8_t> bytes(length, 0);
    std::memcpy(bytes.data(), &reply, std::min(length, sizeof reply));
    return bytes;
}
