// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// One server's printers as the probe reports them: every used slot with the
// monitor's own texts (view/printer_details.h) beside the raw values, as text
// tables and as JSON that reads back to the same values.
#pragma once
#include "link/protocol.h"
#include "probe/exchange.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kprobe {

struct PrinterView {
    int slot = 0;        // 1 to 8, as the monitor numbers them
    std::string name;    // UTF-8 (the record's 8-bit bytes read as Latin-1)
    std::string status;  // "OFFLINE", "BUSY", "ON-LINE", "PAPER OUT", "ERROR"
    std::uint8_t statusFlags = 0;
    // Exactly one of off line (!online), paperOut, fault, ready holds; busy only with ready.
    bool online = false;
    bool ready = false;  // on line without fault, idle or busy
    bool busy = false;
    bool paperOut = false;
    bool fault = false;                      // on line, in a fault state other than paper out
    std::int32_t jobs = 0;                   // jobs queued, as the server counts them
    std::int32_t printedPercent = 0;         // the raw field
    std::optional<std::string> printed;      // the monitor's "Printed Percent" cell, when it has one
    std::optional<double> printedRatio;      // 0 to 1 when the monitor shows a percentage
    std::string user;                        // UTF-8
    std::optional<std::string> userAddress;  // only while a job is queued, as the monitor shows it
    std::int32_t docSize = 0;                // the raw field
    bool docSizeUnknown = false;
    std::optional<std::string> size;  // the monitor's size text ("47.08K Bytes"), when it has one
    std::string portType;             // "LPT" or "Bi-direction"
};

// The used slots of a reply (first byte of the name not zero), slot order.
std::vector<PrinterView> ViewPrinters(const StatusReply &reply);

// 8-bit text read as Latin-1, written as UTF-8.
std::string Latin1ToUtf8(const std::string &bytes);

// What one exchange found.
struct ServerStatus {
    std::string address;                // the target as given ("A.B.C.D[:PORT]", "NAME[:PORT]")
    std::string resolved;               // a name's address; empty for an address
    std::string lookupError;            // why a name gave no address (Outcome::Unresolved)
    Outcome outcome = Outcome::Silent;  // named only in the output (OutcomeName)
    long replyBytes = -1;
    double seconds = 0;
    std::vector<PrinterView> printers;  // empty unless a reply came
};

ServerStatus MakeServerStatus(const Exchange &exchange);

void to_json(nlohmann::json &j, const PrinterView &p);
void to_json(nlohmann::json &j, const ServerStatus &s);

// {"servers": [...]} as the status command prints it.
std::string StatusJson(const std::vector<ServerStatus> &servers);
// The text form: per server a heading line, then a table of its printers.
std::string StatusText(const std::vector<ServerStatus> &servers, double timeoutSeconds);

// Columns padded by characters, not bytes, so 8-bit names line up.
std::size_t DisplayWidth(const std::string &utf8);

}  // namespace kprobe
