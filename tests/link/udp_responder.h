// A scripted UDP peer on a loopback address, standing in for a print server.
// Its thread hands every datagram to the script and stops by itself after a
// bounded number of datagrams or a bounded lifetime.
#pragma once
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct Datagram {
    std::vector<std::uint8_t> bytes;
    sockaddr_in from{};
};

class UdpResponder {
public:
    using Script = std::function<void(UdpResponder &self, const Datagram &received)>;

    // Binds ip:port (0: a free port). IsValid() tells whether that worked.
    explicit UdpResponder(const char *ip, std::uint16_t port = 0);
    ~UdpResponder();
    UdpResponder(const UdpResponder &) = delete;
    UdpResponder &operator=(const UdpResponder &) = delete;

    bool IsValid() const { return m_fd >= 0; }
    std::uint16_t Port() const { return m_port; }
    std::uint32_t Address() const { return m_address; }  // network order

    // Starts serving; without a script datagrams are only recorded.
    void Start(Script script = nullptr);
    void Stop();
    bool Stopping() const { return m_stop; }
    // Sleeps in short steps; false when stopped meanwhile.
    bool Pause(std::uint32_t ms) const;

    bool Send(const std::vector<std::uint8_t> &bytes, const sockaddr_in &to);
    std::vector<Datagram> Received() const;

    static constexpr int MaxDatagrams = 500;
    static constexpr int LifetimeMs = 30000;

private:
    void Serve();

    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::uint32_t m_address = 0;
    Script m_script;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Datagram> m_received;
    std::thread m_thread;
};

// Two responders on the same free port at two loopback addresses (a server and
// the gateway, which the fallback probe reaches on the same port).
bool BindPair(const char *ipA, const char *ipB, std::unique_ptr<UdpResponder> &a,
              std::unique_ptr<UdpResponder> &b);
