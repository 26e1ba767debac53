// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter's HTTP server on one address, on libmicrohttpd: one thread
// runs every connection, with a budget of memory for each, a deadline for
// each request's head, a limit on connections, and TLS when configured. Our
// own acceptor admits connections as there is room. Slow answers are made
// elsewhere while their connection waits suspended, so that the loop never
// blocks. This is the only file that uses the library.
#pragma once
#include "probe/http/deadline.h"
#include "probe/http/listen.h"
#include "probe/http/web_config.h"

#include <chrono>
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

// Gives a deferred request its answer: called once, from any thread.
using HttpReply = std::function<void(HttpAnswer)>;

// What the handler makes of a request: an answer at once, or (when `later` is
// set) a start of the work that replies in time. `later` runs on the
// connection loop and must not block.
struct HttpDecision {
    HttpAnswer now;
    std::function<void(HttpReply)> later;
};

struct HttpServerConfig {
    ListenAddress address;
    std::optional<TlsServerConfig> tls;
    std::size_t maxConnections = 4096;  // across every server sharing the deadlines
    unsigned idleSeconds = 10;
    std::chrono::milliseconds headLimit{10000};  // to send a request head, however paced
};

// Under TLS: connections at once that have not yet sent a request, and how
// long one may take before a newer one may push it out. Each costs a
// handshake, and the connection loop works through at most this many in a
// round, so that a flood of handshakes cannot hold up kept-alive clients.
constexpr std::size_t TlsFreshConnections = 64;
constexpr std::chrono::milliseconds TlsFreshGrace{1000};

// Bytes a connection may use for its request line and headers together (and
// the answer's header): past it, the request is refused (414 or 431) and the
// connection closed.
constexpr std::size_t RequestHeadBudget = 16 * 1024;

class HttpDaemon {
public:
    using Handler = std::function<HttpDecision(const HttpRequest &)>;
    using Refused = std::function<void(int status)>;

    // The deadlines are shared by every address and outlive the daemon.
    HttpDaemon(HttpServerConfig config, Handler handler, Refused refused, ConnectionDeadlines &deadlines);
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
