// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/serve.h"

#include "probe/http/auth.h"
#include "probe/http/daemon.h"
#include "probe/http/pool.h"
#include "platform/clock.h"
#include "probe/http/listen.h"
#include "probe/metrics.h"
#include "probe/http/web_config.h"

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>

namespace kprobe {

namespace {

// What answers requests, shared with the jobs on the worker pools: a probe
// or a password check still running when the exporter stops keeps it alive.
struct Core {
    Core(const ServeOptions &o, std::map<std::string, std::string> users, Logger &log, std::size_t threads,
         std::chrono::milliseconds idle)
        : options(o), routes(options, metrics, log), auth(std::move(users)), pool(threads, idle)
    {
    }
    ServeOptions options;
    ExporterMetrics metrics;
    Routes routes;
    BasicAuth auth;
    WorkerPool pool;  // probes: each waits up to its time-out for one reply

    HttpAnswer Route(const HttpRequest &request)
    {
        RouteRequest r;
        r.path = request.path;
        r.query = request.query;
        r.scrapeTimeout = request.Header("X-Prometheus-Scrape-Timeout-Seconds");
        const RouteAnswer a = routes.Answer(r);
        HttpAnswer answer;
        answer.status = a.status;
        answer.body = a.body;
        answer.contentType = a.contentType;
        answer.close = a.status == 400;  // a client that asks wrongly starts afresh
        return answer;
    }

    HttpAnswer Refusal(int status, const char *body)
    {
        routes.CountOther(status);
        HttpAnswer a;
        a.status = status;
        a.body = body;
        if (status == 401)
            a.headers.emplace_back("WWW-Authenticate", BasicAuth::Challenge());
        if (status == 503)
            a.headers.emplace_back("Retry-After", "1");
        return a;
    }
    HttpAnswer Unauthorized() { return Refusal(401, "authentication required\n"); }
    // Every thread for the work is taken: the server is busy, not the client wrong.
    HttpAnswer Busy() { return Refusal(503, "the exporter is busy; try again\n"); }
};

// Answers an admitted request: a probe on the pool, anything else at once.
void Answer(const std::shared_ptr<Core> &core, const HttpRequest &request, const HttpReply &reply)
{
    if (request.path != "/probe")
        return reply(core->Route(request));
    if (!core->pool.Submit([core, request, reply] { reply(core->Route(request)); }))
        reply(core->Busy());
}

HttpDecision Decide(const std::shared_ptr<Core> &core, const HttpRequest &request)
{
    HttpDecision d;
    if (core->auth.Enabled()) {
        const std::string authorization = request.Header("Authorization");
        switch (core->auth.Quick(authorization)) {
        case BasicAuth::Verdict::Refused: d.now = core->Unauthorized(); return d;
        case BasicAuth::Verdict::NeedsHashing:
            d.later = [core, request, authorization](const HttpReply &reply) {
                core->auth.Check(authorization, [core, request, reply](BasicAuth::Outcome outcome) {
                    if (outcome == BasicAuth::Outcome::Accepted)
                        Answer(core, request, reply);
                    else
                        reply(outcome == BasicAuth::Outcome::Busy ? core->Busy() : core->Unauthorized());
                });
            };
            return d;
        case BasicAuth::Verdict::Accepted: break;
        }
    }
    if (request.path == "/probe")
        d.later = [core, request](const HttpReply &reply) { Answer(core, request, reply); };
    else
        d.now = core->Route(request);
    return d;
}

// What guards the exporter, said once at start.
void LogFront(Logger &log, const WebConfig &web)
{
    log.Log(LogLevel::Info, "Web front",
            {{"tls", web.tls ? "on" : "off"},
             {"client_auth", web.tls ? ClientAuthName(web.tls->clientAuth) : "NoClientCert"},
             {"basic_auth", web.users.empty() ? "off" : "on"},
             {"users", std::to_string(web.users.size())}});
}

}  // namespace

bool ParseListen(const std::string &text, ServeOptions &options, std::string &error)
{
    ListenAddress a;
    if (!ParseListenAddress(text, a, error)) {
        error = "--web.listen-address: " + error;
        return false;
    }
    if (options.listen.empty()) {
        options.host = a.host;
        options.port = a.port;
    }
    options.listen.push_back(a);
    return true;
}

struct Exporter::Impl {
    Impl(const ServeOptions &o, Logger &l) : options(o), log(l), deadlines(platform::Millis(o.requestSeconds)) {}
    ServeOptions options;
    Logger &log;
    std::shared_ptr<Core> core;
    ConnectionDeadlines deadlines;
    std::vector<std::unique_ptr<HttpDaemon>> daemons;
    std::vector<std::string> addresses;
    bool started = false;

    bool Serve(const ListenAddress &address, const WebConfig &web, std::string &error);
};

bool Exporter::Impl::Serve(const ListenAddress &address, const WebConfig &web, std::string &error)
{
    HttpServerConfig config;
    config.address = address;
    config.tls = web.tls;
    config.maxConnections = static_cast<std::size_t>(std::max(1, options.maxConnections));
    config.idleSeconds = static_cast<unsigned>(std::max(1.0, std::ceil(options.idleSeconds)));
    config.headLimit = platform::Millis(options.requestSeconds);
    std::shared_ptr<Core> c = core;
    auto daemon = std::make_unique<HttpDaemon>(
        config, [c](const HttpRequest &r) { return Decide(c, r); }, [c](int status) { c->routes.CountOther(status); },
        deadlines);
    if (!daemon->Start(error))
        return false;
    ListenAddress bound = address;
    bound.port = daemon->Port();
    addresses.push_back(ListenAddressText(bound));
    daemons.push_back(std::move(daemon));
    return true;
}

Exporter::Exporter(const ServeOptions &options, Logger &log) : m_impl(std::make_unique<Impl>(options, log)) {}

Exporter::~Exporter() { Stop(); }

bool Exporter::Start(std::string &error)
{
    Impl &d = *m_impl;
    WebConfig web;
    if (!d.options.webConfigFile.empty() && !LoadWebConfig(d.options.webConfigFile, web, error))
        return false;
    for (const std::string &warning : web.warnings)
        d.log.Log(LogLevel::Warn, warning);
    d.core =
        std::make_shared<Core>(d.options, web.users, d.log, static_cast<std::size_t>(std::max(1, d.options.maxProbes)),
                               platform::Millis(d.options.workerIdleSeconds));
    LogFront(d.log, web);
    if (!d.deadlines.Start()) {
        error = "cannot start a thread";
        return false;
    }
    d.started = true;
    std::vector<ListenAddress> listen = d.options.listen;
    if (listen.empty())
        listen.push_back(ListenAddress{d.options.host, d.options.port});
    for (const ListenAddress &a : listen) {
        if (!d.Serve(a, web, error)) {
            Stop();
            return false;
        }
    }
    return true;
}

int Exporter::Port() const { return m_impl->daemons.empty() ? 0 : m_impl->daemons.front()->Port(); }

std::vector<std::string> Exporter::Addresses() const { return m_impl->addresses; }

std::size_t Exporter::WorkerThreads() const { return m_impl->core ? m_impl->core->pool.Threads() : 0; }

void Exporter::Stop()
{
    Impl &d = *m_impl;
    if (!d.started)
        return;
    d.started = false;
    for (auto &daemon : d.daemons)
        daemon->Stop();
    d.core->auth.Stop();
    d.core->pool.Stop();
    d.deadlines.Stop();
}

int RunServe(const ServeOptions &options, Logger &log, std::ostream &out)
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

    Exporter exporter(options, log);
    std::string error;
    if (!exporter.Start(error)) {
        // In the log's own format: with --log.format json every line on stderr is JSON.
        log.Log(LogLevel::Error, "Could not start", {{"err", error}});
        return 1;
    }
    for (const std::string &a : exporter.Addresses())
        out << "listening " << a << "\n";
    out.flush();
    int received = 0;
    sigwait(&signals, &received);
    exporter.Stop();
    return 0;
}

}  // namespace kprobe
