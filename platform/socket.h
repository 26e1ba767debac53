// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// UDP sockets over IPv4 on POSIX sockets, with the behaviour the link relies on:
// never bound, a datagram longer than the buffer is a failed receive (-1),
// select-style waits with a fresh time-out on every call.
#pragma once
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

namespace platform {

// Starts the socket layer; 0 on success. Nothing to do on POSIX, kept so the
// callers read as the protocol's steps.
int SocketStartup();

class UdpSocket {
public:
    UdpSocket();   // creates an AF_INET/SOCK_DGRAM socket
    ~UdpSocket();  // closes it
    UdpSocket(const UdpSocket &) = delete;
    UdpSocket &operator=(const UdpSocket &) = delete;

    bool IsValid() const { return m_fd >= 0; }
    // SO_BROADCAST on or off; false on failure.
    bool SetBroadcast(bool on);
    // Sends one datagram; bytes sent, or -1 on failure.
    int SendTo(const void *data, std::size_t length, const sockaddr_in &to);
    // Waits until readable: 1 when ready, 0 on time-out, -1 on error.
    // Interrupted waits are resumed with the time left.
    int WaitReadable(long seconds, long microseconds);
    // Receives one whole datagram: its length (0 is a valid empty datagram), or
    // -1 on failure, including a datagram longer than capacity.
    int ReceiveFrom(void *buffer, std::size_t capacity, sockaddr_in *from);
    // Asks for a receive buffer of this many bytes (the system may cap it);
    // false on failure.
    bool SetReceiveBuffer(int bytes);
    // The descriptor, for waiting on many sockets at once; -1 when not valid.
    int Descriptor() const { return m_fd; }

private:
    int m_fd;
};

// Receives one datagram on the descriptor and tells its whole length, also when
// it was longer than capacity (then only capacity bytes are stored); -1 on
// failure, and with dontWait also when nothing is waiting. *from (may be null)
// is the sender; *local (may be null; the socket needs IP_PKTINFO) the address
// the datagram was sent to, or for a broadcast the receiving interface's own.
long ReceiveWhole(int fd, void *buffer, std::size_t capacity, sockaddr_in *from, bool dontWait,
                  in_addr *local = nullptr);

// An AF_INET socket address for a network-order address and a host-order port.
sockaddr_in MakeAddress(std::uint32_t networkOrder, std::uint16_t port);

}  // namespace platform
