// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// One stand-in print server on 127.0.0.1 (a free port) that answers every
// status request with the same datagram, or stays silent when it is empty.
// Served by the fake UDP server's thread for at most 20 s.
#pragma once
#include "probe/target.h"

#include "fake_udp_server.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<std::uint8_t> answer)
        : m_answer(std::move(answer)), m_server(std::make_unique<FakeUdpServer>("127.0.0.1"))
    {
        target = kprobe::Target{m_server->Address(), m_server->Port()};
        m_server->Start([this](FakeUdpServer &self, const Datagram &d) { Answer(self, d); }, 1000000, 20);
    }

    kprobe::Target target;
    std::atomic<int> requests{0};

private:
    void Answer(FakeUdpServer &self, const Datagram &d)
    {
        if (d.bytes.empty() || d.bytes[0] != StatusRequest)
            return;
        ++requests;
        if (!m_answer.empty())
            self.Send(m_answer, d.from);
    }

    std::vector<std::uint8_t> m_answer;
    std::unique_ptr<FakeUdpServer> m_server;  // last: its thread uses the rest
};

// A status reply's bytes, cut or padded to `length`.
inline std::vector<std::uint8_t> ReplyBytes(const StatusReply &reply, std::size_t length = sizeof(StatusReply))
{
    std::vector<std::uint8_t> bytes(length, 0);
    std::memcpy(bytes.data(), &reply, std::min(length, sizeof reply));
    return bytes;
}
