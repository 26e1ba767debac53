// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Thin RAII wrappers over the POSIX calls the simulator's loops need.
#pragma once
#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace printsim {

// Owns one file descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd();
    Fd(Fd &&other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd &operator=(Fd &&other) noexcept;
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// A UDP socket bound to addr:port (port 0: any free port); addr is dotted IPv4.
Fd OpenUdp(const std::string &addr, std::uint16_t port, bool broadcast, std::string &error);

// SIGINT and SIGTERM, blocked and delivered as a readable descriptor so the
// loops can wait on them together with their socket.
Fd OpenSignalWatch(std::string &error);

enum class Wake { Timeout, Readable, Signal, Error };

// Waits for the socket (may be -1) or the signal descriptor; timeoutMs < 0 waits forever.
Wake WaitFor(int sock, int signals, int timeoutMs);

// For a serving socket bound to many addresses: asks for the address each
// datagram came to (IP_PKTINFO) and for a receive buffer that holds a burst of
// requests from many clients at once. False with a message when the first fails.
bool PrepareServing(int sock, std::string &error);

// Sends one datagram to `to` from the local address (INADDR_ANY: the system
// chooses); bytes sent or -1.
long SendFrom(int sock, const void *data, std::size_t length, const sockaddr_in &to, in_addr local);

sockaddr_in LocalAddress(int sock);
// "A.B.C.D:PORT", as the simulator's lines show a socket address.
std::string AddressText(const sockaddr_in &a);

// Milliseconds on a steady clock.
long long NowMs();

}  // namespace printsim
