// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/daemon.h"

#include "probe/http/acceptor.h"
#include "probe/http/listen.h"
#include "probe/http/screen.h"
#include "probe/http/tls.h"
#include "text/endpoint.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>

namespace kprobe {

std::string HttpRequest::Header(const char *name) const
{
    for (const auto &[key, value] : headers)
        if (SameHeaderName(key, name))
            return value;
    return std::string();
}

namespace {

// A request waiting, suspended, for its answer. Whoever resumes the
// connection first (the reply, or Stop) sets the answer.
struct Pending {
    std::mutex mutex;
    MHD_Connection *connection = nullptr;
    bool resumed = false;
    HttpAnswer answer;
};

// Where a connection's request keeps its state between the handler's calls:
// the first sees the head, the next (once the request is complete) answers.
struct RequestState {
    HttpRequest request;
    std::shared_ptr<Pending> pending;
};

void Resume(Pending &p, HttpAnswer answer)
{
    std::lock_guard<std::mutex> lock(p.mutex);
    if (p.resumed)
        return;
    p.answer = std::move(answer);
    p.resumed = true;
    MHD_resume_connection(p.connection);
}

HttpAnswer Plain(int status, std::string body, bool close)
{
    HttpAnswer a;
    a.status = status;
    a.body = std::move(body);
    a.close = close;
    return a;
}

MHD_Result Queue(MHD_Connection *connection, const HttpAnswer &a)
{
    MHD_Response *r =
        MHD_create_response_from_buffer(a.body.size(), const_cast<char *>(a.body.data()), MHD_RESPMEM_MUST_COPY);
    if (!r)
        return MHD_NO;
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, a.contentType.c_str());
    for (const auto &[name, value] : a.headers)
        MHD_add_response_header(r, name.c_str(), value.c_str());
    if (a.close)
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result result = MHD_queue_response(connection, static_cast<unsigned>(a.status), r);
    MHD_destroy_response(r);
    return result;
}

MHD_Result AddField(void *cls, MHD_ValueKind, const char *key, size_t keySize, const char *value, size_t valueSize)
{
    auto *fields = static_cast<HttpFields *>(cls);
    fields->emplace_back(std::string(key, keySize), value ? std::string(value, valueSize) : std::string());
    return MHD_YES;
}

// A listening socket of our own: a precise error when the address is taken
// or wrong, no SO_REUSEPORT (a second exporter must not share the port), and
// both IPv6 and IPv4 for "every address".
int Listen(const ListenAddress &address, int &port, std::string &error)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    const bool six = address.host.empty() || address.host.find(':') != std::string::npos;
    if (six) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<uint16_t>(address.port));
        a->sin6_addr = in6addr_any;
        if (!address.host.empty())
            inet_pton(AF_INET6, address.host.c_str(), &a->sin6_addr);
        length = sizeof *a;
    } else {
        auto *a = reinterpret_cast<sockaddr_in *>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<uint16_t>(address.port));
        a->sin_addr.s_addr = ktext::ParseIpv4(address.host).value_or(0);  // checked when parsed
        length = sizeof *a;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1, off = 0;
    if (fd >= 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (six)
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, address.host.empty() ? &off : &on, sizeof on);
    }
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&storage), length) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        error = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    length = sizeof storage;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&storage), &length);
    port = ntohs(six ? reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port
                     : reinterpret_cast<sockaddr_in *>(&storage)->sin_port);
    return fd;
}

}  // namespace

struct HttpDaemon::Impl {
    HttpServerConfig config;
    Handler handler;
    Refused refused;
    ConnectionDeadlines &deadlines;
    MHD_Daemon *daemon = nullptr;
    int listening = -1;
    std::unique_ptr<Acceptor> acceptor;
    int port = 0;
    std::string priorities;
    std::mutex pendingMutex;
    std::condition_variable pendingDone;
    std::set<std::shared_ptr<Pending>> pending;
    bool stopping = false;  // no request is suspended any more

    Impl(HttpServerConfig c, Handler h, Refused r, ConnectionDeadlines &d)
        : config(std::move(c)), handler(std::move(h)), refused(std::move(r)), deadlines(d)
    {
    }

    MHD_Result Refuse(MHD_Connection *connection, HttpAnswer answer)
    {
        refused(answer.status);
        return Queue(connection, answer);
    }

    // The first call for a request: its head is complete, no body was read.
    MHD_Result Begin(MHD_Connection *connection, const char *url, const char *method, void **state)
    {
        deadlines.HeadReceived(connection);
        HttpRequest request;
        request.method = method;
        request.path = url;
        MHD_get_connection_values_n(connection, MHD_HEADER_KIND, AddField, &request.headers);
        const Refusal refusal = ScreenRequest(RequestHead{request.method, request.headers});
        if (refusal.status != 0) {
            HttpAnswer a = Plain(refusal.status, refusal.reason, true);
            if (refusal.status == 405)
                a.headers.emplace_back("Allow", "GET, HEAD");
            return Refuse(connection, a);
        }
        if (config.tls) {
            const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
            std::string why;
            if (!ClientCertificateAccepted(info ? info->tls_session : nullptr, config.tls->clientAuth, why))
                return Refuse(connection, Plain(403, why, true));
        }
        MHD_get_connection_values_n(connection, MHD_GET_ARGUMENT_KIND, AddField, &request.query);
        *state = new RequestState{std::move(request), nullptr};
        return MHD_YES;
    }

    // The request is complete: answer it now, or later.
    MHD_Result Decide(MHD_Connection *connection, RequestState &s)
    {
        HttpDecision decision = handler(s.request);
        if (!decision.later)
            return Queue(connection, decision.now);
        return Defer(connection, std::move(decision.later), s);
    }

    // Suspends the connection until the answer is there.
    MHD_Result Defer(MHD_Connection *connection, std::function<void(HttpReply)> start, RequestState &s)
    {
        auto p = std::make_shared<Pending>();
        p->connection = connection;
        {
            std::lock_guard<std::mutex> lock(pendingMutex);
            if (stopping)
                return Queue(connection, Plain(503, "the exporter is stopping\n", true));
            pending.insert(p);
        }
        s.pending = p;
        MHD_suspend_connection(connection);
        start([p](HttpAnswer answer) { Resume(*p, std::move(answer)); });
        return MHD_YES;
    }

    MHD_Result OnRequest(MHD_Connection *connection, const char *url, const char *method, size_t *uploadSize,
                         void **state)
    {
        if (!*state)
            return Begin(connection, url, method, state);
        auto *s = static_cast<RequestState *>(*state);
        *uploadSize = 0;  // a body is never read
        if (!s->pending)
            return Decide(connection, *s);
        std::lock_guard<std::mutex> lock(s->pending->mutex);
        return s->pending->resumed ? Queue(connection, s->pending->answer) : MHD_YES;
    }

    void OnCompleted(MHD_Connection *connection, void **state, MHD_RequestTerminationCode code)
    {
        auto *s = static_cast<RequestState *>(*state);
        if (s && s->pending) {
            std::lock_guard<std::mutex> lock(pendingMutex);
            pending.erase(s->pending);
            pendingDone.notify_all();
        }
        delete s;
        *state = nullptr;
        if (code == MHD_REQUEST_TERMINATED_COMPLETED_OK)
            deadlines.AnswerSent(connection);
    }

    void OnConnection(MHD_Connection *connection, MHD_ConnectionNotificationCode code)
    {
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            deadlines.Opened(connection, info ? info->connect_fd : -1);
        } else {
            deadlines.Closed(connection);
        }
    }

    bool Start(std::string &error);
    bool StartAcceptor(std::string &error);
};

namespace {

MHD_Result AccessCallback(void *cls, MHD_Connection *connection, const char *url, const char *method, const char *,
                          const char *, size_t *uploadSize, void **state)
{
    return static_cast<HttpDaemon::Impl *>(cls)->OnRequest(connection, url, method, uploadSize, state);
}

void CompletedCallback(void *cls, MHD_Connection *connection, void **state, MHD_RequestTerminationCode code)
{
    static_cast<HttpDaemon::Impl *>(cls)->OnCompleted(connection, state, code);
}

void ConnectionCallback(void *cls, MHD_Connection *connection, void **, MHD_ConnectionNotificationCode code)
{
    static_cast<HttpDaemon::Impl *>(cls)->OnConnection(connection, code);
}

}  // namespace

bool HttpDaemon::Impl::Start(std::string &error)
{
    listening = Listen(config.address, port, error);
    if (listening < 0) {
        error = "cannot listen on " + ListenAddressText(config.address) + ": " + error;
        return false;
    }
    // poll, not epoll, under TLS: with epoll the library spins on a connection
    // that has sent part of a TLS record and fallen silent.
    unsigned flags = (config.tls ? MHD_USE_POLL_INTERNAL_THREAD : MHD_USE_EPOLL_INTERNAL_THREAD) |
                     MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ITC | MHD_USE_NO_LISTEN_SOCKET;
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(RequestHeadBudget), nullptr},
        // Above our own limit: connections cut to make room close a moment later.
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(config.maxConnections + 1024), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(config.idleSeconds), nullptr},
        {MHD_OPTION_STRICT_FOR_CLIENT, 1, nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&CompletedCallback), this},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&ConnectionCallback), this},
    };
    if (config.tls) {
        flags |= MHD_USE_TLS;
        priorities = TlsPriorities(*config.tls);
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(config.tls->keyPem.c_str())});
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char *>(config.tls->certPem.c_str())});
        options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char *>(priorities.c_str())});
        if (!config.tls->clientCaPem.empty())
            options.push_back({MHD_OPTION_HTTPS_MEM_TRUST, 0, const_cast<char *>(config.tls->clientCaPem.c_str())});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &AccessCallback, this, MHD_OPTION_ARRAY, options.data(),
                              MHD_OPTION_END);
    if (!daemon) {
        error = "cannot serve on " + ListenAddressText(config.address) + " (HTTP server did not start)";
        return false;
    }
    return StartAcceptor(error);
}

bool HttpDaemon::Impl::StartAcceptor(std::string &error)
{
    Acceptor::Admission admission;
    admission.maxOpen = config.maxConnections;
    admission.headLimit = config.headLimit;
    if (config.tls) {
        admission.maxFresh = TlsFreshConnections;
        admission.freshGrace = TlsFreshGrace;
    }
    MHD_Daemon *d = daemon;
    acceptor = std::make_unique<Acceptor>(listening, deadlines, admission,
                                          [d](int fd, const sockaddr *address, socklen_t length) {
                                              return MHD_add_connection(d, fd, address, length) == MHD_YES;
                                          });
    if (!acceptor->Start()) {
        error = "cannot start a thread";
        return false;
    }
    return true;
}

HttpDaemon::HttpDaemon(HttpServerConfig config, Handler handler, Refused refused, ConnectionDeadlines &deadlines)
    : m_impl(std::make_unique<Impl>(std::move(config), std::move(handler), std::move(refused), deadlines))
{
}

HttpDaemon::~HttpDaemon() { Stop(); }

bool HttpDaemon::Start(std::string &error) { return m_impl->Start(error); }

int HttpDaemon::Port() const { return m_impl->port; }

void HttpDaemon::Stop()
{
    Impl &d = *m_impl;
    // No new connections; then every waiting request gets its answer now.
    if (d.acceptor)
        d.acceptor->Stop();
    if (d.daemon) {
        std::set<std::shared_ptr<Pending>> waiting;
        {
            std::lock_guard<std::mutex> lock(d.pendingMutex);
            d.stopping = true;
            waiting = d.pending;
        }
        for (const auto &p : waiting)
            Resume(*p, Plain(503, "the exporter is stopping\n", true));
        waiting.clear();
        {
            // A moment for the loop to send those answers; a client that does
            // not read them does not hold the stop up.
            std::unique_lock<std::mutex> lock(d.pendingMutex);
            d.pendingDone.wait_for(lock, std::chrono::milliseconds(300), [&] { return d.pending.empty(); });
        }
        MHD_stop_daemon(d.daemon);
        d.daemon = nullptr;
    }
    if (d.listening >= 0)
        ::close(d.listening);
    d.listening = -1;
}

}  // namespace kprobe
