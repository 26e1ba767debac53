// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What only the tests need of the probe's types: equality, and the status
// command's JSON read back.
#pragma once
#include "probe/printers.h"
#include "probe/serve_options.h"
#include "probe/target.h"

#include <nlohmann/json.hpp>

namespace kprobe {

inline bool operator==(const ListenAddress &a, const ListenAddress &b) { return a.host == b.host && a.port == b.port; }

inline bool operator==(const Target &a, const Target &b) { return a.address == b.address && a.port == b.port; }

inline bool operator==(const PrinterView &a, const PrinterView &b)
{
    return a.slot == b.slot && a.name == b.name && a.status == b.status && a.statusFlags == b.statusFlags &&
           a.online == b.online && a.ready == b.ready && a.busy == b.busy && a.paperOut == b.paperOut &&
           a.fault == b.fault && a.jobs == b.jobs && a.printedPercent == b.printedPercent && a.printed == b.printed &&
           a.printedRatio == b.printedRatio && a.user == b.user && a.userAddress == b.userAddress &&
           a.docSize == b.docSize && a.docSizeUnknown == b.docSizeUnknown && a.size == b.size &&
           a.portType == b.portType;
}

inline bool operator==(const ServerStatus &a, const ServerStatus &b)
{
    return a.address == b.address && a.outcome == b.outcome && a.replyBytes == b.replyBytes && a.seconds == b.seconds &&
           a.printers == b.printers;
}

template <typename T>
void OptionalFrom(const nlohmann::json &j, const char *key, std::optional<T> &v)
{
    const auto &x = j.at(key);
    v = x.is_null() ? std::nullopt : std::optional<T>(x.get<T>());
}

inline void from_json(const nlohmann::json &j, PrinterView &p)
{
    j.at("slot").get_to(p.slot);
    j.at("name").get_to(p.name);
    j.at("status").get_to(p.status);
    j.at("status_flags").get_to(p.statusFlags);
    j.at("online").get_to(p.online);
    j.at("ready").get_to(p.ready);
    j.at("busy").get_to(p.busy);
    j.at("paper_out").get_to(p.paperOut);
    j.at("fault").get_to(p.fault);
    j.at("jobs").get_to(p.jobs);
    j.at("printed_percent").get_to(p.printedPercent);
    j.at("user").get_to(p.user);
    j.at("doc_size").get_to(p.docSize);
    j.at("doc_size_unknown").get_to(p.docSizeUnknown);
    j.at("port_type").get_to(p.portType);
    OptionalFrom(j, "printed", p.printed);
    OptionalFrom(j, "printed_ratio", p.printedRatio);
    OptionalFrom(j, "user_address", p.userAddress);
    OptionalFrom(j, "size", p.size);
}

inline void from_json(const nlohmann::json &j, ServerStatus &s)
{
    j.at("address").get_to(s.address);
    const std::string outcome = j.at("outcome").get<std::string>();
    s.outcome = Outcome::Failed;
    for (Outcome o : {Outcome::Reply, Outcome::Silent, Outcome::Oversized, Outcome::Failed})
        if (outcome == OutcomeName(o))
            s.outcome = o;
    j.at("seconds").get_to(s.seconds);
    j.at("printers").get_to(s.printers);
    const auto &bytes = j.at("reply_bytes");
    s.replyBytes = bytes.is_null() ? -1 : bytes.get<long>();
}

}  // namespace kprobe
