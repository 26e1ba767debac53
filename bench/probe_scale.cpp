// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-probe at scale: one exporter asked for many targets at once through
// /probe, the same batch one target at a time, and `status` with every address
// at once. Meant to run inside a network namespace that holds the targets'
// addresses, with the simulator bound to 0.0.0.0 there (probe_scale.sh makes
// one). Prints wall time and the exporter's CPU time for each batch.
//   probe_scale PROBE TARGETS_FILE [--rounds N] [--sequential] [--serve-only] [--port P]
//               [--web-config FILE --ca FILE --user NAME:PASSWORD]
// With a web configuration the exporter serves TLS with basic authentication,
// and the batches go through kept-alive TLS connections (probe_scale_tls.h).
// Exit 0 when every answer was as expected (a 200 for each target, kestrum_up
// 1 for the answering ones, 0 for the silent ones), 1 otherwise. The figures
// are reported, not judged.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/probe_scale_tls.h"
#include "platform/clock.h"
#include "platform/socket.h"

#include "cmdline/validators.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::Clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A process's CPU time in seconds: the sum over its threads' scheduler
// statistics (nanoseconds), which is finer than the clock ticks of /proc/PID/stat.
double CpuSeconds(pid_t pid)
{
    double total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = opendir(tasks.c_str());
    if (!dir)
        return -1;
    while (dirent *e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream in(tasks + "/" + e->d_name + "/schedstat");
        double ns = 0;
        if (in >> ns)
            total += ns / 1e9;
    }
    closedir(dir);
    return total;
}

struct Target {
    std::string address;
    bool silent;
};

struct Connection {
    int fd = -1;
    std::string request;
    std::size_t sent = 0;
    std::string response;
    bool done = false;
};

// Sends the rest of the request, or reads the answer; true when the
// connection has ended (the answer is whole, or it failed).
bool Advance(Connection &k)
{
    if (k.sent < k.request.size()) {
        const ssize_t n = ::send(k.fd, k.request.data() + k.sent, k.request.size() - k.sent, MSG_NOSIGNAL);
        if (n > 0)
            k.sent += static_cast<std::size_t>(n);
        return n < 0 && errno != EAGAIN && errno != EINPROGRESS;
    }
    char buffer[8192];
    const ssize_t n = ::recv(k.fd, buffer, sizeof buffer, 0);
    if (n > 0)
        k.response.append(buffer, static_cast<std::size_t>(n));
    return n == 0 || (n < 0 && errno != EAGAIN);
}

// How many answers were what their target deserved; closes the connections.
int CountGood(std::vector<Connection> &c, const std::vector<Target> &targets)
{
    int good = 0;
    for (std::size_t i = 0; i < c.size(); ++i) {
        ::close(c[i].fd);
        const std::string &r = c[i].response;
        const bool ok200 = r.rfind("HTTP/1.1 200", 0) == 0;
        const bool up = r.find("\nkestrum_up 1\n") != std::string::npos;
        const bool down = r.find("\nkestrum_up 0\n") != std::string::npos;
        if (ok200 && (targets[i].silent ? down : up))
            ++good;
    }
    return good;
}

// Requests /probe for every target over its own connection, all at once, and
// reads every answer. Returns how many answers were what the target deserved.
int ConcurrentBatch(int port, const std::vector<Target> &targets, double &wall)
{
    std::vector<Connection> c(targets.size());
    const sockaddr_in to = platform::MakeAddress(htonl(INADDR_LOOPBACK), static_cast<std::uint16_t>(port));
    const auto start = Clock::now();
    for (std::size_t i = 0; i < c.size(); ++i) {
        c[i].fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        c[i].request = "GET /probe?target=" + targets[i].address +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Prometheus-Scrape-Timeout-Seconds: 10\r\n"
                       "Connection: close\r\n\r\n";
        ::connect(c[i].fd, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }
    std::size_t open = c.size();
    const auto limit = start + std::chrono::seconds(20);
    std::vector<pollfd> fds(c.size());
    while (open > 0 && Clock::now() < limit) {
        for (std::size_t i = 0; i < c.size(); ++i) {
            const short want = c[i].done ? 0 : (c[i].sent < c[i].request.size() ? POLLOUT : POLLIN);
            fds[i] = pollfd{c[i].done ? -1 : c[i].fd, want, 0};
        }
        if (::poll(fds.data(), fds.size(), 100) <= 0)
            continue;
        for (std::size_t i = 0; i < c.size(); ++i)
            if (!c[i].done && fds[i].revents && Advance(c[i])) {
                c[i].done = true;
                --open;
            }
    }
    wall = Since(start);
    return CountGood(c, targets);
}

pid_t StartExporter(const std::string &probe, int port, const std::string &webConfig)
{
    int out[2];
    if (::pipe(out) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        const std::string listen = "127.0.0.1:" + std::to_string(port);
        if (webConfig.empty())
            ::execl(probe.c_str(), probe.c_str(), "serve", "--listen", listen.c_str(), "--max-connections", "1200",
                    static_cast<char *>(nullptr));
        ::execl(probe.c_str(), probe.c_str(), "serve", "--listen", listen.c_str(), "--max-connections", "1200",
                "--web.config.file", webConfig.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    char line[128] = {};
    pollfd p{out[0], POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0 || ::read(out[0], line, sizeof line - 1) <= 0) {
        ::kill(pid, SIGKILL);
        return -1;
    }
    ::close(out[0]);
    return pid;
}

// Runs the probe with these arguments; wall time and its CPU time (user+system).
int RunProbe(const std::string &probe, const std::vector<std::string> &args, double &wall, double &cpu)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(probe.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execv(probe.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    wall = Since(start);
    cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Settings {
    std::string probe;
    std::string targetsFile;
    int rounds = 3;
    bool sequential = false;
    bool serveOnly = false;
    int port = 9897;
    std::string webConfig, ca, user;
};

// 0 to go on, or the exit code (-1: the help was asked for, exit 0).
int ParseSettings(int argc, char **argv, Settings &s)
{
    CLI::App app{"kestrum-probe at scale: the exporter's batches and status with every address.", "probe_scale"};
    app.set_help_flag("-h,--help", "this text");
    app.add_option("PROBE", s.probe, "the kestrum-probe to run")->required();
    app.add_option("TARGETS_FILE", s.targetsFile, "an address a line, \"ADDRESS silent\" for a silent one")->required();
    app.add_option("--rounds", s.rounds, "batches of each kind (default 3)")->check(CLI::Range(1, 1000));
    app.add_flag("--sequential", s.sequential, "also one target at a time");
    app.add_flag("--serve-only", s.serveOnly, "only the exporter's batches");
    app.add_option("--port", s.port, "the exporter's port (default 9897)")->check(CLI::Range(1, 65535));
    app.add_option("--web-config", s.webConfig, "TLS with basic authentication")->type_name("FILE");
    app.add_option("--ca", s.ca, "the certificate authority of the TLS batches")->type_name("FILE");
    app.add_option("--user", s.user, "the basic authentication's user")->type_name("NAME:PASSWORD");
    return kcmd::ParseToolLine(app, argc, argv, "probe_scale");
}

std::vector<Target> ReadTargets(const std::string &file)
{
    std::vector<Target> targets;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.empty())
            continue;
        const std::size_t space = line.find(' ');
        targets.push_back(
            Target{line.substr(0, space), space != std::string::npos && line.substr(space + 1) == "silent"});
    }
    return targets;
}

// The running exporter's batches, all at once and (plain HTTP only) one target
// at a time, then its stop; false when an answer was wrong.
bool ServeBatches(const Settings &s, const std::vector<Target> &targets, pid_t exporter)
{
    bool allGood = true;
    std::unique_ptr<TlsBatches> tls;
    std::vector<TlsTarget> tlsTargets;
    if (!s.webConfig.empty()) {
        tls = std::make_unique<TlsBatches>(s.port, s.ca, s.user, targets.size());
        for (const Target &t : targets)
            tlsTargets.push_back(TlsTarget{t.address, t.silent});
    }
    for (int round = 1; round <= s.rounds; ++round) {
        const double cpu0 = CpuSeconds(exporter);
        double wall = 0;
        const int good = tls ? tls->Run(tlsTargets, wall) : ConcurrentBatch(s.port, targets, wall);
        // Let the last threads finish their bookkeeping before reading the CPU.
        ::usleep(50000);
        const double cpu = CpuSeconds(exporter) - cpu0;
        std::printf("serve%s, all at once, round %d%s: %.3f s wall, %.3f s exporter CPU, %d/%zu answers right\n",
                    tls ? " (TLS, basic auth)" : "", round,
                    round == 1 ? (tls ? " (threads started, handshakes, bcrypt)" : " (threads started)") : "", wall,
                    cpu, good, targets.size());
        allGood = allGood && good == static_cast<int>(targets.size());
    }
    tls.reset();
    if (s.sequential && s.webConfig.empty()) {
        const double cpu0 = CpuSeconds(exporter);
        const auto start = Clock::now();
        int good = 0;
        for (const Target &t : targets) {
            double w = 0;
            good += ConcurrentBatch(s.port, {t}, w);
        }
        std::printf("serve, one target at a time: %.3f s wall, %.3f s exporter CPU, %d/%zu answers right\n",
                    Since(start), CpuSeconds(exporter) - cpu0, good, targets.size());
        allGood = allGood && good == static_cast<int>(targets.size());
    }
    ::kill(exporter, SIGTERM);
    ::waitpid(exporter, nullptr, 0);
    return allGood;
}

// `status` with every address at once, and (with --sequential) one a run;
// false when an exit code was not the expected one.
bool StatusBatches(const Settings &s, const std::vector<Target> &targets, long silent)
{
    bool allGood = true;
    std::vector<std::string> args = {"status", "--json"};
    for (const Target &t : targets)
        args.push_back(t.address);
    for (int round = 1; round <= s.rounds; ++round) {
        double wall = 0, cpu = 0;
        const int code = RunProbe(s.probe, args, wall, cpu);
        std::printf("status, all at once, round %d: %.3f s wall, %.3f s CPU (exit %d)\n", round, wall, cpu, code);
        allGood = allGood && code == (silent ? 1 : 0);
    }
    if (s.sequential) {
        double wallSum = 0, cpuSum = 0;
        for (const Target &t : targets) {
            double wall = 0, cpu = 0;
            RunProbe(s.probe, {"status", t.address}, wall, cpu);
            wallSum += wall;
            cpuSum += cpu;
        }
        std::printf("status, one address per run: %.3f s wall, %.3f s CPU\n", wallSum, cpuSum);
    }
    return allGood;
}

}  // namespace

int main(int argc, char **argv)
{
    Settings settings;
    if (const int code = ParseSettings(argc, argv, settings))
        return code < 0 ? 0 : code;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::vector<Target> targets = ReadTargets(settings.targetsFile);
    const long silent = std::count_if(targets.begin(), targets.end(), [](const Target &t) { return t.silent; });
    // A thousand connections need a thousand descriptors here and in the exporter.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    ::signal(SIGPIPE, SIG_IGN);

    std::printf("targets: %zu (%ld silent)\n", targets.size(), silent);
    const pid_t exporter = StartExporter(settings.probe, settings.port, settings.webConfig);
    if (exporter < 0) {
        std::fprintf(stderr, "probe_scale: the exporter did not start\n");
        return 1;
    }
    bool allGood = ServeBatches(settings, targets, exporter);
    if (!settings.serveOnly)
        allGood = StatusBatches(settings, targets, silent) && allGood;
    std::printf("%s\n", allGood ? "every answer as expected" : "SOME ANSWERS WRONG");
    return allGood ? 0 : 1;
}
