// The simulator's scenarios: the text format, how printers move from one
// answered request to the next, and the records they make.
#include "tools/printsim/scenario.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace printsim;

namespace {

Scenario Parse(const std::string &text)
{
    Scenario s;
    std::string error;
    EXPECT_TRUE(ParseScenario(text, s, error)) << error;
    return s;
}

}  // namespace

TEST(PrintsimScenario, ParsesAGoodFile)
{
    const Scenario s = Parse("# slot 1 left empty\n"
                             "printer slot=0 name=\"Laser 1020\" port=bidi step=25 queue=2 arrive=6  # comment\n"
                             "job user=\"Bob \\\"B\\\" Smith\" addr=10.0.0.255 size=unknown\n"
                             "timeline print:4 0x7F:2\n"
                             "\n\tprinter slot=2 name=Label port=lpt\n");
    ASSERT_EQ(s.printers.size(), 2u);
    const PrinterScript &a = s.printers[0];
    EXPECT_EQ(a.name + "|" + std::to_string(a.step) + "|" + std::to_string(a.queue) + "|" + std::to_string(a.arriveEvery),
              "Laser 1020|25|2|6");
    ASSERT_EQ(a.jobs.size(), 1u);
    EXPECT_EQ(a.jobs[0].user, "Bob \"B\" Smith");
    EXPECT_EQ(a.jobs[0].address[3], 255);
    EXPECT_TRUE(a.jobs[0].sizeUnknown);
    ASSERT_EQ(a.timeline.size(), 2u);
    EXPECT_EQ(a.timeline[1].kind, PhaseKind::Raw);
    EXPECT_EQ(a.timeline[1].rawFlags, 0x7F);
    EXPECT_EQ(a.timeline[1].steps, 2);
    EXPECT_FALSE(a.lptPort);
    EXPECT_TRUE(s.printers[1].lptPort);
    EXPECT_TRUE(s.printers[1].timeline.empty());
}

TEST(PrintsimScenario, RejectsBadLinesWithTheirLineNumber)
{
    const std::string p = "printer slot=0 name=A";
    const std::pair<std::string, std::string> cases[] = {
        {p + "\nqueue 3\n", "2: unknown keyword 'queue'"},
        {"job user=a\n", "1: job before any printer"},
        {"printer name=A\n", "1: printer without slot="},
        {"printer slot=1 name=\"\"\n", "1: name must not be empty (an empty name is an empty slot)"},
        {"printer slot=8 name=A\n", "1: slot must be 0 to 7, got '8'"},
        {p + "\nprinter slot=0 name=B\n", "2: slot 0 used twice"},
        {p + std::string(64, 'n') + "\n", "1: name longer than 64 bytes"},
        {p + "\njob user=" + std::string(33, 'u') + "\n", "2: user longer than 32 bytes"},
        {p + " name=B\n", "1: key 'name' given twice"},
        {p + " fast\n", "1: expected key=value, got 'fast'"},
        {p + " queue=100\n", "1: queue must be 0 to 99, got '100'"},
        {p + "\njob addr=1.2.3.256\n", "2: bad address '1.2.3.256' (dotted IPv4 expected)"},
        {p + "\njob addr=1.2.3.4.5\n", "2: bad address '1.2.3.4.5' (dotted IPv4 expected)"},
        {p + "\njob size=2147483648\n", "2: size must be a 32-bit number or unknown, got '2147483648'"},
        {p + "\ntimeline print\n", "2: phase 'print' needs a length, as in print:10"},
        {p + "\ntimeline print:0\n", "2: phase length must be 1 to 1000000, got '0'"},
        {p + "\ntimeline 0x100:3\n", "2: status byte must be 0x00 to 0xff, got '0x100'"},
        {p + "\ntimeline\n", "2: timeline without phases"},
        {p + "\ntimeline print:1\ntimeline idle:1\n", "3: second timeline for one printer"},
        {"printer slot=0 name=\"Laser\n", "1: unterminated quote"},
        {"printer =A\n", "1: missing key before '='"},
        {"# nothing\n", "no printer defined"},
    };
    for (const auto &c : cases) {
        Scenario s;
        s.printers.resize(1);
        std::string error;
        EXPECT_FALSE(ParseScenario(c.first, s, error)) << c.second;
        EXPECT_EQ(error, c.second);
        EXPECT_EQ(s.printers.size(), 1u) << c.second << ": output touched on failure";
    }
}

TEST(PrintsimScenario, FileErrorsNameTheFile)
{
    Scenario s;
    std::string error;
    EXPECT_FALSE(LoadScenarioFile("/nonexistent/x.txt", s, error));
    EXPECT_EQ(error, "/nonexistent/x.txt: cannot open");
    const std::string path = ::testing::TempDir() + "printsim_bad_scenario.txt";
    for (const auto &c : {std::make_pair("printer slot=0 name=A\nprinter slot=9 name=B\n", ":2: slot must be 0 to 7, got '9'"),
                          std::make_pair("# empty\n", ": no printer defined")}) {
        std::ofstream(path) << c.first;
        EXPECT_FALSE(LoadScenarioFile(path, s, error));
        EXPECT_EQ(error, path + c.second);
    }
    std::remove(path.c_str());
    ASSERT_TRUE(LoadScenarioFile(PRINTSIM_EXAMPLE, s, error)) << error;
    EXPECT_EQ(Simulation(s).Reply().records[1].printerName[0], 0) << "the example leaves slot 1 empty";
}

TEST(PrintsimScenario, PrinterStateFromStepToStep)
{
    struct Step {
        std::uint8_t flags;
        int percent, jobs;
        const char *user;
    };
    struct Case {
        std::string text;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        // 100 % is shown once before the queue shortens; an empty queue is idle.
        {"printer slot=5 name=A step=40 queue=2\njob user=alice addr=1.1.1.1 size=100\njob user=bob size=unknown\n",
         {{0x8C, 0, 2, "alice"}, {0x8C, 40, 2, "alice"}, {0x8C, 80, 2, "alice"}, {0x8C, 100, 2, "alice"},
          {0x8C, 0, 1, "bob"}, {0x8C, 40, 1, "bob"}, {0x8C, 80, 1, "bob"}, {0x8C, 100, 1, "bob"}, {0x88, 0, 0, ""}}},
        // Progress holds outside print phases; a job arrives every 4 steps; the timeline repeats.
        {"printer slot=5 name=A step=10 queue=1 arrive=4\njob user=u\ntimeline print:2 offline:2 paperout:1 fault:1 0x7f:1\n",
         {{0x8C, 0, 1, "u"}, {0x8C, 10, 1, "u"}, {0x00, 20, 1, "u"}, {0x00, 20, 1, "u"}, {0xA0, 20, 2, "u"},
          {0x80, 20, 2, "u"}, {0x7F, 20, 2, "u"}, {0x8C, 20, 2, "u"}, {0x8C, 30, 3, "u"}}},
        {"printer slot=5 name=A queue=98 arrive=1\ntimeline idle:5\n", {{0x88, 0, 98, ""}, {0x88, 0, 99, ""}, {0x88, 0, 99, ""}}},
    };
    for (const Case &c : cases) {
        Simulation sim(Parse(c.text));
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE(testing::Message() << c.text << "step " << i);
            const StatusReply reply = sim.Reply();
            const PrinterRecord &r = reply.records[5];
            const Step &e = c.steps[i];
            EXPECT_EQ(r.statusFlags, e.flags);
            EXPECT_EQ(r.printedPercent, e.percent);
            EXPECT_EQ(r.jobCount, e.jobs);
            EXPECT_EQ(std::string(r.currentUser, strnlen(r.currentUser, UserWidth)), e.user);
            const bool bob = e.user == std::string("bob"), alice = e.user == std::string("alice");
            EXPECT_EQ(r.docSizeUnknown, bob ? 1u : 0u);
            EXPECT_EQ(r.docSize, alice ? 100 : 0);
            EXPECT_EQ(r.userAddress[0], alice ? 1 : 0);
            for (int slot = 0; slot < 8; ++slot)
                EXPECT_EQ(IsSlotUsed(reply.records[slot]), slot == 5) << "slot " << slot;
            sim.Advance();
        }
    }
}

TEST(PrintsimScenario, FullWidthFieldsFillTheRecord)
{
    const std::string name(64, 'N'), user(32, 'U');
    Simulation sim(Parse("printer slot=2 name=" + name + " port=lpt step=7 queue=3\njob user=" + user +
                         " addr=10.20.30.40 size=-1\n"));
    sim.Advance();
    const StatusReply reply = sim.Reply();
    const PrinterRecord &r = reply.records[2];
    // No zero byte inside either field, and nothing spilled into the next one.
    EXPECT_EQ(std::memcmp(r.printerName, name.data(), 64), 0);
    EXPECT_EQ(std::memcmp(r.currentUser, user.data(), 32), 0);
    EXPECT_EQ(std::vector<int>(r.userAddress, r.userAddress + 4), (std::vector<int>{10, 20, 30, 40}));
    EXPECT_EQ(r.portType, 1);
    EXPECT_EQ(r.docSize, -1);
    EXPECT_EQ(r.printedPercent, 7);
    EXPECT_EQ(r.reserved[0] | r.reserved[1], 0);
}

TEST(PrintsimScenario, DefaultScenarioRepeatsAndShowsEveryState)
{
    Simulation a(DefaultScenario()), b(DefaultScenario());
    bool offline = false, paperOut = false, fault = false, busy = false, unknownSize = false, full = false;
    for (int i = 0; i < 400; ++i) {
        const StatusReply ra = a.Reply(), rb = b.Reply();
        ASSERT_EQ(std::memcmp(&ra, &rb, sizeof ra), 0) << "the same requests give the same replies, step " << i;
        for (const PrinterRecord &p : ra.records) {
            const std::uint8_t f = p.statusFlags;
            offline |= IsSlotUsed(p) && !IsOnLine(f);
            paperOut |= IsOnLine(f) && !IsOnLineReady(f) && IsPaperOut(f);
            fault |= IsOnLine(f) && !IsOnLineReady(f) && !IsPaperOut(f);
            busy |= IsOnLineReady(f) && IsBusy(f);
            unknownSize |= p.docSizeUnknown == 1;
            full |= p.printedPercent == 100;
        }
        a.Advance();
        b.Advance();
    }
    EXPECT_TRUE(offline && paperOut && fault && busy && unknownSize && full);
}
