// The simulator's scenario files: any text either fails with "LINE: message"
// naming a line of the text, or gives printers whose replies, over a run of
// answered requests and in every fault shape, stay within the record's rules.
#include "tests/fuzz/fuzz_check.h"

#include "tools/printsim/replies.h"
#include "tools/printsim/scenario.h"

#include <algorithm>
#include <cstring>
#include <set>

using namespace printsim;

namespace {

constexpr int kSteps = 40;

void CheckReply(const Scenario &s, const Simulation &sim, const StatusReply &reply)
{
    std::set<int> slots;
    for (std::size_t i = 0; i < s.printers.size(); ++i) {
        const PrinterScript &p = s.printers[i];
        FUZZ_CHECK(p.slot >= 0 && p.slot < 8 && slots.insert(p.slot).second);
        const PrinterRecord &r = reply.records[p.slot];
        FUZZ_CHECK(!p.name.empty() && p.name.size() <= NameWidth);
        FUZZ_CHECK(std::memcmp(r.printerName, p.name.data(), p.name.size()) == 0);
        FUZZ_CHECK(p.name.size() == NameWidth || r.printerName[p.name.size()] == 0);
        FUZZ_CHECK(r.printerName[0] != 0 || p.name[0] == 0);
        const PrinterState &st = sim.State(i);
        FUZZ_CHECK(st.queue >= 0 && st.queue <= MaxQueue && r.jobCount == st.queue);
        FUZZ_CHECK(st.percent >= 0 && st.percent <= 100);
        FUZZ_CHECK(r.printedPercent >= 0 && r.printedPercent <= 100);
        FUZZ_CHECK(r.docSizeUnknown == 0 || r.docSizeUnknown == 1);
        FUZZ_CHECK(r.portType == (p.lptPort ? 1 : 0));
    }
    for (int slot = 0; slot < 8; ++slot)
        if (!slots.count(slot)) {
            const auto *b = reinterpret_cast<const std::uint8_t *>(&reply.records[slot]);
            FUZZ_CHECK(std::all_of(b, b + sizeof(PrinterRecord), [](std::uint8_t x) { return x == 0; }));
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    Scenario scenario;
    std::string error;
    if (!ParseScenario(text, scenario, error)) {
        FUZZ_CHECK(!error.empty());
        if (error != "no printer defined") {
            // "N: message", N a line of the text.
            const std::size_t colon = error.find(": ");
            FUZZ_CHECK_MSG(colon != std::string::npos && colon > 0 &&
                               error.find_first_not_of("0123456789") == colon,
                           error);
            const long line = std::stol(error.substr(0, colon));
            const long lines = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
            FUZZ_CHECK_MSG(line >= 1 && line <= lines, error);
        }
        return 0;
    }
    FUZZ_CHECK(!scenario.printers.empty() && scenario.printers.size() <= 8);
    Simulation sim(scenario);
    for (int step = 0; step < kSteps; ++step) {
        const StatusReply reply = sim.Reply();
        CheckReply(scenario, sim, reply);
        for (ReplyFault f : {ReplyFault::None, ReplyFault::Short, ReplyFault::Oversized, ReplyFault::Garbage}) {
            const std::vector<std::uint8_t> d = StatusDatagram(reply, f, static_cast<std::uint32_t>(step));
            switch (f) {
            case ReplyFault::None: FUZZ_CHECK(d.size() == StatusReplySize); break;
            case ReplyFault::Short: FUZZ_CHECK(d.size() == ShortReplySize); break;
            case ReplyFault::Oversized: FUZZ_CHECK(d.size() == OversizedReplySize); break;
            case ReplyFault::Garbage: FUZZ_CHECK(d.size() >= GarbageMinSize && d.size() <= GarbageMaxSize); break;
            }
            if (f != ReplyFault::Garbage)
                FUZZ_CHECK(std::memcmp(d.data(), &reply, std::min(d.size(), StatusReplySize)) == 0);
        }
        sim.Advance();
        FUZZ_CHECK(sim.Steps() == step + 1);
    }
    return 0;
}
