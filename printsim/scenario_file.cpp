// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The scenario text format: line by line, `printer`, `job` and `timeline`
// lines, `job` and `timeline` belonging to the printer above them.
#include "printsim/scenario.h"
#include "text/endpoint.h"
#include "text/numbers.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace printsim {

namespace {

struct Token {
    bool pair = false;  // key=value; otherwise a bare word held in `key`
    std::string key;
    std::string value;
};

// Splits a line into words and key=value pairs; a value may be "quoted", with
// \" and \\ inside. A # outside quotes starts a comment.
bool Tokenize(const std::string &line, std::vector<Token> &out, std::string &error)
{
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n) {
        while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= n || line[i] == '#')
            break;
        std::string text;
        Token tok;
        bool haveKey = false;
        while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            const char c = line[i];
            if (c == '=' && !haveKey) {
                tok.key = text;
                text.clear();
                haveKey = true;
                ++i;
            } else if (c == '"') {
                ++i;
                bool closed = false;
                while (i < n) {
                    if (line[i] == '\\' && i + 1 < n) {
                        text += line[i + 1];
                        i += 2;
                    } else if (line[i] == '"') {
                        closed = true;
                        ++i;
                        break;
                    } else {
                        text += line[i++];
                    }
                }
                if (!closed) {
                    error = "unterminated quote";
                    return false;
                }
            } else {
                text += c;
                ++i;
            }
        }
        if (haveKey && tok.key.empty()) {
            error = "missing key before '='";
            return false;
        }
        tok.pair = haveKey;
        if (haveKey)
            tok.value = text;
        else
            tok.key = text;
        out.push_back(tok);
    }
    return true;
}

bool IsBare(const Token &t) { return !t.pair; }

// A decimal number from lo to hi into out.
bool ParseInt(const std::string &text, long lo, long hi, long &out)
{
    const std::optional<long> v = ktext::ParseWhole<long>(text, lo, hi);
    if (v)
        out = *v;
    return v.has_value();
}

bool ParseAddress(const std::string &text, std::uint8_t (&out)[4])
{
    const std::optional<std::uint32_t> address = ktext::ParseIpv4(text);
    if (address)
        std::memcpy(out, &*address, sizeof out);  // network order is the written order
    return address.has_value();
}

bool ParsePhase(const std::string &word, Phase &out, std::string &error)
{
    const std::size_t colon = word.find(':');
    if (colon == std::string::npos) {
        error = "phase '" + word + "' needs a length, as in print:10";
        return false;
    }
    const std::string kind = word.substr(0, colon);
    const std::string length = word.substr(colon + 1);
    long steps = 0;
    if (!ParseInt(length, 1, 1000000, steps)) {
        error = "phase length must be 1 to 1000000, got '" + length + "'";
        return false;
    }
    out = Phase{};
    out.steps = static_cast<int>(steps);
    if (kind == "print")
        out.kind = PhaseKind::Print;
    else if (kind == "idle")
        out.kind = PhaseKind::Idle;
    else if (kind == "offline")
        out.kind = PhaseKind::Offline;
    else if (kind == "paperout")
        out.kind = PhaseKind::PaperOut;
    else if (kind == "fault")
        out.kind = PhaseKind::Fault;
    else if (kind.size() > 2 && (kind[0] == '0') && (kind[1] == 'x' || kind[1] == 'X')) {
        const std::optional<std::uint32_t> flags = ktext::ParseHex(kind.substr(2), 2);
        if (!flags) {
            error = "status byte must be 0x00 to 0xff, got '" + kind + "'";
            return false;
        }
        out.kind = PhaseKind::Raw;
        out.rawFlags = static_cast<std::uint8_t>(*flags);
    } else {
        error = "unknown state '" + kind + "' (print, idle, offline, paperout, fault or 0xNN)";
        return false;
    }
    return true;
}

class LineParser {
public:
    LineParser(Scenario &out, std::string &error) : m_out(out), m_error(error) {}

    bool Line(const std::vector<Token> &toks)
    {
        if (toks.empty())
            return true;
        if (!IsBare(toks[0]))
            return Fail("a line starts with printer, job or timeline");
        const std::string &word = toks[0].key;
        if (word == "printer")
            return Printer(toks);
        if (word == "job")
            return JobLine(toks);
        if (word == "timeline")
            return Timeline(toks);
        return Fail("unknown keyword '" + word + "'");
    }

    bool Finish()
    {
        if (m_out.printers.empty()) {
            m_error = "no printer defined";
            return false;
        }
        return true;
    }

private:
    bool Fail(const std::string &message)
    {
        m_error = message;
        return false;
    }

    // Checks the pairs of a line against the keys it may have.
    bool Pairs(const std::vector<Token> &toks, const std::set<std::string> &allowed, const char *what)
    {
        std::set<std::string> seen;
        for (std::size_t i = 1; i < toks.size(); ++i) {
            if (IsBare(toks[i]))
                return Fail("expected key=value, got '" + toks[i].key + "'");
            if (!allowed.count(toks[i].key))
                return Fail("unknown key '" + toks[i].key + "' for " + what);
            if (!seen.insert(toks[i].key).second)
                return Fail("key '" + toks[i].key + "' given twice");
        }
        return true;
    }

    bool Number(const Token &t, long lo, long hi, long &v)
    {
        if (ParseInt(t.value, lo, hi, v))
            return true;
        return Fail(t.key + " must be " + std::to_string(lo) + " to " + std::to_string(hi) + ", got '" + t.value + "'");
    }

    bool Printer(const std::vector<Token> &toks)
    {
        if (!Pairs(toks, {"slot", "name", "port", "step", "queue", "arrive"}, "printer"))
            return false;
        PrinterScript p;
        bool haveSlot = false;
        bool haveName = false;
        for (std::size_t i = 1; i < toks.size(); ++i) {
            const Token &t = toks[i];
            long v = 0;
            if (t.key == "slot") {
                // Numbered 1 to 8, as the monitor and the probe show them; files
                // written for the first versions, which counted from 0, may hold 0.
                if (t.value == "0")
                    return Fail("slot must be 1 to 8, got '0' (slots are numbered from 1, as the monitor shows "
                                "them; a file that counts from 0 needs 1 added to each slot)");
                if (!Number(t, 1, static_cast<long>(PrinterSlots), v))
                    return false;
                p.slot = static_cast<int>(v) - 1;
                haveSlot = true;
            } else if (t.key == "name") {
                if (t.value.empty())
                    return Fail("name must not be empty (an empty name is an empty slot)");
                if (t.value.size() > NameWidth)
                    return Fail("name longer than " + std::to_string(NameWidth) + " bytes");
                p.name = t.value;
                haveName = true;
            } else if (t.key == "port") {
                if (t.value == "lpt")
                    p.lptPort = true;
                else if (t.value == "bidi")
                    p.lptPort = false;
                else
                    return Fail("port must be lpt or bidi, got '" + t.value + "'");
            } else if (t.key == "step") {
                if (!Number(t, 1, 100, v))
                    return false;
                p.step = static_cast<int>(v);
            } else if (t.key == "queue") {
                if (!Number(t, 0, MaxQueue, v))
                    return false;
                p.queue = static_cast<int>(v);
            } else if (t.key == "arrive") {
                if (!Number(t, 0, 1000000, v))
                    return false;
                p.arriveEvery = static_cast<int>(v);
            }
        }
        if (!haveSlot)
            return Fail("printer without slot=");
        if (!haveName)
            return Fail("printer without name=");
        if (!m_slots.insert(p.slot).second)
            return Fail("slot " + std::to_string(p.slot + 1) + " used twice");
        m_out.printers.push_back(p);
        m_haveTimeline = false;
        return true;
    }

    bool JobLine(const std::vector<Token> &toks)
    {
        if (m_out.printers.empty())
            return Fail("job before any printer");
        if (!Pairs(toks, {"user", "addr", "size"}, "job"))
            return false;
        Job j;
        for (std::size_t i = 1; i < toks.size(); ++i) {
            const Token &t = toks[i];
            if (t.key == "user") {
                if (t.value.size() > UserWidth)
                    return Fail("user longer than " + std::to_string(UserWidth) + " bytes");
                j.user = t.value;
            } else if (t.key == "addr") {
                if (!ParseAddress(t.value, j.address))
                    return Fail("bad address '" + t.value + "' (dotted IPv4 expected)");
            } else if (t.key == "size") {
                long v = 0;
                if (t.value == "unknown")
                    j.sizeUnknown = true;
                else if (!ParseInt(t.value, INT32_MIN, INT32_MAX, v))
                    return Fail("size must be a 32-bit number or unknown, got '" + t.value + "'");
                else
                    j.size = static_cast<std::int32_t>(v);
            }
        }
        m_out.printers.back().jobs.push_back(j);
        return true;
    }

    bool Timeline(const std::vector<Token> &toks)
    {
        if (m_out.printers.empty())
            return Fail("timeline before any printer");
        if (m_haveTimeline)
            return Fail("second timeline for one printer");
        if (toks.size() < 2)
            return Fail("timeline without phases");
        std::vector<Phase> phases;
        for (std::size_t i = 1; i < toks.size(); ++i) {
            if (!IsBare(toks[i]))
                return Fail("phase '" + toks[i].key + "=" + toks[i].value + "' is not state:steps");
            Phase ph;
            if (!ParsePhase(toks[i].key, ph, m_error))
                return false;
            phases.push_back(ph);
        }
        m_out.printers.back().timeline = phases;
        m_haveTimeline = true;
        return true;
    }

    Scenario &m_out;
    std::string &m_error;
    std::set<int> m_slots;
    bool m_haveTimeline = false;
};

}  // namespace

bool ParseScenario(const std::string &text, Scenario &out, std::string &error)
{
    Scenario result;
    std::string message;
    LineParser parser(result, message);
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::vector<Token> toks;
        if (!Tokenize(line, toks, message) || !parser.Line(toks)) {
            error = std::to_string(number) + ": " + message;
            return false;
        }
    }
    if (!parser.Finish()) {
        error = message;
        return false;
    }
    out = std::move(result);
    return true;
}

bool LoadScenarioFile(const std::string &path, Scenario &out, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open";
        return false;
    }
    // Scenarios are a few lines; a bound keeps a device or a pipe from filling memory.
    constexpr std::size_t MaxScenarioBytes = 1 << 20;
    std::string text(MaxScenarioBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > MaxScenarioBytes) {
        error = path + ": larger than 1 MiB, not a scenario";
        return false;
    }
    std::string message;
    if (!ParseScenario(text, out, message)) {
        error =
            path + (message.empty() || !std::isdigit(static_cast<unsigned char>(message[0])) ? ": " : ":") + message;
        return false;
    }
    return true;
}

}  // namespace printsim
