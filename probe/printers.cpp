// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/printers.h"

#include "text/endpoint.h"
#include "view/printer_details.h"

#include <cstdio>

namespace kprobe {

namespace {

// The monitor's size text without its line break; none when the line is empty.
std::optional<std::string> SizeText(const PrinterRecord &r)
{
    std::string text = FormatDocSize(r);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (text.empty())
        return std::nullopt;
    return text;
}

std::string Seconds(double s)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g s", s);
    return buf;
}

std::string Milliseconds(double s)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f ms", s * 1000);
    return buf;
}

std::string Pad(const std::string &text, std::size_t width)
{
    const std::size_t w = DisplayWidth(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

template <typename T>
void OptionalTo(nlohmann::json &j, const char *key, const std::optional<T> &v)
{
    if (v)
        j[key] = *v;
    else
        j[key] = nullptr;
}

}  // namespace

std::string Latin1ToUtf8(const std::string &bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::size_t DisplayWidth(const std::string &utf8)
{
    std::size_t n = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

std::vector<PrinterView> ViewPrinters(const StatusReply &reply)
{
    std::vector<PrinterView> printers;
    for (std::size_t i = 0; i < PrinterSlots; ++i) {
        const PrinterRecord &r = reply.records[i];
        if (!IsSlotUsed(r))
            continue;
        PrinterView p;
        p.slot = static_cast<int>(i) + 1;
        p.name = Latin1ToUtf8(FieldText(r.printerName));
        p.status = GetStatusText(r.statusFlags);
        p.statusFlags = r.statusFlags;
        p.online = IsOnLine(r.statusFlags);
        p.ready = IsOnLineReady(r.statusFlags);
        p.busy = p.ready && IsBusy(r.statusFlags);
        p.paperOut = p.online && !p.ready && IsPaperOut(r.statusFlags);
        p.fault = p.online && !p.ready && !p.paperOut;
        p.jobs = r.jobCount;
        p.printedPercent = r.printedPercent;
        p.printed = FormatPrintedPercent(r);
        // A ratio wherever the monitor shows a percentage; "Size Counting..." is 0 %.
        if (p.printed && r.docSizeUnknown != 1)
            p.printedRatio = r.printedPercent >= 100 ? 1.0 : (r.printedPercent <= 0 ? 0.0 : r.printedPercent / 100.0);
        p.user = Latin1ToUtf8(FieldText(r.currentUser));
        const std::string address = FormatUserAddress(r);
        if (!address.empty())
            p.userAddress = address;
        p.docSize = r.docSize;
        p.docSizeUnknown = r.docSizeUnknown == 1;
        p.size = SizeText(r);
        p.portType = PortTypeText(r.portType);
        printers.push_back(std::move(p));
    }
    return printers;
}

ServerStatus MakeServerStatus(const Exchange &e)
{
    ServerStatus s;
    s.address = e.target.Text();
    if (!e.target.name.empty() && e.outcome != Outcome::Unresolved)
        s.resolved = ktext::Ipv4Text(e.target.address);
    if (e.outcome == Outcome::Unresolved)
        s.lookupError = std::string(LookupErrorText(e.lookup.error)) +
                        (e.lookup.detail.empty() ? "" : " (" + e.lookup.detail + ")");
    s.outcome = e.outcome;
    s.replyBytes = e.replyBytes;
    s.seconds = e.seconds;
    if (e.outcome == Outcome::Reply)
        s.printers = ViewPrinters(e.reply);
    return s;
}

void to_json(nlohmann::json &j, const PrinterView &p)
{
    j = nlohmann::json{{"slot", p.slot},
                       {"name", p.name},
                       {"status", p.status},
                       {"status_flags", p.statusFlags},
                       {"online", p.online},
                       {"ready", p.ready},
                       {"busy", p.busy},
                       {"paper_out", p.paperOut},
                       {"fault", p.fault},
                       {"jobs", p.jobs},
                       {"printed_percent", p.printedPercent},
                       {"user", p.user},
                       {"doc_size", p.docSize},
                       {"doc_size_unknown", p.docSizeUnknown},
                       {"port_type", p.portType}};
    OptionalTo(j, "printed", p.printed);
    OptionalTo(j, "printed_ratio", p.printedRatio);
    OptionalTo(j, "user_address", p.userAddress);
    OptionalTo(j, "size", p.size);
}

void to_json(nlohmann::json &j, const ServerStatus &s)
{
    j = nlohmann::json{
        {"address", s.address}, {"outcome", OutcomeName(s.outcome)}, {"seconds", s.seconds}, {"printers", s.printers}};
    if (s.replyBytes >= 0)
        j["reply_bytes"] = s.replyBytes;
    else
        j["reply_bytes"] = nullptr;
    if (!s.resolved.empty())
        j["resolved"] = s.resolved;
    if (!s.lookupError.empty())
        j["lookup_error"] = s.lookupError;
}

std::string StatusJson(const std::vector<ServerStatus> &servers)
{
    return nlohmann::json{{"servers", servers}}.dump(2) + "\n";
}

std::string StatusText(const std::vector<ServerStatus> &servers, double timeoutSeconds)
{
    std::string out;
    for (const ServerStatus &s : servers) {
        out += s.address + (s.resolved.empty() ? "" : " (" + s.resolved + ")") + ": ";
        if (s.outcome == Outcome::Unresolved) {
            out += "cannot resolve: " + s.lookupError + "\n";
            continue;
        }
        if (s.outcome == Outcome::Silent) {
            out += "no reply within " + Seconds(timeoutSeconds) + "\n";
            continue;
        }
        if (s.outcome == Outcome::Failed) {
            out += "the request could not be sent\n";
            continue;
        }
        if (s.outcome == Outcome::Oversized) {
            out += "malformed reply of " + std::to_string(s.replyBytes) + " bytes (at most " +
                   std::to_string(StatusReplySize) + ")\n";
            continue;
        }
        out += std::to_string(s.printers.size()) + (s.printers.size() == 1 ? " printer" : " printers") + ", reply of " +
               std::to_string(s.replyBytes) + " bytes in " + Milliseconds(s.seconds) + "\n";
        if (s.printers.empty())
            continue;
        const std::vector<std::string> head = {"SLOT",    "NAME", "STATUS",       "JOBS",
                                               "PRINTED", "USER", "USER ADDRESS", "SIZE"};
        std::vector<std::vector<std::string>> rows = {head};
        for (const PrinterView &p : s.printers)
            rows.push_back({std::to_string(p.slot), p.name, p.status, std::to_string(p.jobs), p.printed.value_or("-"),
                            p.user.empty() ? "-" : p.user, p.userAddress.value_or("-"), p.size.value_or("-")});
        std::vector<std::size_t> widths(head.size(), 0);
        for (const auto &row : rows)
            for (std::size_t c = 0; c < row.size(); ++c)
                widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        for (const auto &row : rows) {
            std::string line = "  ";
            for (std::size_t c = 0; c < row.size(); ++c)
                line += c + 1 < row.size() ? Pad(row[c], widths[c] + 2) : row[c];
            out += line + "\n";
        }
    }
    return out;
}

}  // namespace kprobe
