// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/probe_scale_tls.h"
#include "platform/clock.h"

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

using platform::Clock;

enum class Step { Handshake, Send, Receive, Done, Failed };

struct Connection {
    int fd = -1;
    gnutls_session_t session = nullptr;
    bool open = false;
    Step step = Step::Handshake;
    std::string request;
    std::size_t sent = 0;
    std::string response;
};

// Complete when the head has come and as many body bytes as it announced.
bool Complete(const std::string &r)
{
    const std::size_t end = r.find("\r\n\r\n");
    const std::size_t length = r.find("Content-Length: ");
    if (end == std::string::npos || length == std::string::npos || length > end)
        return false;
    return r.size() >= end + 4 + std::strtoul(r.c_str() + length + 16, nullptr, 10);
}

bool Retry(int rc) { return rc == GNUTLS_E_AGAIN || rc == GNUTLS_E_INTERRUPTED; }

// One step of a connection's exchange; what it waits for next (0: nothing).
short Advance(Connection &c)
{
    if (c.step == Step::Handshake) {
        const int rc = gnutls_handshake(c.session);
        if (Retry(rc))
            return gnutls_record_get_direction(c.session) ? POLLOUT : POLLIN;
        c.step = rc == 0 ? Step::Send : Step::Failed;
    }
    while (c.step == Step::Send) {
        const ssize_t n = gnutls_record_send(c.session, c.request.data() + c.sent, c.request.size() - c.sent);
        if (Retry(static_cast<int>(n)))
            return POLLOUT;
        if (n <= 0)
            c.step = Step::Failed;
        else if ((c.sent += static_cast<std::size_t>(n)) == c.request.size())
            c.step = Step::Receive;
    }
    char buffer[16384];
    while (c.step == Step::Receive) {
        const ssize_t n = gnutls_record_recv(c.session, buffer, sizeof buffer);
        if (Retry(static_cast<int>(n)))
            return POLLIN;
        if (n <= 0) {
            c.step = Step::Failed;
            break;
        }
        c.response.append(buffer, static_cast<std::size_t>(n));
        if (Complete(c.response))
            c.step = Step::Done;
    }
    return 0;
}

}  // namespace

struct TlsBatches::Impl {
    int port;
    gnutls_certificate_credentials_t credentials = nullptr;
    std::string authorization;
    std::vector<Connection> connections;

    void Open(Connection &c)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(c.fd, reinterpret_cast<sockaddr *>(&to), sizeof to);
        gnutls_init(&c.session, GNUTLS_CLIENT | GNUTLS_NONBLOCK);
        gnutls_set_default_priority(c.session);
        gnutls_credentials_set(c.session, GNUTLS_CRD_CERTIFICATE, credentials);
        gnutls_session_set_verify_cert(c.session, "127.0.0.1", 0);
        gnutls_transport_set_int(c.session, c.fd);
        c.open = true;
        c.step = Step::Handshake;
    }
};

TlsBatches::TlsBatches(int port, const std::string &caFile, const std::string &user, std::size_t connections)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->port = port;
    gnutls_certificate_allocate_credentials(&m_impl->credentials);
    gnutls_certificate_set_x509_trust_file(m_impl->credentials, caFile.c_str(), GNUTLS_X509_FMT_PEM);
    const gnutls_datum_t raw{reinterpret_cast<unsigned char *>(const_cast<char *>(user.data())),
                             static_cast<unsigned>(user.size())};
    gnutls_datum_t encoded{nullptr, 0};
    gnutls_base64_encode2(&raw, &encoded);
    m_impl->authorization = "Basic " + std::string(reinterpret_cast<char *>(encoded.data), encoded.size);
    gnutls_free(encoded.data);
    m_impl->connections.resize(connections);
}

TlsBatches::~TlsBatches()
{
    for (Connection &c : m_impl->connections) {
        if (c.session)
            gnutls_deinit(c.session);
        if (c.fd >= 0)
            ::close(c.fd);
    }
    gnutls_certificate_free_credentials(m_impl->credentials);
}

int TlsBatches::Run(const std::vector<TlsTarget> &targets, double &wall)
{
    std::vector<Connection> &c = m_impl->connections;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < c.size() && i < targets.size(); ++i) {
        if (!c[i].open)
            m_impl->Open(c[i]);
        else
            c[i].step = Step::Send;
        c[i].request = "GET /probe?target=" + targets[i].address +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                       "X-Prometheus-Scrape-Timeout-Seconds: 10\r\nAuthorization: " +
                       m_impl->authorization + "\r\n\r\n";
        c[i].sent = 0;
        c[i].response.clear();
    }
    std::vector<pollfd> fds(c.size());
    std::vector<short> wants(c.size(), POLLOUT);
    for (bool busy = true; busy && Clock::now() < start + std::chrono::seconds(20);) {
        busy = false;
        for (std::size_t i = 0; i < c.size(); ++i) {
            const bool active = c[i].step != Step::Done && c[i].step != Step::Failed;
            busy = busy || active;
            fds[i] = pollfd{active ? c[i].fd : -1, wants[i], 0};
        }
        if (!busy || ::poll(fds.data(), fds.size(), 100) <= 0)
            continue;
        for (std::size_t i = 0; i < c.size(); ++i)
            if (fds[i].revents)
                wants[i] = Advance(c[i]);
    }
    wall = std::chrono::duration<double>(Clock::now() - start).count();
    int good = 0;
    for (std::size_t i = 0; i < c.size() && i < targets.size(); ++i) {
        const std::string &r = c[i].response;
        const bool up = r.find("\nkestrum_up 1\n") != std::string::npos;
        const bool down = r.find("\nkestrum_up 0\n") != std::string::npos;
        if (c[i].step == Step::Done && r.rfind("HTTP/1.1 200", 0) == 0 && (targets[i].silent ? down : up))
            ++good;
    }
    return good;
}
