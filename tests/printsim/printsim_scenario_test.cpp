// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's scenarios (the text format, how printers move from one answered request to the next, the records
// they make) and its command line; the fault shapes are checked on the wire by printsim_loopback_test.sh.
#include "printsim/options.h"
#include "printsim/scenario.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using namespace printsim;

static Scenario Parse(const std::string &text)
{
    Scenario s;
    std::string error;
    EXPECT_TRUE(ParseScenario(text, s, error)) << error;
    return s;
}

// A record as flags/percent/jobs/user/size ("?": unknown).
static std::string Shown(const PrinterRecord &r)
{
    char text[80];
    std::snprintf(text, sizeof text, "%x/%d/%d/%s/%s", r.statusFlags, r.printedPercent, r.jobCount,
                  std::string(r.currentUser, strnlen(r.currentUser, UserWidth)).c_str(),
                  r.docSizeUnknown == 1 ? "?" : std::to_string(r.docSize).c_str());
    return text;
}

TEST(PrintsimScenario, ParsesAGoodFile)
{
    // Quotes, comments, a raw status byte; a name and a user that fill their fields.
    const std::string name(64, 'N'), user(30, 'U');
    // clang-format off
    Simulation sim(Parse("# slot 2 left empty\nprinter slot=3 name=" + name + " port=lpt step=7 queue=3 arrive=6"
                         "  # comment\njob user=\"" + user + "\\\"B\" addr=10.20.30.40 size=-1\n"
                         "timeline print:4 0x7F:2\n\n\tprinter slot=1 name=\"Laser 1020\" port=bidi\n"));
    // clang-format on
    sim.Advance();
    const StatusReply reply = sim.Reply();
    const PrinterRecord &r = reply.records[2];
    EXPECT_EQ(std::string(r.printerName, 64), name);
    EXPECT_EQ(Shown(r), "8c/7/3/" + user + "\"B/-1");
    EXPECT_EQ(std::vector<int>(r.userAddress, r.userAddress + 4), (std::vector<int>{10, 20, 30, 40}));
    EXPECT_EQ(r.portType + reply.records[0].portType * 2, 1);
    EXPECT_EQ(r.reserved[0] | r.reserved[1], 0);
    EXPECT_STREQ(reply.records[0].printerName, "Laser 1020");
    EXPECT_FALSE(IsSlotUsed(reply.records[1]));
}

TEST(PrintsimScenario, RejectsBadLinesNamingWhere)
{
    Scenario s;
    std::string error;
    const std::string p = "printer slot=1 name=A";
    const std::pair<std::string, std::string> cases[] = {
        {p + "\nqueue 3\n", "2: unknown keyword 'queue'"},
        {"job user=a\n", "1: job before any printer"},
        {"printer slot=9 name=A\n", "1: slot must be 1 to 8, got '9'"},
        // Files that counted from 0 get a hint.
        {"printer slot=0 name=A\n", "1: slot must be 1 to 8, got '0' (slots are numbered from 1, as the monitor shows "
                                    "them; a file that counts from 0 needs 1 added to each slot)"},
        {p + "\nprinter slot=1 name=B\n", "2: slot 1 used twice"},
        {p + std::string(64, 'n') + "\n", "1: name longer than 64 bytes"},
        {p + " name=B\n", "1: key 'name' given twice"},
        {p + "\ntimeline 0x100:3\n", "2: status byte must be 0x00 to 0xff, got '0x100'"},
        {"printer slot=1 name=\"Laser\n", "1: unterminated quote"},
        {"# nothing\n", "no printer defined"},
    };
    for (const auto &c : cases) {
        s.printers.resize(1);
        EXPECT_FALSE(ParseScenario(c.first, s, error)) << c.second;
        EXPECT_EQ(error, c.second);
        EXPECT_EQ(s.printers.size(), 1u) << c.second << ": output touched on failure";
    }
    ASSERT_TRUE(LoadScenarioFile(PRINTSIM_EXAMPLE, s, error)) << error;
    EXPECT_EQ(Simulation(s).Reply().records[1].printerName[0], 0) << "the example leaves slot 2 empty";
}

TEST(PrintsimScenario, PrinterStateFromStepToStep)
{
    // Slot 5 at each answered request.
    const std::pair<std::string, std::string> cases[] = {
        // 100 % is shown once before the queue shortens; an empty queue is idle.
        {"printer slot=6 name=A step=40 queue=2\njob user=alice size=100\njob user=bob size=unknown\n",
         "8c/0/2/alice/100 8c/40/2/alice/100 8c/80/2/alice/100 8c/100/2/alice/100 8c/0/1/bob/? 8c/40/1/bob/? "
         "8c/80/1/bob/? 8c/100/1/bob/? 88/0/0//0"},
        // Progress holds outside print phases; a job arrives every 4 steps; the timeline repeats.
        {"printer slot=6 name=A step=10 queue=1 arrive=4\njob user=u\ntimeline print:2 offline:2 paperout:1 fault:1 "
         "0x7f:1\n",
         "8c/0/1/u/0 8c/10/1/u/0 0/20/1/u/0 0/20/1/u/0 a0/20/2/u/0 80/20/2/u/0 7f/20/2/u/0 8c/20/2/u/0 8c/30/3/u/0"},
        {"printer slot=6 name=A queue=98 arrive=1\ntimeline idle:5\n", "88/0/98//0 88/0/99//0 88/0/99//0"},
    };
    for (const auto &[text, expected] : cases) {
        Simulation sim(Parse(text));
        std::string steps;
        for (; steps.size() < expected.size(); sim.Advance()) {
            const StatusReply reply = sim.Reply();
            steps += (steps.empty() ? "" : " ") + Shown(reply.records[5]);
            for (int slot = 0; slot < 8; ++slot)
                EXPECT_EQ(IsSlotUsed(reply.records[slot]), slot == 5) << "slot " << slot;
        }
        EXPECT_EQ(steps, expected) << text;
    }
}

// What a good command line sets, or the error of a bad one. Help and version come back to the caller.
TEST(PrintsimOptions, CommandLines)
{
    const std::pair<std::vector<const char *>, std::string> cases[] = {
        {{"--port", "5", "--port", "0", "--stop-after", "3", "--reply", "oversized", "--discovery-reply", "garbage"},
         "0 0 stop 3 faults 2 2 :60000 1000"},  // the last of a repeated option counts
        {{"--probe", "10.213.0.255:6000", "--broadcast"}, "1 60000 stop -1 faults 0 0 10.213.0.255:6000 2000"},
        {{"--request", "127.0.0.1"}, "2 60000 stop -1 faults 0 0 127.0.0.1:60000 1000"},
        {{"--port", "0", "--help"}, "3 60000 stop -1 faults 0 0 :60000 -1"},
        {{"--port"}, "--port needs a value"},
        {{"--wait-ms", "-1"}, "--wait-ms: '-1' is not"},
        {{"--probe", "1.2.3.4", "--request", "1.2.3.4"}, "--probe and --request exclude each other"},
        {{"--verbose"}, "unknown option '--verbose' (try --help)"},
    };
    for (auto [args, expected] : cases) {
        Options o;
        std::string error;
        args.insert(args.begin(), "kestrum-printsim");
        const bool ok = ParseOptions(static_cast<int>(args.size()), args.data(), o, error);
        const std::string got = std::to_string(int(o.mode)) + " " + std::to_string(o.port) + " stop " +
                                std::to_string(o.stopAfter) + " faults " + std::to_string(int(o.replyFault)) + " " +
                                std::to_string(int(o.discoveryFault)) + " " + o.target + ":" +
                                std::to_string(o.targetPort) + " " + std::to_string(o.waitMs);
        EXPECT_EQ(ok ? got : error.substr(0, expected.size()), expected) << args[1];
    }
}
