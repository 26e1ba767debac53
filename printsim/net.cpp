// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "printsim/net.h"

#include "platform/clock.h"
#include "platform/socket.h"
#include "text/endpoint.h"

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace printsim {

Fd::~Fd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Fd &Fd::operator=(Fd &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

Fd OpenUdp(const std::string &addr, std::uint16_t port, bool broadcast, std::string &error)
{
    Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.IsValid()) {
        error = std::string("socket: ") + std::strerror(errno);
        return Fd();
    }
    const int on = 1;
    if (broadcast && ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        error = std::string("SO_BROADCAST: ") + std::strerror(errno);
        return Fd();
    }
    const std::optional<std::uint32_t> address = ktext::ParseIpv4(addr);
    if (!address) {
        error = "'" + addr + "' is not an IPv4 address";
        return Fd();
    }
    const sockaddr_in a = platform::MakeAddress(*address, port);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        error = "bind " + addr + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return Fd();
    }
    return fd;
}

Fd OpenSignalWatch(std::string &error)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
        error = std::string("sigprocmask: ") + std::strerror(errno);
        return Fd();
    }
    Fd fd(::signalfd(-1, &set, SFD_CLOEXEC));
    if (!fd.IsValid())
        error = std::string("signalfd: ") + std::strerror(errno);
    return fd;
}

Wake WaitFor(int sock, int signals, int timeoutMs)
{
    pollfd fds[2];
    nfds_t n = 0;
    if (signals >= 0)
        fds[n++] = pollfd{signals, POLLIN, 0};
    if (sock >= 0)
        fds[n++] = pollfd{sock, POLLIN, 0};
    const long long start = NowMs();
    for (;;) {
        int left = timeoutMs;
        if (timeoutMs >= 0) {
            const long long spent = NowMs() - start;
            left = spent >= timeoutMs ? 0 : static_cast<int>(timeoutMs - spent);
        }
        const int r = ::poll(fds, n, left);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return Wake::Error;
        if (r == 0)
            return Wake::Timeout;
        for (nfds_t i = 0; i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            return fds[i].fd == signals ? Wake::Signal : Wake::Readable;
        }
    }
}

bool PrepareServing(int sock, std::string &error)
{
    const int on = 1;
    if (::setsockopt(sock, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        error = std::string("IP_PKTINFO: ") + std::strerror(errno);
        return false;
    }
    // A thousand requests may arrive at once; the forced size needs privileges,
    // the plain one is capped by the system, and either is only a help.
    const int bytes = 4 << 20;
    if (::setsockopt(sock, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    return true;
}

long SendFrom(int sock, const void *data, std::size_t length, const sockaddr_in &to, in_addr local)
{
    iovec part{const_cast<void *>(data), length};
    msghdr header{};
    header.msg_name = const_cast<sockaddr_in *>(&to);
    header.msg_namelen = sizeof to;
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (local.s_addr != INADDR_ANY) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr *c = CMSG_FIRSTHDR(&header);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst = local;
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    for (;;) {
        const ssize_t n = ::sendmsg(sock, &header, 0);
        if (n < 0 && errno == EINTR)
            continue;
        return static_cast<long>(n);
    }
}

sockaddr_in LocalAddress(int sock)
{
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(sock, reinterpret_cast<sockaddr *>(&a), &len);
    return a;
}

std::string AddressText(const sockaddr_in &a) { return ktext::EndpointText(a.sin_addr.s_addr, ntohs(a.sin_port)); }

long long NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(platform::Clock::now().time_since_epoch()).count();
}

}  // namespace printsim
