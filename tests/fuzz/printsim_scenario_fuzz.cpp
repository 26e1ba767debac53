// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's scenario files: any text either fails with "LINE: message" naming a line of the text, or gives
// printers whose replies, over a run of answered requests, stay within the record's rules.
#include "tests/fuzz/fuzz.h"
#include "printsim/scenario.h"

#include <algorithm>
#include <cstring>

using namespace printsim;

namespace {

void CheckReply(const Scenario &s, const Simulation &sim, const StatusReply &reply)
{
    bool used[8] = {};
    for (std::size_t i = 0; i < s.printers.size(); ++i) {
        const PrinterScript &p = s.printers[i];
        FUZZ_CHECK(p.slot >= 0 && p.slot < 8 && !used[p.slot]);
        used[p.slot] = true;
        const PrinterRecord &r = reply.records[p.slot];
        FUZZ_CHECK(!p.name.empty() && p.name.size() <= NameWidth);
        FUZZ_CHECK(std::memcmp(r.printerName, p.name.data(), p.name.size()) == 0);
        FUZZ_CHECK(p.name.size() == NameWidth || r.printerName[p.name.size()] == 0);
        const PrinterState &st = sim.State(i);
        FUZZ_CHECK(st.queue >= 0 && st.queue <= MaxQueue && r.jobCount == st.queue);
        FUZZ_CHECK(st.percent >= 0 && st.percent <= 100 && r.printedPercent >= 0 && r.printedPercent <= 100);
        FUZZ_CHECK(r.docSizeUnknown <= 1 && r.portType == (p.lptPort ? 1 : 0));
    }
    for (int slot = 0; slot < 8; ++slot) {
        const auto *b = reinterpret_cast<const std::uint8_t *>(&reply.records[slot]);
        FUZZ_CHECK(used[slot] || std::all_of(b, b + sizeof(PrinterRecord), [](std::uint8_t x) { return x == 0; }));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    Scenario scenario;
    std::string error;
    if (!ParseScenario(text, scenario, error)) {
        if (error == "no printer defined")
            return 0;
        // "N: message", N a line of the text.
        const std::size_t colon = error.find(": ");
        FUZZ_CHECK(colon > 0 && colon != std::string::npos && error.find_first_not_of("0123456789") == colon, error);
        const long line = std::stol(error.substr(0, colon));
        FUZZ_CHECK(line >= 1 && line <= std::count(text.begin(), text.end(), '\n') + 1, error);
        return 0;
    }
    FUZZ_CHECK(!scenario.printers.empty() && scenario.printers.size() <= 8);
    Simulation sim(scenario);
    for (long step = 0; step < 40; ++step) {
        const StatusReply reply = sim.Reply();
        CheckReply(scenario, sim, reply);
        sim.Advance();
        FUZZ_CHECK(sim.Steps() == step + 1);
    }
    return 0;
}
