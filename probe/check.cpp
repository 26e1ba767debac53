// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/check.h"

#include <algorithm>
#include <cerrno>
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

struct Judged {
    const PrinterView *printer;
    PluginState state;
    std::string why;   // empty when OK
    bool ignored;
};

}  // namespace

const char *StateName(PluginState state)
{
    switch (state) {
    case StateOk:
        return "OK";
    case StateWarning:
        return "WARNING";
    case StateCritical:
        return "CRITICAL";
    case StateUnknown:
        return "UNKNOWN";
    }
    return "UNKNOWN";
}

bool ParseTimeoutOption(const std::string &text, double &seconds, PluginState &state, std::string &error)
{
    const std::size_t colon = text.find(':');
    const std::string number = text.substr(0, colon);
    bool plain = !number.empty();
    for (char c : number)
        plain = plain && ((c >= '0' && c <= '9') || c == '.');
    errno = 0;
    char *end = nullptr;
    const double s = plain ? std::strtod(number.c_str(), &end) : 0;
    if (!plain || errno != 0 || *end != '\0' || !(s >= 0.01 && s <= 60)) {
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
    seconds = s;
    state = st;
    return true;
}

std::string PerfLabel(const std::string &text)
{
    std::string out = "'";
    for (char c : text)
        out += (c == '=' || c == '\'') ? '_' : c;
    return out + "'";
}

CheckResult EvaluateCheck(const CheckOptions &o, const Exchange &e)
{
    CheckResult result;
    const std::string where = e.target.Text();
    const std::string limit = Number(o.timeoutSeconds);
    const std::string timePerf = "time=" + Number(e.seconds, "%.6f") + "s;;;0;" + limit;
    auto finish = [&](PluginState state, const std::string &summary, const std::string &perf,
                      const std::string &lines) {
        result.state = state;
        result.output = std::string("KESTRUM ") + StateName(state) + ": " + summary + " | " + perf + "\n" + lines;
        return result;
    };

    switch (e.outcome) {
    case Outcome::Silent:
        return finish(o.timeoutState, "no reply from " + where + " within " + limit + " s", timePerf, "");
    case Outcome::Failed:
        return finish(StateCritical, "the status request to " + where + " could not be sent", timePerf, "");
    case Outcome::Oversized:
        return finish(StateUnknown,
                      "malformed reply from " + where + ": " + std::to_string(e.replyBytes) + " bytes, expected " +
                          std::to_string(StatusReplySize),
                      timePerf, "");
    case Outcome::Reply:
        break;
    }
    if (e.replyBytes != static_cast<long>(StatusReplySize))
        return finish(StateUnknown,
                      "malformed reply from " + where + ": " + std::to_string(e.replyBytes) + " bytes, expected " +
                          std::to_string(StatusReplySize),
                      timePerf, "");

    std::vector<PrinterView> all = ViewPrinters(e.reply);
    std::vector<PrinterView> printers;
    for (const PrinterView &p : all) {
        if (!o.printer || p.name == *o.printer || std::to_string(p.slot) == *o.printer)
            printers.push_back(p);
    }
    if (o.printer && printers.empty())
        return finish(StateCritical, "no printer '" + *o.printer + "' on " + where, timePerf, "");

    std::vector<Judged> judged;
    for (const PrinterView &p : printers) {
        Judged j{&p, StateOk, std::string(), false};
        if (!p.online) {
            if (o.ignoreOffline)
                j.ignored = true;
            else
                j = Judged{&p, StateCritical, "OFFLINE", false};
        } else if (p.paperOut || p.fault) {
            j = Judged{&p, StateWarning, p.status, false};
        }
        if (!j.ignored) {
            const double jobs = p.jobs;
            std::string jobsWhy;
            PluginState jobsState = StateOk;
            if (o.critical && o.critical->Alerts(jobs)) {
                jobsState = StateCritical;
                jobsWhy = std::to_string(p.jobs) + " jobs queued (critical " + o.critical->text + ")";
            } else if (o.warning && o.warning->Alerts(jobs)) {
                jobsState = StateWarning;
                jobsWhy = std::to_string(p.jobs) + " jobs queued (warning " + o.warning->text + ")";
            }
            if (jobsState != StateOk) {
                j.why = j.why.empty() ? jobsWhy : j.why + ", " + jobsWhy;
                j.state = std::max(j.state, jobsState);
            }
        }
        judged.push_back(j);
    }

    PluginState state = StateOk;
    for (const Judged &j : judged)
        state = std::max(state, j.state);

    // Performance data: jobs and per cent printed per printer, then the reply time.
    std::set<std::string> seen;
    for (const PrinterView &p : printers)
        if (!seen.insert(p.name).second)
            break;
    const bool duplicates = seen.size() != printers.size();
    std::string perf;
    for (const PrinterView &p : printers) {
        const std::string name = duplicates ? p.name + " (slot " + std::to_string(p.slot) + ")" : p.name;
        perf += PerfLabel(name + " jobs") + "=" + std::to_string(p.jobs) + ";" +
                (o.warning ? o.warning->text : "") + ";" + (o.critical ? o.critical->text : "") + ";0 ";
        perf += PerfLabel(name + " printed") + "=" +
                (p.printedRatio ? Number(std::round(*p.printedRatio * 100)) + "%" : std::string("U")) + ";;;0;100 ";
    }
    perf += timePerf;

    // The summary names every printer that is not OK, worst first.
    std::string summary;
    std::size_t ready = 0, busy = 0, offlineIgnored = 0;
    for (const Judged &j : judged) {
        ready += j.printer->ready ? 1 : 0;
        busy += j.printer->busy ? 1 : 0;
        offlineIgnored += j.ignored ? 1 : 0;
    }
    for (PluginState level : {StateCritical, StateWarning}) {
        for (const Judged &j : judged) {
            if (j.state != level)
                continue;
            if (!summary.empty())
                summary += "; ";
            summary += j.printer->name + " " + j.why;
        }
    }
    std::string counts = std::to_string(ready) + " of " + std::to_string(printers.size()) +
                         (printers.size() == 1 ? " printer" : " printers") + " ready on " + where;
    if (busy)
        counts += " (" + std::to_string(busy) + " busy)";
    if (offlineIgnored)
        counts += ", " + std::to_string(offlineIgnored) + " off line (ignored)";
    summary = summary.empty() ? counts : summary + "; " + counts;

    std::string lines;
    for (const Judged &j : judged) {
        const PrinterView &p = *j.printer;
        lines += "slot " + std::to_string(p.slot) + " " + p.name + ": " + p.status + ", " + std::to_string(p.jobs) +
                 (p.jobs == 1 ? " job" : " jobs") + " queued";
        if (p.printed)
            lines += ", printed " + *p.printed;
        if (j.ignored)
            lines += " (ignored)";
        else if (j.state != StateOk)
            lines += " [" + std::string(StateName(j.state)) + "]";
        lines += "\n";
    }
    return finish(state, summary, perf, lines);
}

}  // namespace kprobe
