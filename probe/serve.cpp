// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/serve.h"

#include "probe/exchange.h"
#include "probe/metrics.h"

#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <ostream>
#include <thread>

namespace kprobe {

namespace {

// Threads made as connections need them, up to a limit, and kept for the next
// ones: a scrape of a thousand targets needs a thousand at once (each waits up
// to a second for its server), an idle exporter none.
class ElasticPool : public httplib::TaskQueue {
public:
    explicit ElasticPool(std::size_t limit) : m_limit(std::max<std::size_t>(1, limit)) {}
    ~ElasticPool() override { shutdown(); }

    void enqueue(std::function<void()> fn) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(fn));
        if (m_idle >= m_jobs.size() || m_threads.size() >= m_limit) {
            m_ready.notify_one();
            return;
        }
        m_threads.emplace_back([this] { Work(); });
    }

    void shutdown() override
    {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_stopping)
                return;
            m_stopping = true;
        }
        m_ready.notify_all();
        for (std::thread &t : m_threads)
            t.join();
    }

private:
    void Work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            ++m_idle;
            m_ready.wait(lock, [this] { return !m_jobs.empty() || m_stopping; });
            --m_idle;
            if (m_jobs.empty())
                return;  // stopping, nothing left
            std::function<void()> fn = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            fn();
            lock.lock();
        }
    }

    const std::size_t m_limit;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    std::size_t m_idle = 0;
    bool m_stopping = false;
};

// A connection's stream: buffered reads and writes that try the socket first
// and wait (poll) only when it is not ready, each wait bounded.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(int fd, int readTimeoutMs, int writeTimeoutMs)
        : m_fd(fd), m_readMs(readTimeoutMs), m_writeMs(writeTimeoutMs)
    {
    }

    bool is_readable() const override { return m_begin < m_end || Wait(POLLIN, m_readMs); }
    bool is_writable() const override { return Wait(POLLOUT, m_writeMs); }

    ssize_t read(char *ptr, size_t size) override
    {
        if (m_begin == m_end) {
            for (;;) {
                const int got = Fill();
                if (got > 0)
                    break;
                if (got == 0 || !Wait(POLLIN, m_readMs))
                    return got == 0 ? 0 : -1;
            }
        }
        const std::size_t n = std::min(size, m_end - m_begin);
        std::memcpy(ptr, m_buffer + m_begin, n);
        m_begin += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char *ptr, size_t size) override
    {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::send(m_fd, ptr + done, size - done, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN && Wait(POLLOUT, m_writeMs))
                continue;
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        }
        return static_cast<ssize_t>(done);
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override { Name(::getpeername, ip, port); }
    void get_local_ip_and_port(std::string &ip, int &port) const override { Name(::getsockname, ip, port); }
    socket_t socket() const override { return m_fd; }

    // Waits for the next request of a kept-alive connection, in slices so that
    // a stopping server is noticed; false when none came or the peer left.
    bool WaitForRequest(int timeoutMs, const std::atomic<socket_t> &server)
    {
        // Mostly the request is there already: no wait, no poll.
        if (m_begin < m_end || Fill() > 0)
            return true;
        for (int waited = 0; waited < timeoutMs && server != INVALID_SOCKET; waited += 250) {
            if (Wait(POLLIN, std::min(250, timeoutMs - waited)))
                return true;
        }
        return false;
    }

private:
    // Takes what the socket holds without waiting: 1 when the buffer has bytes,
    // 0 when the peer has closed, -1 when nothing is there (or on an error).
    int Fill()
    {
        m_begin = m_end = 0;
        for (;;) {
            const ssize_t n = ::recv(m_fd, m_buffer, sizeof m_buffer, MSG_DONTWAIT);
            if (n > 0) {
                m_end = static_cast<std::size_t>(n);
                return 1;
            }
            if (n == 0)
                return 0;
            if (errno != EINTR)
                return -1;
        }
    }

    bool Wait(short events, int timeoutMs) const
    {
        pollfd p{m_fd, events, 0};
        for (;;) {
            const int r = ::poll(&p, 1, timeoutMs);
            if (r < 0 && errno == EINTR)
                continue;
            return r > 0;
        }
    }

    template <typename F>
    void Name(F get, std::string &ip, int &port) const
    {
        sockaddr_in a{};
        socklen_t length = sizeof a;
        ip.clear();
        port = 0;
        if (get(m_fd, reinterpret_cast<sockaddr *>(&a), &length) != 0 || a.sin_family != AF_INET)
            return;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
        ip = text;
        port = ntohs(a.sin_port);
    }

    int m_fd;
    int m_readMs;
    int m_writeMs;
    char m_buffer[4096];
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

// What httplib's Server leaves to derived classes, used two ways: the
// listening socket's backlog (httplib asks for 5, too short for a scrape of
// many targets at once), and the connection loop, which here waits for a
// kept-alive connection's next request with one poll instead of httplib's
// loop of 10 ms polls and 1 ms sleeps, and reads and writes without a poll
// before every call.
class Server : public httplib::Server {
public:
    int ListeningSocket() const { return svr_sock_; }

private:
    bool process_and_close_socket(socket_t sock) override
    {
        ConnectionStream stream(sock, static_cast<int>(read_timeout_sec_ * 1000 + read_timeout_usec_ / 1000),
                                static_cast<int>(write_timeout_sec_ * 1000 + write_timeout_usec_ / 1000));
        bool ok = false;
        for (std::size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
            const int waitMs = left == keep_alive_max_count_ ? static_cast<int>(read_timeout_sec_ * 1000)
                                                             : static_cast<int>(keep_alive_timeout_sec_ * 1000);
            if (!stream.WaitForRequest(waitMs, svr_sock_))
                break;
            bool closed = false;
            ok = process_request(stream, left == 1, closed, nullptr);
            if (!ok || closed)
                break;
        }
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return ok;
    }
};

}  // namespace

bool ParseListen(const std::string &text, ServeOptions &options, std::string &error)
{
    const std::size_t colon = text.rfind(':');
    in_addr a{};
    if (colon == std::string::npos || inet_pton(AF_INET, text.substr(0, colon).c_str(), &a) != 1) {
        error = "--listen: '" + text + "' is not ADDR:PORT with an IPv4 address";
        return false;
    }
    const std::string port = text.substr(colon + 1);
    char *end = nullptr;
    errno = 0;
    const long p = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0' || errno != 0 || p < 0 || p > 65535) {
        error = "--listen: '" + port + "' is not a port number";
        return false;
    }
    options.host = text.substr(0, colon);
    options.port = static_cast<int>(p);
    return true;
}

struct Exporter::Impl {
    ServeOptions options;
    Server server;
    ExporterMetrics metrics;
    std::thread thread;
    int port = 0;

    Routes routes{options, metrics};

    // Hands one request to the routes and their answer back.
    void Serve(const httplib::Request &req, httplib::Response &res)
    {
        RouteRequest r;
        r.path = req.path;
        for (const auto &[name, value] : req.params)
            r.query.emplace_back(name, value);
        r.scrapeTimeout = req.get_header_value("X-Prometheus-Scrape-Timeout-Seconds");
        const RouteAnswer a = routes.Answer(r);
        res.status = a.status;
        res.set_content(a.body, a.contentType);
    }
};

Exporter::Exporter(const ServeOptions &options) : m_impl(std::make_unique<Impl>())
{
    m_impl->options = options;
}

Exporter::~Exporter() { Stop(); }

bool Exporter::Start(std::string &error)
{
    Impl &d = *m_impl;
    const std::size_t limit = static_cast<std::size_t>(std::max(1, d.options.maxConnections));
    d.server.new_task_queue = [limit] { return new ElasticPool(limit); };
    // Requests are small and answers quick; a stalled client is let go soon.
    d.server.set_read_timeout(5, 0);
    d.server.set_write_timeout(5, 0);
    d.server.set_keep_alive_timeout(5);
    d.server.set_payload_max_length(64 * 1024);
    // httplib's default also sets SO_REUSEPORT, with which a second exporter
    // would share the port silently; a taken port must be an error.
    d.server.set_socket_options([](int sock) {
        const int on = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
    d.server.Get(".*", [&d](const httplib::Request &req, httplib::Response &res) { d.Serve(req, res); });
    // httplib calls this for every answer of 400 and above, also for those
    // that the routes made and counted themselves.
    d.server.set_error_handler([&d](const httplib::Request &, httplib::Response &res) {
        if (res.body.empty())
            d.routes.CountOther(res.status);
    });

    if (d.options.port == 0) {
        d.port = d.server.bind_to_any_port(d.options.host);
        if (d.port <= 0) {
            error = "cannot listen on " + d.options.host + ":0";
            return false;
        }
    } else {
        if (!d.server.bind_to_port(d.options.host, d.options.port)) {
            error = "cannot listen on " + d.options.host + ":" + std::to_string(d.options.port) + ": " +
                    std::strerror(errno);
            return false;
        }
        d.port = d.options.port;
    }
    ::listen(d.server.ListeningSocket(), SOMAXCONN);
    d.thread = std::thread([&d] { d.server.listen_after_bind(); });
    return true;
}

int Exporter::Port() const { return m_impl->port; }

void Exporter::Stop()
{
    if (!m_impl || !m_impl->thread.joinable())
        return;
    // stop() before the loop has started is lost; wait until it runs.
    for (int i = 0; i < 500 && !m_impl->server.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    m_impl->server.stop();
    m_impl->thread.join();
}

int RunServe(const ServeOptions &options, std::ostream &out, std::ostream &err)
{
    // The signals are taken by a waiting thread, never by a handler.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // Every connection holds a socket and every probe another; many at once
    // need more descriptors than the usual soft limit of 1024.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    Exporter exporter(options);
    std::string error;
    if (!exporter.Start(error)) {
        err << "kestrum-probe: " << error << "\n";
        return 1;
    }
    out << "listening " << options.host << ":" << exporter.Port() << std::endl;
    int received = 0;
    sigwait(&signals, &received);
    exporter.Stop();
    return 0;
}

}  // namespace kprobe
