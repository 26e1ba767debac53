// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The plugin: the range syntax, the exit code for every kind of answer from a server on loopback, and the output:
// performance data, hostile names with -v.
#include "tests/probe/records.h"
#include "probe/check.h"
#include "probe/cli.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

using namespace kprobe;

namespace {

std::optional<Range> Threshold(const char *text)
{
    Range r;
    std::string error;
    return text && ParseRange(text, r, error) ? std::optional<Range>(r) : std::nullopt;
}

}  // namespace

TEST(PluginRanges, AlertsAsTheGuidelinesSay)
{
    const std::tuple<const char *, double, bool> cases[] = {
        {"10", -1, true},    {"10", 0, false},      {"10", 10, false},    {"10", 10.5, true},   {"10:", 9, true},
        {"10:", 1e9, false}, {"~:10", -1e9, false}, {"~:10", 11, true},   {"10:20", 9, true},   {"10:20", 20, false},
        {"10:20", 21, true}, {"@10:20", 9, false},  {"@10:20", 10, true}, {"@10:20", 20, true}, {"@10:20", 21, false},
        {"-5:-1", 0, true},  {":5", 6, true},       {"2.5", 2.6, true},   {"@~:0", -1, true},
    };
    for (const auto &[text, value, alerts] : cases) {
        const std::optional<Range> r = Threshold(text);
        ASSERT_TRUE(r) << text;
        EXPECT_EQ(r->Alerts(value), alerts) << text << " with " << value;
    }
    for (const char *text : {"", "@", "abc", "20:10", "~", "1:x", "inf", "nan", "0x10", "10::", "~:~"}) {
        Range r;
        std::string error;
        EXPECT_FALSE(ParseRange(text, r, error)) << text;
        EXPECT_NE(error.find("bad range"), std::string::npos) << text;
    }
}

// The command whole against a server on loopback, as a monitoring system runs it.
TEST(Check, ExitCodesForEveryKindOfReply)
{
    const auto full = [](std::vector<TestPrinter> printers) { return ReplyBytes(BuildReply(printers)); };
    const TestPrinter ready{"Ready"}, busy{"Busy", 0x8C, 2, 40}, off{"Off", 0x7F};
    const auto jobs = full({{"A", 0x88, 3}, {"B", 0x8C, 12, 50}});
    const struct {
        std::vector<std::uint8_t> answer;
        std::vector<const char *> options;
        int code;
        const char *start;
    } cases[] = {
        {full({ready, busy}), {}, 0, "KESTRUM OK: 2 of 2 printers ready on 127.0.0.1:"},
        {full({{"Paper", 0xA0, 1}, ready}), {}, 1, "KESTRUM WARNING: Paper PAPER OUT; 1 of 2 printers ready"},
        {full({off, {"Paper", 0xA0, 1}, ready}), {}, 2, "KESTRUM CRITICAL: Off OFFLINE; Paper PAPER OUT; 1 of 3"},
        {full({ready, off}), {"--ignore-offline"}, 0, "KESTRUM OK: 1 of 2 printers ready on 127.0.0.1:"},
        {full({busy}), {"-w", "1", "-c", "5"}, 1, "KESTRUM WARNING: Busy 2 jobs queued (warning 1)"},
        {jobs, {"-w", "5", "-c", "20"}, 1, "KESTRUM WARNING: B 12 jobs"},  // the worst printer counts
        {jobs, {"-w", "20", "-c", "10"}, 2, "KESTRUM CRITICAL: B 12 jobs"},
        {full({ready, off}), {"--printer", "2"}, 2, "KESTRUM CRITICAL: "},  // by slot or by name
        {full({ready}), {"--printer", "Missing"}, 2, "KESTRUM CRITICAL: no printer 'Missing'"},
        {{}, {"-t", "0.2"}, 2, "KESTRUM CRITICAL: no reply from 127.0.0.1:"},
        {{}, {"-t", "0.2:unknown"}, 3, "KESTRUM UNKNOWN: no reply from"},
        {ReplyBytes(BuildReply({ready}), 961), {}, 3, "KESTRUM UNKNOWN: malformed reply from 127.0.0.1:"},
        // A short reply is read by the monitor, but a plugin calls it malformed.
        {ReplyBytes(BuildReply({ready}), 130), {}, 3, "KESTRUM UNKNOWN: malformed reply"},
    };
    for (const auto &c : cases) {
        FakePrintServers server({{c.answer}});
        const std::string host = server.targets[0].Text();
        std::vector<const char *> args = {"kestrum-probe", "check", "-H", host.c_str()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        std::ostringstream out, err;
        const int code = RunCommandLine(ParseCommandLine(static_cast<int>(args.size()), args.data()), out, err);
        EXPECT_EQ(code, c.code) << c.start << "\n" << out.str() << err.str();
        EXPECT_EQ(out.str().rfind(c.start, 0), 0u) << out.str();
        EXPECT_EQ(err.str(), "") << c.start;  // a plugin says everything on stdout
        EXPECT_EQ(server.requests, 1) << c.start;
    }
}

TEST(Check, PerformanceData)
{
    const Exchange reply = Reply({{"A", 0x88, 3}, {"B", 0x8C, 12, 50}});
    CheckOptions o;
    o.warning = Threshold("5");
    o.critical = Threshold("10");
    o.verbosity = 2;
    const std::string out = EvaluateCheck(o, reply).output;
    EXPECT_NE(out.find("\nasked 10.213.0.1, waiting 1 s (then CRITICAL); warning 5, critical 10;"), std::string::npos);
    EXPECT_EQ(out.substr(0, out.find('\n')),
              "KESTRUM CRITICAL: B 12 jobs queued (critical 10); 2 of 2 printers ready on 10.213.0.1 (1 busy) | "
              "'A jobs'=3;5;10;0 'A printed'=0%;;;0;100 'B jobs'=12;5;10;0 'B printed'=50%;;;0;100 "
              "time=0.002000s;;;0;1");
    // Two printers of one name are told apart by their slots.
    const std::string twins = EvaluateCheck(CheckOptions(), Reply({{"Twin"}, {"Twin", 0x88, 1}})).output;
    EXPECT_NE(twins.find("'Twin (slot 1) jobs'=0;"), std::string::npos) << twins;
    EXPECT_NE(twins.find("'Twin (slot 2) jobs'=1;"), std::string::npos) << twins;
}

TEST(Check, HostileNamesKeepTheOutputParseable)
{
    // The name's 8-bit bytes, and how it shows in the text and the long output, and inside the quoted labels.
    // clang-format off
    const std::tuple<std::string, std::string, std::string> names[] = {
        {"A|B", "A\xC2\xA6" "B", "A\xC2\xA6" "B"},
        {"it's", "it's", "it''s"},  // a quote doubled inside the quoted label
        {"= x 'q' | y", "= x 'q' \xC2\xA6 y", "_ x ''q'' \xC2\xA6 y"},
        {"two\nlines\r", "two?lines?", "two?lines?"}, {"tab\there\x7f", "tab?here?", "tab?here?"},
        {"Drucker K\xFC" "che", "Drucker K\xC3\xBC" "che", "Drucker K\xC3\xBC" "che"},
        {"next\x85line", "next?line", "next?line"},  // Latin-1's NEL, a C1 control
        {"bar\xA6", "bar\xC2\xA6", "bar\xC2\xA6"},   // Latin-1's own broken bar
        {std::string(64, '|'), std::string(), std::string()},  // filled below
    };
    // clang-format on
    for (auto [bytes, shown, label] : names) {
        if (shown.empty())
            for (int i = 0; i < 64; ++i)
                shown += "\xC2\xA6", label += "\xC2\xA6";
        CheckOptions o;
        o.verbosity = 1;
        const CheckResult r = EvaluateCheck(o, Reply({{bytes, 0x84}}));  // a fault
        // Nagios cuts the text at the first |, then the long output at the next.
        EXPECT_EQ(r.output, "KESTRUM WARNING: " + shown + " ERROR; 0 of 1 printer ready on 10.213.0.1 | '" + label +
                                " jobs'=0;;;0 '" + label + " printed'=U;;;0;100 time=0.002000s;;;0;1\nslot 1 " + shown +
                                ": ERROR, 0 jobs queued [WARNING]\n");
    }
}
