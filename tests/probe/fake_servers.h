// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Stand-in print servers on loopback (127.0.0.1 + index % 200, free ports),
// served by one fake UDP server for at most 20 s. Each answers a status request
// after its own fashion with slot 1 named "server INDEX", and the discovery
// probe twice.
#pragma once
#include "tests/probe/records.h"

#include "fake_udp_server.h"

#include <memory>

enum class Behaviour { Answer, Silent, Oversized, Short, OtherPort };

class FakeServers {
public:
    explicit FakeServers(const std::vector<Behaviour> &behaviours) : m_behaviours(behaviours)
    {
        std::vector<FakeUdpServer::Endpoint> endpoints;
        for (std::size_t i = 0; i < behaviours.size(); ++i)
            endpoints.push_back({0x7F000001u + static_cast<std::uint32_t>(i % 200), 0});
        endpoints.push_back({0x7F000001u, 0});  // the wrong place that OtherPort answers from
        m_server = std::make_unique<FakeUdpServer>(endpoints);
        for (std::size_t i = 0; i < behaviours.size(); ++i)
            targets.push_back(kprobe::Target{m_server->Address(i), m_server->Port(i)});
        m_server->Start([this](FakeUdpServer &self, const Datagram &d) { Answer(self, d); }, 1000000, 20);
    }

    std::vector<kprobe::Target> targets;
    std::atomic<int> requests{0};  // status requests received

private:
    void Answer(FakeUdpServer &self, const Datagram &d)
    {
        if (d.socket >= m_behaviours.size() || d.bytes.empty())
            return;
        const std::uint8_t byte = d.bytes[0];
        const Behaviour b = m_behaviours[d.socket];
        const std::uint8_t yes = DiscoveryAnswer;
        for (int k = 0; byte == DiscoveryProbe && k < 2; ++k)
            self.Send(&yes, 1, d.from, d.socket);
        requests += byte == StatusRequest;  // the silent ones' too
        if (byte != StatusRequest || b == Behaviour::Silent)
            return;
        std::uint8_t bytes[sizeof(StatusReply) + 1] = {};
        const StatusReply reply = Reply({Record("server " + std::to_string(d.socket))}).reply;
        std::memcpy(bytes, &reply, sizeof reply);
        // OtherPort: the right bytes from the wrong place.
        self.Send(bytes,
                  b == Behaviour::Oversized ? sizeof bytes
                  : b == Behaviour::Short   ? 130
                                            : sizeof reply,
                  d.from, b == Behaviour::OtherPort ? m_behaviours.size() : d.socket);
    }

    std::vector<Behaviour> m_behaviours;
    std::unique_ptr<FakeUdpServer> m_server;  // last: its thread uses the rest
};
