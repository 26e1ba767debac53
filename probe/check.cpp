// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/check.h"

#include "text/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace kprobe {

namespace {

std::string Number(double v, const char *format = "%g")
{
    char buf[32];
    std::snprintf(buf, sizeof buf, format, v);
    return buf;
}

std::string Lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

const char *StateName(PluginState state)
{
    switch (state) {
    case StateOk: return "OK";
    case StateWarning: return "WARNING";
    case StateCritical: return "CRITICAL";
    case StateUnknown: return "UNKNOWN";
    }
    return "UNKNOWN";
}

bool ParseTimeoutOption(const std::string &text, double &seconds, PluginState &state, std::string &error)
{
    const std::size_t colon = text.find(':');
    const std::string number = text.substr(0, colon);
    const std::optional<double> s = ktext::ParseDecimal(number, 0.01, 60, ktext::DecimalRules{false, true});
    if (!s) {
        error = "-t: '" + text + "' is not SECONDS[:STATE] with 0.01 to 60 seconds";
        return false;
    }
    PluginState st = StateCritical;
    if (colon != std::string::npos) {
        const std::string name = Lower(text.substr(colon + 1));
        if (name == "ok" || name == "0")
            st = StateOk;
        else if (name == "warning" || name == "1")
            st = StateWarning;
        else if (name == "critical" || name == "2")
            st = StateCritical;
        else if (name == "unknown" || name == "3")
            st = StateUnknown;
        else {
            error = "-t: '" + text.substr(colon + 1) + "' is not ok, warning, critical or unknown";
            return false;
        }
    }
    seconds = *s;
    state = st;
    return true;
}

std::string PluginText(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
        if (c == '|') {
            out += "\xC2\xA6";  // broken bar: Nagios reads a | as the start of performance data
        } else if (c < 0x20 || c == 0x7F || c1) {
            out += '?';
            i += c1 ? 1 : 0;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string PerfLabel(const std::string &text)
{
    std::string out = "'";
    for (char c : PluginText(text))
        out += c == '=' ? std::string("_") : c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

namespace {

struct Judged {
    PrinterView printer;
    PluginState state = StateOk;
    std::string why;  // empty when OK
    bool ignored = false;
};

std::string Output(PluginState state, const std::string &summary, const std::string &perf, const std::string &lines)
{
    return std::string("KESTRUM ") + StateName(state) + ": " + PluginText(summary) + " | " + perf + "\n" + lines;
}

// The printers asked about: all, or the one named (by name or slot).
std::vector<PrinterView> Filter(const CheckOptions &o, const StatusReply &reply)
{
    std::vector<PrinterView> printers;
    for (PrinterView &p : ViewPrinters(reply))
        if (!o.printer || p.name == *o.printer || std::to_string(p.slot) == *o.printer)
            printers.push_back(std::move(p));
    return printers;
}

// Off line is CRITICAL (unless ignored), paper out or a fault WARNING; then
// the jobs queued against -c and -w, the worse state winning.
std::vector<Judged> Judge(const CheckOptions &o, const std::vector<PrinterView> &printers)
{
    std::vector<Judged> judged;
    for (const PrinterView &p : printers) {
        Judged j{p, StateOk, std::string(), false};
        if (!p.online && o.ignoreOffline) {
            j.ignored = true;
            judged.push_back(std::move(j));
            continue;
        }
        if (!p.online)
            j = Judged{p, StateCritical, "OFFLINE", false};
        else if (p.paperOut || p.fault)
            j = Judged{p, StateWarning, p.status, false};
        const bool critical = o.critical && o.critical->Alerts(p.jobs);
        const bool warning = !critical && o.warning && o.warning->Alerts(p.jobs);
        if (critical || warning) {
            const std::string jobs = std::to_string(p.jobs) + " jobs queued (" +
                                     (critical ? "critical " + o.critical->text : "warning " + o.warning->text) + ")";
            j.why = j.why.empty() ? jobs : j.why + ", " + jobs;
            j.state = std::max(j.state, critical ? StateCritical : StateWarning);
        }
        judged.push_back(std::move(j));
    }
    return judged;
}

// Jobs and per cent printed per printer (twins told apart by slot), then the reply time.
std::string PerfData(const CheckOptions &o, const std::vector<PrinterView> &printers, const std::string &timePerf)
{
    std::set<std::string> names;
    for (const PrinterView &p : printers)
        names.insert(p.name);
    const bool twins = names.size() != printers.size();
    std::string perf;
    for (const PrinterView &p : printers) {
        const std::string name = twins ? p.name + " (slot " + std::to_string(p.slot) + ")" : p.name;
        perf += PerfLabel(name + " jobs") + "=" + std::to_string(p.jobs) + ";" + (o.warning ? o.warning->text : "") +
                ";" + (o.critical ? o.critical->text : "") + ";0 ";
        perf += PerfLabel(name + " printed") + "=" +
                (p.printedRatio ? Number(std::round(*p.printedRatio * 100)) + "%" : std::string("U")) + ";;;0;100 ";
    }
    return perf + timePerf;
}

// Every printer that is not OK, worst first, then the counts.
std::string Summary(const std::vector<Judged> &judged, const std::string &where)
{
    std::string summary;
    std::size_t ready = 0, busy = 0, ignored = 0;
    for (const Judged &j : judged) {
        ready += j.printer.ready ? 1 : 0;
        busy += j.printer.busy ? 1 : 0;
        ignored += j.ignored ? 1 : 0;
    }
    for (PluginState level : {StateCritical, StateWarning})
        for (const Judged &j : judged)
            if (j.state == level)
                summary += j.printer.name + " " + j.why + "; ";
    summary += std::to_string(ready) + " of " + std::to_string(judged.size()) +
               (judged.size() == 1 ? " printer" : " printers") + " ready on " + where;
    if (busy)
        summary += " (" + std::to_string(busy) + " busy)";
    if (ignored)
        summary += ", " + std::to_string(ignored) + " off line (ignored)";
    return summary;
}

// -v: a line per printer; -vv: what was asked; -vvv: the exchange step by step.
std::string Details(const CheckOptions &o, const Exchange &e, const std::vector<Judged> &judged)
{
    std::string lines;
    for (std::size_t i = 0; o.verbosity >= 1 && i < judged.size(); ++i) {
        const Judged &j = judged[i];
        const PrinterView &p = j.printer;
        std::string line = "slot " + std::to_string(p.slot) + " " + p.name + ": " + p.status + ", " +
                           std::to_string(p.jobs) + (p.jobs == 1 ? " job" : " jobs") + " queued";
        if (p.printed)
            line += ", printed " + *p.printed;
        line += j.ignored ? " (ignored)" : j.state != StateOk ? " [" + std::string(StateName(j.state)) + "]" : "";
        lines += PluginText(line) + "\n";
    }
    if (o.verbosity >= 2)
        lines +=
            PluginText("asked " + e.target.Text() + ", waiting " + Number(o.timeoutSeconds) + " s (then " +
                       StateName(o.timeoutState) + "); warning " + (o.warning ? o.warning->text : "none") +
                       ", critical " + (o.critical ? o.critical->text : "none") + "; printer " +
                       (o.printer ? "'" + *o.printer + "'" : "any") + (o.ignoreOffline ? "; off line ignored" : "")) +
            "\n";
    if (o.verbosity >= 3) {
        const std::string account = DescribeExchange(e);
        std::size_t start = 0;
        for (std::size_t end; (end = account.find('\n', start)) != std::string::npos; start = end + 1)
            lines += PluginText(account.substr(start, end - start)) + "\n";
    }
    return lines;
}

}  // namespace

CheckResult EvaluateCheck(const CheckOptions &o, const Exchange &e)
{
    const std::string where = e.target.Text();
    const std::string limit = Number(o.timeoutSeconds);
    const std::string timePerf = "time=" + Number(e.seconds, "%.6f") + "s;;;0;" + limit;
    const std::string details = Details(o, e, {});
    // A short reply is read by the monitor, but a plugin calls it malformed, as an oversized one.
    const bool malformed = e.outcome == Outcome::Oversized ||
                           (e.outcome == Outcome::Reply && e.replyBytes != static_cast<long>(StatusReplySize));
    // A name that gave no address in time is the -t state, as a silent server.
    if (e.outcome == Outcome::Unresolved) {
        const PluginState state = e.lookup.error == LookupError::Timeout ? o.timeoutState : StateCritical;
        return {state, Output(state, "cannot resolve " + e.lookup.name + ": " + LookupErrorText(e.lookup.error),
                              timePerf, details)};
    }
    if (e.outcome == Outcome::Silent)
        return {o.timeoutState,
                Output(o.timeoutState, "no reply from " + where + " within " + limit + " s", timePerf, details)};
    if (e.outcome == Outcome::Failed)
        return {StateCritical,
                Output(StateCritical, "the status request to " + where + " could not be sent", timePerf, details)};
    if (malformed)
        return {StateUnknown, Output(StateUnknown,
                                     "malformed reply from " + where + ": " + std::to_string(e.replyBytes) +
                                         " bytes, expected " + std::to_string(StatusReplySize),
                                     timePerf, details)};
    const std::vector<PrinterView> printers = Filter(o, e.reply);
    if (o.printer && printers.empty())
        return {StateCritical, Output(StateCritical, "no printer '" + *o.printer + "' on " + where, timePerf, details)};
    const std::vector<Judged> judged = Judge(o, printers);
    PluginState state = StateOk;
    for (const Judged &j : judged)
        state = std::max(state, j.state);
    return {state, Output(state, Summary(judged, where), PerfData(o, printers, timePerf), Details(o, e, judged))};
}

}  // namespace kprobe
