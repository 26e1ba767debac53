#include "tests/link/udp_responder.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

UdpResponder::UdpResponder(const char *ip, std::uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, ip, &address.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    m_fd = fd;
    m_port = ntohs(address.sin_port);
    m_address = address.sin_addr.s_addr;
}

UdpResponder::~UdpResponder()
{
    Stop();
    if (m_fd >= 0)
        ::close(m_fd);
}

void UdpResponder::Start(Script script)
{
    if (m_fd < 0 || m_thread.joinable())
        return;
    m_script = std::move(script);
    m_thread = std::thread([this] { Serve(); });
}

void UdpResponder::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool UdpResponder::Pause(std::uint32_t ms) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (m_stop)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !m_stop;
}

bool UdpResponder::Send(const std::vector<std::uint8_t> &bytes, const sockaddr_in &to)
{
    return ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) ==
           static_cast<ssize_t>(bytes.size());
}

std::vector<Datagram> UdpResponder::Received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

void UdpResponder::Serve()
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(LifetimeMs);
    int served = 0;
    while (!m_stop && served < MaxDatagrams && std::chrono::steady_clock::now() < end) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        std::vector<std::uint8_t> buffer(4096);
        Datagram d;
        socklen_t length = sizeof d.from;
        ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&d.from), &length);
        if (n < 0)
            continue;
        buffer.resize(static_cast<std::size_t>(n));
        d.bytes = std::move(buffer);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received.push_back(d);
        }
        ++served;
        if (m_script)
            m_script(*this, d);
    }
}

bool BindPair(const char *ipA, const char *ipB, std::unique_ptr<UdpResponder> &a, std::unique_ptr<UdpResponder> &b)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        a = std::make_unique<UdpResponder>(ipA);
        if (!a->IsValid())
            continue;
        b = std::make_unique<UdpResponder>(ipB, a->Port());
        if (b->IsValid())
            return true;
    }
    a.reset();
    b.reset();
    return false;
}
