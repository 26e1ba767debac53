// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/metrics.h"

#include "probe/printers.h"
#include "text/numbers.h"

#include "kestrum_version.h"

#include <prometheus/gauge.h>
#include <prometheus/text_serializer.h>

#include <dirent.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <sstream>

namespace kprobe {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

MetricFamily Gauge(const std::string &name, const std::string &help)
{
    MetricFamily f;
    f.name = name;
    f.help = help;
    f.type = MetricType::Gauge;
    return f;
}

void Add(MetricFamily &f, double value, std::vector<ClientMetric::Label> labels = {})
{
    ClientMetric m;
    m.label = std::move(labels);
    m.gauge.value = value;
    f.metric.push_back(std::move(m));
}

std::string Serialize(const std::vector<MetricFamily> &families)
{
    std::ostringstream out;
    prometheus::TextSerializer().Serialize(out, families);
    return out.str();
}

// The process's own figures from /proc/self/stat: CPU seconds, resident bytes, start time.
struct ProcessFigures {
    double cpuSeconds = 0;
    double residentBytes = 0;
    double startSeconds = 0;
    bool ok = false;
};

// When the system booted, in seconds since the epoch, from the clocks rather
// than /proc/stat, which a service confined to its own processes' part of
// /proc (ProcSubset=pid) cannot read.
double BootTimeSeconds()
{
    timespec now{}, sinceBoot{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0 || clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0)
        return 0;
    return static_cast<double>(now.tv_sec - sinceBoot.tv_sec) + (now.tv_nsec - sinceBoot.tv_nsec) / 1e9;
}

ProcessFigures ReadProcess()
{
    ProcessFigures p;
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t paren = text.rfind(')');
    if (paren == std::string::npos)
        return p;
    std::istringstream fields(text.substr(paren + 2));
    std::vector<std::string> f;
    for (std::string s; fields >> s;)
        f.push_back(s);
    // Fields from the state on (field 3): utime is 14, stime 15, starttime 22, rss 24.
    if (f.size() < 22)
        return p;
    const auto count = [&f](std::size_t i) { return ktext::ParseDecimal(f[i], 0, std::numeric_limits<double>::max()); };
    const std::optional<double> utime = count(11), stime = count(12), rss = count(21), start = count(19);
    if (!utime || !stime || !rss || !start)
        return p;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    p.cpuSeconds = (*utime + *stime) / tick;
    p.residentBytes = *rss * static_cast<double>(sysconf(_SC_PAGESIZE));
    const double boot = BootTimeSeconds();
    if (boot > 0)
        p.startSeconds = boot + *start / tick;
    p.ok = true;
    return p;
}

// Open descriptors (the entries of /proc/self/fd, less the one reading it) and
// the soft limit; -1 when not known.
std::pair<double, double> Descriptors()
{
    double open = -1;
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        open = 0;
        while (const dirent *entry = ::readdir(dir))
            open += entry->d_name[0] != '.' ? 1 : 0;
        ::closedir(dir);
        open -= 1;
    }
    rlimit files{};
    const double max = ::getrlimit(RLIMIT_NOFILE, &files) != 0 ? -1
                       : files.rlim_cur == RLIM_INFINITY       ? 1.8446744073709552e19
                                                               : static_cast<double>(files.rlim_cur);
    return {open, max};
}

// What every probe reports, whatever came back.
void AddProbeFamilies(std::vector<MetricFamily> &families, const Exchange &e)
{
    MetricFamily up = Gauge("kestrum_up", "1 when the print server answered the status request in time with a reply "
                                          "of at most 960 bytes, 0 otherwise.");
    Add(up, e.outcome == Outcome::Reply ? 1 : 0);
    families.push_back(std::move(up));
    MetricFamily duration =
        Gauge("kestrum_probe_duration_seconds", "Seconds from the status request to the reply, or waited in vain.");
    Add(duration, e.seconds);
    families.push_back(std::move(duration));
    MetricFamily timeout = Gauge("kestrum_probe_timeout_seconds",
                                 "The longest wait for the reply in this probe, after the scrape time-out.");
    Add(timeout, e.timeoutSeconds);
    families.push_back(std::move(timeout));
    MetricFamily lookup = Gauge("kestrum_probe_dns_lookup_time_seconds",
                                "Seconds the target's name took to look up; 0 for a target given as an address.");
    Add(lookup, e.lookup.seconds);
    families.push_back(std::move(lookup));
    MetricFamily failure = Gauge("kestrum_probe_failure",
                                 "1 for why the probe gave no full reply: resolve (the target's name gave no "
                                 "address in time), silent (nothing in time), send (the "
                                 "request could not be sent), oversized (over 960 bytes), short (under 960 bytes, "
                                 "read as the monitor reads it, so kestrum_up stays 1); 0 for the others.");
    const Failure why = FailureOf(e);
    for (Failure f : {Failure::Resolve, Failure::Silent, Failure::Send, Failure::Oversized, Failure::Short})
        Add(failure, why == f ? 1 : 0, {{"reason", FailureName(f)}});
    families.push_back(std::move(failure));
    if (e.outcome == Outcome::Reply || e.outcome == Outcome::Oversized) {
        MetricFamily bytes = Gauge("kestrum_reply_bytes", "Length of the status reply datagram in bytes.");
        Add(bytes, static_cast<double>(e.replyBytes));
        families.push_back(std::move(bytes));
    }
}

}  // namespace

std::string ProbeMetricsText(const Exchange &e)
{
    std::vector<MetricFamily> families;
    AddProbeFamilies(families, e);
    if (e.outcome != Outcome::Reply)
        return Serialize(families);

    const std::vector<PrinterView> printers = ViewPrinters(e.reply);
    MetricFamily count = Gauge("kestrum_printers", "Printers (used slots) on the print server.");
    Add(count, static_cast<double>(printers.size()));
    families.push_back(std::move(count));

    MetricFamily info = Gauge("kestrum_printer_info", "Each printer by slot (1 to 8), with its name and port type.");
    MetricFamily online = Gauge("kestrum_printer_online", "1 when the printer is on line.");
    MetricFamily ready = Gauge("kestrum_printer_ready", "1 when the printer is on line without fault (idle or busy).");
    MetricFamily busy = Gauge("kestrum_printer_busy", "1 when the printer is on line and busy.");
    MetricFamily paper = Gauge("kestrum_printer_paper_out", "1 when the printer is on line and out of paper.");
    MetricFamily fault =
        Gauge("kestrum_printer_fault", "1 when the printer is on line in a fault other than paper out.");
    MetricFamily jobs = Gauge("kestrum_printer_jobs_queued", "Jobs in the printer's queue.");
    MetricFamily ratio = Gauge("kestrum_printer_printed_ratio",
                               "How much of the current document has printed, 0 to 1; absent when not known.");
    MetricFamily docBytes = Gauge("kestrum_printer_document_bytes",
                                  "Size of the current document in bytes; absent when the server does not know it.");
    for (const PrinterView &p : printers) {
        const std::string slot = std::to_string(p.slot);
        const std::string port = p.portType == "LPT" ? "lpt" : "bidirectional";
        Add(info, 1, {{"port", port}, {"printer", p.name}, {"slot", slot}});
        const std::vector<ClientMetric::Label> bySlot = {{"slot", slot}};
        Add(online, p.online, bySlot);
        Add(ready, p.ready, bySlot);
        Add(busy, p.busy, bySlot);
        Add(paper, p.paperOut, bySlot);
        Add(fault, p.fault, bySlot);
        Add(jobs, p.jobs, bySlot);
        if (p.printedRatio)
            Add(ratio, *p.printedRatio, bySlot);
        if (!p.docSizeUnknown && p.docSize >= 0)
            Add(docBytes, p.docSize, bySlot);
    }
    for (MetricFamily *f : {&info, &online, &ready, &busy, &paper, &fault, &jobs, &ratio, &docBytes})
        if (!f->metric.empty())
            families.push_back(std::move(*f));
    return Serialize(families);
}

ExporterMetrics::ExporterMetrics() : m_registry(std::make_shared<prometheus::Registry>())
{
    m_probes =
        &prometheus::BuildCounter()
             .Name("kestrum_exporter_probes_total")
             .Help("Status exchanges made for /probe, by outcome (reply, silent, oversized, failed, unresolved).")
             .Register(*m_registry);
    m_probeSeconds = &prometheus::BuildCounter()
                          .Name("kestrum_exporter_probe_seconds_total")
                          .Help("Seconds spent in status exchanges for /probe.")
                          .Register(*m_registry);
    m_requests = &prometheus::BuildCounter()
                      .Name("kestrum_exporter_http_requests_total")
                      .Help("HTTP requests answered, by handler and status code.")
                      .Register(*m_registry);
    for (Outcome o : {Outcome::Reply, Outcome::Silent, Outcome::Oversized, Outcome::Failed, Outcome::Unresolved})
        m_byOutcome[static_cast<int>(o)] = &m_probes->Add({{"outcome", OutcomeName(o)}});
    m_seconds = &m_probeSeconds->Add({});
    m_probe200 = &m_requests->Add({{"code", "200"}, {"handler", "/probe"}});
    m_probe400 = &m_requests->Add({{"code", "400"}, {"handler", "/probe"}});
    prometheus::BuildGauge()
        .Name("kestrum_exporter_build_info")
        .Help("The exporter's version.")
        .Register(*m_registry)
        .Add({{"version", KESTRUM_VERSION}, {"revision", KESTRUM_REVISION}})
        .Set(1);
}

void ExporterMetrics::CountProbe(Outcome outcome, double seconds)
{
    m_byOutcome[static_cast<int>(outcome)]->Increment();
    m_seconds->Increment(seconds);
}

void ExporterMetrics::CountRequest(const std::string &handler, int code)
{
    if (handler == "/probe" && code == 200)
        m_probe200->Increment();
    else if (handler == "/probe" && code == 400)
        m_probe400->Increment();
    else
        m_requests->Add({{"code", std::to_string(code)}, {"handler", handler}}).Increment();
}

std::string ExporterMetrics::Text() const
{
    std::vector<MetricFamily> families = m_registry->Collect();
    const ProcessFigures p = ReadProcess();
    if (p.ok) {
        MetricFamily cpu;
        cpu.name = "process_cpu_seconds_total";
        cpu.help = "Total user and system CPU time spent in seconds.";
        cpu.type = MetricType::Counter;
        ClientMetric m;
        m.counter.value = p.cpuSeconds;
        cpu.metric.push_back(m);
        families.push_back(std::move(cpu));
        MetricFamily rss = Gauge("process_resident_memory_bytes", "Resident memory size in bytes.");
        Add(rss, p.residentBytes);
        families.push_back(std::move(rss));
        MetricFamily start =
            Gauge("process_start_time_seconds", "Start time of the process since the epoch in seconds.");
        Add(start, p.startSeconds);
        families.push_back(std::move(start));
    }
    const auto [open, max] = Descriptors();
    if (open >= 0) {
        MetricFamily fds = Gauge("process_open_fds", "Number of open file descriptors.");
        Add(fds, open);
        families.push_back(std::move(fds));
    }
    if (max >= 0) {
        MetricFamily fds = Gauge("process_max_fds", "Maximum number of open file descriptors.");
        Add(fds, max);
        families.push_back(std::move(fds));
    }
    return Serialize(families);
}

}  // namespace kprobe
