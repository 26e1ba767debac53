// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/socket.h"

#include "platform/clock.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace platform {

int SocketStartup() { return 0; }

UdpSocket::UdpSocket() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}

UdpSocket::~UdpSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool UdpSocket::SetBroadcast(bool on)
{
    // Linux wants an int here; a single byte is refused with EINVAL.
    int value = on ? 1 : 0;
    return m_fd >= 0 && ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) == 0;
}

int UdpSocket::SendTo(const void *data, std::size_t length, const sockaddr_in &to)
{
    if (m_fd < 0)
        return -1;
    for (;;) {
        ssize_t sent = ::sendto(m_fd, data, length, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
        if (sent >= 0)
            return static_cast<int>(sent);
        if (errno != EINTR)
            return -1;
    }
}

int UdpSocket::WaitReadable(long seconds, long microseconds)
{
    if (m_fd < 0 || m_fd >= FD_SETSIZE || seconds < 0 || microseconds < 0)
        return -1;
    const auto deadline = Clock::now() + std::chrono::seconds(seconds) + std::chrono::microseconds(microseconds);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() < 0)
            left = std::chrono::microseconds(0);
        // select may change both the set and the time-out, so both are made anew.
        timeval timeout{};
        timeout.tv_sec = static_cast<time_t>(left.count() / 1000000);
        timeout.tv_usec = static_cast<suseconds_t>(left.count() % 1000000);
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_fd, &readable);
        int ready = ::select(m_fd + 1, &readable, nullptr, nullptr, &timeout);
        if (ready > 0)
            return 1;
        if (ready == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

int UdpSocket::ReceiveFrom(void *buffer, std::size_t capacity, sockaddr_in *from)
{
    const long length = m_fd < 0 ? -1 : ReceiveWhole(m_fd, buffer, capacity, from, false);
    // A datagram that did not fit is a failure, never taken in cut short.
    if (length < 0 || static_cast<std::size_t>(length) > capacity)
        return -1;
    return static_cast<int>(length);
}

// The address a datagram was sent to, from its IP_PKTINFO: for a broadcast the
// receiving interface's own address.
namespace {

in_addr LocalAddress(msghdr &header)
{
    in_addr local{INADDR_ANY};
    for (cmsghdr *c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            local = info.ipi_spec_dst;
        }
    }
    return local;
}

}  // namespace

long ReceiveWhole(int fd, void *buffer, std::size_t capacity, sockaddr_in *from, bool dontWait, in_addr *local)
{
    sockaddr_in sender{};
    iovec part{buffer, capacity};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))];
    for (;;) {
        msghdr header{};
        header.msg_name = &sender;
        header.msg_namelen = sizeof sender;
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        if (local) {
            header.msg_control = control;
            header.msg_controllen = sizeof control;
        }
        // MSG_TRUNC makes the call report the datagram's real length, so one that
        // did not fit can be told from one that did.
        ssize_t length = ::recvmsg(fd, &header, MSG_TRUNC | (dontWait ? MSG_DONTWAIT : 0));
        if (length < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (from) {
            if (header.msg_namelen >= sizeof sender && sender.sin_family == AF_INET)
                *from = sender;
            else
                *from = sockaddr_in{};
        }
        if (local)
            *local = LocalAddress(header);
        if ((header.msg_flags & MSG_TRUNC) && static_cast<std::size_t>(length) <= capacity)
            return static_cast<long>(capacity) + 1;
        return static_cast<long>(length);
    }
}

bool UdpSocket::SetReceiveBuffer(int bytes)
{
    return m_fd >= 0 && ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
}

sockaddr_in MakeAddress(std::uint32_t networkOrder, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = networkOrder;
    return address;
}

}  // namespace platform
