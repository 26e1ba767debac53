// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's HTTP server on one address, on libmicrohttpd: one thread
// runs every connection (epoll; poll under TLS), with a budget of memory for each, a deadline
// for each request's head, a limit on connections, and TLS when configured.
// Slow answers are computed on the worker pool while their connection waits
// suspended, so that the loop never blocks. This is the only file that uses
// the library.
#pragma once
#include "probe/http/deadline.h"
#include "probe/http/pool.h"
#include "probe/http/listen.h"
#include "probe/http/web_config.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kprobe {

using HttpFields = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method;
    std::string path;  // decoded, without the query
    HttpFields query;  // decoded, in order
    HttpFields headers;
    std::string Header(const char *name) const;  // the first by that name, or empty
};

struct HttpAnswer {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain; charset=utf-8";
    HttpFields headers;
    bool close = false;  // close the connection after it
};

// What the handler makes of a request: an answer at once, or a job for the
// worker pool that makes it (when `later` is set).
struct HttpDecision {
    HttpAnswer now;
    std::function<HttpAnswer()> later;
};

struct HttpServerConfig {
    ListenAddress address;
    std::optional<TlsServerConfig> tls;
    std::size_t maxConnections = 4096;  // across every server sharing the deadlines
    unsigned idleSeconds = 10;
};

// Bytes a connection may use for its request line and headers together (and
// the answer's header): past it, the request is refused (414 or 431) and the
// connection closed.
constexpr std::size_t RequestHeadBudget = 16 * 1024;

class HttpDaemon {
public:
    using Handler = std::function<HttpDecision(const HttpRequest &)>;
    using Refused = std::function<void(int status)>;

    // The pool and the deadlines are shared by every address and outlive the daemon.
    HttpDaemon(HttpServerConfig config, Handler handler, Refused refused, WorkerPool &pool,
               ConnectionDeadlines &deadlines);
    ~HttpDaemon();
    HttpDaemon(const HttpDaemon &) = delete;
    HttpDaemon &operator=(const HttpDaemon &) = delete;

    // Binds and starts; false with a reason.
    bool Start(std::string &error);
    int Port() const;
    // Answers every waiting request with 503 and closes every connection.
    void Stop();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace kprobe
