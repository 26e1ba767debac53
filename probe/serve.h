// The serve command: a Prometheus exporter in the multi-target pattern on
// cpp-httplib. /probe?target=ADDRESS answers one fresh status exchange,
// /metrics the exporter's own metrics.
#pragma once
#include "probe/target.h"

#include <memory>
#include <string>

namespace kprobe {

struct ServeOptions {
    std::string host = "127.0.0.1";  // loopback unless asked
    int port = 9150;                 // 0: any free port
    double timeoutSeconds = 1.0;     // the longest wait for one reply
    int maxConnections = 1200;       // connections served at once (threads)
};

// "ADDR:PORT" (IPv4 address, port 0 to 65535) into options.
bool ParseListen(const std::string &text, ServeOptions &options, std::string &error);

// How long one /probe waits: the configured time-out, and never past the
// scrape time-out that Prometheus sends (X-Prometheus-Scrape-Timeout-Seconds)
// less a quarter second, but at least 50 ms. An unreadable header is ignored.
double ProbeWaitSeconds(double configured, const std::string *scrapeTimeoutHeader);

class Exporter {
public:
    explicit Exporter(const ServeOptions &options);
    ~Exporter();
    Exporter(const Exporter &) = delete;
    Exporter &operator=(const Exporter &) = delete;

    // Binds and starts serving on a thread of its own; false with a reason.
    bool Start(std::string &error);
    // The port bound (useful with port 0).
    int Port() const;
    // Stops serving and waits for the threads; also done by the destructor.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Runs the exporter until SIGINT or SIGTERM; prints "listening ADDR:PORT" on
// out first. Returns the exit code.
int RunServe(const ServeOptions &options, std::ostream &out, std::ostream &err);

}  // namespace kprobe
