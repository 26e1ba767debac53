// The plugin's exit code and output for every kind of answer.
#include "tools/probe/check.h"

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

using namespace kprobe;

namespace {

PrinterRecord Printer(const char *name, std::uint8_t flags, std::int32_t jobs, std::int32_t percent = 0)
{
    PrinterRecord r;
    std::memset(&r, 0, sizeof r);
    std::strncpy(r.printerName, name, sizeof r.printerName);
    r.statusFlags = flags;
    r.jobCount = jobs;
    r.printedPercent = percent;
    return r;
}

Exchange Reply(std::vector<PrinterRecord> printers, long bytes = 960)
{
    Exchange e;
    std::string error;
    ParseTarget("10.213.0.1", e.target, error);
    e.outcome = Outcome::Reply;
    e.replyBytes = bytes;
    e.seconds = 0.002;
    std::memset(&e.reply, 0, sizeof e.reply);
    for (std::size_t i = 0; i < printers.size(); ++i)
        e.reply.records[i] = printers[i];
    return e;
}

CheckOptions Options(const char *warning = nullptr, const char *critical = nullptr)
{
    CheckOptions o;
    std::string error;
    Range r;
    if (warning && ParseRange(warning, r, error))
        o.warning = r;
    if (critical && ParseRange(critical, r, error))
        o.critical = r;
    return o;
}

std::string FirstLine(const std::string &text) { return text.substr(0, text.find('\n')); }

}  // namespace

TEST(Check, StatesFollowThePrinters)
{
    const PrinterRecord ready = Printer("Ready", 0x88, 0);
    const PrinterRecord busy = Printer("Busy", 0x8C, 2, 40);
    const PrinterRecord paper = Printer("Paper", 0xA0, 1);
    const PrinterRecord fault = Printer("Fault", 0x84, 1);
    const PrinterRecord offline = Printer("Off", 0x7F, 3);
    struct Case {
        std::vector<PrinterRecord> printers;
        bool ignoreOffline;
        PluginState state;
        const char *summaryStart;
    };
    const Case cases[] = {
        {{ready, busy}, false, StateOk, "KESTRUM OK: 2 of 2 printers ready on 10.213.0.1 (1 busy) | "},
        {{ready, paper}, false, StateWarning, "KESTRUM WARNING: Paper PAPER OUT; 1 of 2 printers ready"},
        {{ready, fault}, false, StateWarning, "KESTRUM WARNING: Fault ERROR; "},
        {{paper, offline}, false, StateCritical, "KESTRUM CRITICAL: Off OFFLINE; Paper PAPER OUT; 0 of 2"},
        {{ready, offline}, true, StateOk, "KESTRUM OK: 1 of 2 printers ready on 10.213.0.1, 1 off line (ignored)"},
        {{}, false, StateOk, "KESTRUM OK: 0 of 0 printers ready"},
    };
    for (const Case &c : cases) {
        CheckOptions o = Options();
        o.ignoreOffline = c.ignoreOffline;
        const CheckResult r = EvaluateCheck(o, Reply(c.printers));
        EXPECT_EQ(r.state, c.state) << r.output;
        EXPECT_EQ(r.output.rfind(c.summaryStart, 0), 0u) << r.output;
        // One line per printer after the first.
        EXPECT_EQ(static_cast<std::size_t>(std::count(r.output.begin(), r.output.end(), '\n')),
                  c.printers.size() + 1)
            << r.output;
    }
}

TEST(Check, JobThresholdsUseTheRangeSyntax)
{
    // A shows "Size Counting..." (0 %), B 50 %.
    const std::vector<PrinterRecord> printers = {Printer("A", 0x88, 3), Printer("B", 0x8C, 12, 50)};
    struct Case {
        const char *warning;
        const char *critical;
        PluginState state;
    };
    const Case cases[] = {
        {"5", "20", StateWarning},   {"20", "10", StateCritical}, {"20", "20", StateOk},
        {"@3:3", nullptr, StateWarning}, {nullptr, "~:2", StateCritical}, {"4:", nullptr, StateWarning},
    };
    for (const Case &c : cases) {
        const CheckResult r = EvaluateCheck(Options(c.warning, c.critical), Reply(printers));
        EXPECT_EQ(r.state, c.state) << (c.warning ? c.warning : "-") << " " << (c.critical ? c.critical : "-")
                                    << "\n" << r.output;
    }
    const CheckResult r = EvaluateCheck(Options("5", "10"), Reply(printers));
    EXPECT_EQ(FirstLine(r.output),
              "KESTRUM CRITICAL: B 12 jobs queued (critical 10); 2 of 2 printers ready on 10.213.0.1 (1 busy) | "
              "'A jobs'=3;5;10;0 'A printed'=0%;;;0;100 'B jobs'=12;5;10;0 'B printed'=50%;;;0;100 "
              "time=0.002000s;;;0;1");
}

TEST(Check, NoReplyMalformedReplyAndNamedPrinter)
{
    CheckOptions o = Options();
    Exchange silent = Reply({});
    silent.outcome = Outcome::Silent;
    silent.replyBytes = -1;
    silent.seconds = 1;
    CheckResult r = EvaluateCheck(o, silent);
    EXPECT_EQ(r.state, StateCritical);
    EXPECT_EQ(FirstLine(r.output), "KESTRUM CRITICAL: no reply from 10.213.0.1 within 1 s | time=1.000000s;;;0;1");
    o.timeoutState = StateUnknown;
    EXPECT_EQ(EvaluateCheck(o, silent).state, StateUnknown);

    Exchange oversized = Reply({});
    oversized.outcome = Outcome::Oversized;
    oversized.replyBytes = 961;
    r = EvaluateCheck(Options(), oversized);
    EXPECT_EQ(r.state, StateUnknown);
    EXPECT_NE(r.output.find("malformed reply from 10.213.0.1: 961 bytes, expected 960"), std::string::npos);
    // A short reply is read by the monitor, but a plugin calls it malformed.
    EXPECT_EQ(EvaluateCheck(Options(), Reply({Printer("A", 0x88, 0)}, 130)).state, StateUnknown);

    Exchange failed = Reply({});
    failed.outcome = Outcome::Failed;
    EXPECT_EQ(EvaluateCheck(Options(), failed).state, StateCritical);

    const auto two = Reply({Printer("Ready", 0x88, 0), Printer("Off", 0x00, 0)});
    o = Options();
    o.printer = "Ready";
    EXPECT_EQ(EvaluateCheck(o, two).state, StateOk);
    o.printer = "2";  // by slot
    EXPECT_EQ(EvaluateCheck(o, two).state, StateCritical);
    o.printer = "Missing";
    r = EvaluateCheck(o, two);
    EXPECT_EQ(r.state, StateCritical);
    EXPECT_NE(r.output.find("no printer 'Missing'"), std::string::npos);
}

TEST(Check, PerformanceDataLabels)
{
    EXPECT_EQ(PerfLabel("a=b'c d"), "'a_b_c d'");
    // Two printers of one name are told apart by their slots.
    const CheckResult r = EvaluateCheck(Options(), Reply({Printer("Twin", 0x88, 0), Printer("Twin", 0x88, 1)}));
    EXPECT_NE(r.output.find("'Twin (slot 1) jobs'=0"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("'Twin (slot 2) jobs'=1"), std::string::npos) << r.output;
}
