// The simulator's scenarios: the text format, how printers move from one
// answered request to the next, and the bytes of the reply they make.
#include "tools/printsim/scenario.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

using namespace printsim;

namespace {

std::int32_t Int32At(const StatusReply &reply, std::size_t offset)
{
    const auto *b = reinterpret_cast<const unsigned char *>(&reply) + offset;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                                     static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24);
}

unsigned char ByteAt(const StatusReply &reply, std::size_t offset)
{
    return reinterpret_cast<const unsigned char *>(&reply)[offset];
}

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
    const Scenario s = Parse(
        "# two printers, slot 1 left empty\n"
        "printer slot=0 name=\"Laser 1020\" port=bidi step=25 queue=2 arrive=6   # trailing comment\n"
        "job user=alice addr=192.168.1.21 size=48213\n"
        "job user=\"Bob \\\"B\\\" Smith\" addr=10.0.0.255 size=unknown\n"
        "timeline print:4 offline:2 paperout:1 fault:1 idle:3 0x7F:2\n"
        "\n"
        "\tprinter slot=2 name=Label port=lpt\n");
    ASSERT_EQ(s.printers.size(), 2u);
    const PrinterScript &a = s.printers[0];
    EXPECT_EQ(a.slot, 0);
    EXPECT_EQ(a.name, "Laser 1020");
    EXPECT_FALSE(a.lptPort);
    EXPECT_EQ(a.step, 25);
    EXPECT_EQ(a.queue, 2);
    EXPECT_EQ(a.arriveEvery, 6);
    ASSERT_EQ(a.jobs.size(), 2u);
    EXPECT_EQ(a.jobs[0].user, "alice");
    EXPECT_EQ(a.jobs[0].size, 48213);
    EXPECT_FALSE(a.jobs[0].sizeUnknown);
    EXPECT_EQ(a.jobs[1].user, "Bob \"B\" Smith");
    EXPECT_EQ(a.jobs[1].address[0], 10);
    EXPECT_EQ(a.jobs[1].address[3], 255);
    EXPECT_TRUE(a.jobs[1].sizeUnknown);
    ASSERT_EQ(a.timeline.size(), 6u);
    EXPECT_EQ(a.timeline[1].kind, PhaseKind::Offline);
    EXPECT_EQ(a.timeline[1].steps, 2);
    EXPECT_EQ(a.timeline[5].kind, PhaseKind::Raw);
    EXPECT_EQ(a.timeline[5].rawFlags, 0x7F);
    EXPECT_EQ(s.printers[1].slot, 2);
    EXPECT_TRUE(s.printers[1].lptPort);
    EXPECT_TRUE(s.printers[1].timeline.empty());
}

TEST(PrintsimScenario, RejectsBadLinesWithTheirLineNumber)
{
    const std::string name64(64, 'n');
    const std::string user33(33, 'u');
    struct Case {
        const char *what;
        std::string text;
        std::string error; // expected, exactly
    };
    const Case cases[] = {
        {"unknown keyword", "printer slot=0 name=A\nqueue 3\n", "2: unknown keyword 'queue'"},
        {"job first", "job user=a\n", "1: job before any printer"},
        {"timeline first", "timeline print:3\n", "1: timeline before any printer"},
        {"no slot", "printer name=A\n", "1: printer without slot="},
        {"no name", "printer slot=1\n", "1: printer without name="},
        {"empty name", "printer slot=1 name=\"\"\n", "1: name must not be empty (an empty name is an empty slot)"},
        {"slot too big", "printer slot=8 name=A\n", "1: slot must be 0 to 7, got '8'"},
        {"slot not a number", "printer slot=one name=A\n", "1: slot must be 0 to 7, got 'one'"},
        {"slot twice", "printer slot=3 name=A\nprinter slot=3 name=B\n", "2: slot 3 used twice"},
        {"name too long", "printer slot=0 name=" + name64 + "x\n", "1: name longer than 64 bytes"},
        {"user too long", "printer slot=0 name=A\njob user=" + user33 + "\n", "2: user longer than 32 bytes"},
        {"unknown key", "printer slot=0 name=A colour=red\n", "1: unknown key 'colour' for printer"},
        {"key twice", "printer slot=0 name=A name=B\n", "1: key 'name' given twice"},
        {"bare word", "printer slot=0 name=A fast\n", "1: expected key=value, got 'fast'"},
        {"bad port", "printer slot=0 name=A port=usb\n", "1: port must be lpt or bidi, got 'usb'"},
        {"step zero", "printer slot=0 name=A step=0\n", "1: step must be 1 to 100, got '0'"},
        {"queue too long", "printer slot=0 name=A queue=100\n", "1: queue must be 0 to 99, got '100'"},
        {"short address", "printer slot=0 name=A\njob addr=1.2.3\n", "2: bad address '1.2.3' (dotted IPv4 expected)"},
        {"octet too big", "printer slot=0 name=A\njob addr=1.2.3.256\n",
         "2: bad address '1.2.3.256' (dotted IPv4 expected)"},
        {"address tail", "printer slot=0 name=A\njob addr=1.2.3.4.5\n",
         "2: bad address '1.2.3.4.5' (dotted IPv4 expected)"},
        {"bad size", "printer slot=0 name=A\njob size=big\n",
         "2: size must be a 32-bit number or unknown, got 'big'"},
        {"size overflow", "printer slot=0 name=A\njob size=2147483648\n",
         "2: size must be a 32-bit number or unknown, got '2147483648'"},
        {"phase without length", "printer slot=0 name=A\ntimeline print\n",
         "2: phase 'print' needs a length, as in print:10"},
        {"phase length zero", "printer slot=0 name=A\ntimeline print:0\n",
         "2: phase length must be 1 to 1000000, got '0'"},
        {"unknown state", "printer slot=0 name=A\ntimeline sleeping:3\n",
         "2: unknown state 'sleeping' (print, idle, offline, paperout, fault or 0xNN)"},
        {"status byte too big", "printer slot=0 name=A\ntimeline 0x100:3\n",
         "2: status byte must be 0x00 to 0xff, got '0x100'"},
        {"empty timeline", "printer slot=0 name=A\ntimeline\n", "2: timeline without phases"},
        {"two timelines", "printer slot=0 name=A\ntimeline print:1\ntimeline idle:1\n",
         "3: second timeline for one printer"},
        {"open quote", "printer slot=0 name=\"Laser\n", "1: unterminated quote"},
        {"no key", "printer =A\n", "1: missing key before '='"},
        {"no printer at all", "# nothing\n\n", "no printer defined"},
    };
    for (const Case &c : cases) {
        Scenario s;
        s.printers.resize(1);
        std::string error;
        EXPECT_FALSE(ParseScenario(c.text, s, error)) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(s.printers.size(), 1u) << c.what << ": output touched on failure";
    }
}

TEST(PrintsimScenario, FileErrorsNameTheFile)
{
    Scenario s;
    std::string error;
    EXPECT_FALSE(LoadScenarioFile("/nonexistent/dir/x.txt", s, error));
    EXPECT_EQ(error, "/nonexistent/dir/x.txt: cannot open");

    const std::string path = ::testing::TempDir() + "printsim_bad_scenario.txt";
    {
        std::ofstream f(path);
        f << "printer slot=0 name=A\nprinter slot=9 name=B\n";
    }
    EXPECT_FALSE(LoadScenarioFile(path, s, error));
    EXPECT_EQ(error, path + ":2: slot must be 0 to 7, got '9'");
    {
        std::ofstream f(path);
        f << "# empty\n";
    }
    EXPECT_FALSE(LoadScenarioFile(path, s, error));
    EXPECT_EQ(error, path + ": no printer defined");
    std::remove(path.c_str());
}

TEST(PrintsimScenario, JobRisesToFullThenTheNextJobStarts)
{
    Simulation sim(Parse("printer slot=0 name=A step=40 queue=2\n"
                         "job user=alice addr=1.1.1.1 size=100\n"
                         "job user=bob addr=2.2.2.2 size=unknown\n"));
    struct Step {
        int percent;
        int jobs;
        const char *user;
        std::uint8_t flags;
    };
    // 100 % is shown once before the queue shortens; an empty queue is idle.
    const Step expected[] = {
        {0, 2, "alice", 0x8C}, {40, 2, "alice", 0x8C}, {80, 2, "alice", 0x8C}, {100, 2, "alice", 0x8C},
        {0, 1, "bob", 0x8C},   {40, 1, "bob", 0x8C},   {80, 1, "bob", 0x8C},   {100, 1, "bob", 0x8C},
        {0, 0, "", 0x88},      {0, 0, "", 0x88},
    };
    for (std::size_t i = 0; i < sizeof expected / sizeof expected[0]; ++i) {
        const PrinterRecord r = sim.Reply().records[0];
        EXPECT_EQ(r.printedPercent, expected[i].percent) << "step " << i;
        EXPECT_EQ(r.jobCount, expected[i].jobs) << "step " << i;
        EXPECT_EQ(std::string(r.currentUser), expected[i].user) << "step " << i;
        EXPECT_EQ(r.statusFlags, expected[i].flags) << "step " << i;
        const bool bob = std::string(r.currentUser) == "bob";
        EXPECT_EQ(r.docSizeUnknown, bob ? 1u : 0u) << "step " << i;
        EXPECT_EQ(r.docSize, std::string(r.currentUser) == "alice" ? 100 : 0) << "step " << i;
        sim.Advance();
    }
}

TEST(PrintsimScenario, TimelineHoldsProgressWhileOfflineAndRepeats)
{
    Simulation sim(Parse("printer slot=5 name=A step=10 queue=1 arrive=4\n"
                         "job user=u\n"
                         "timeline print:2 offline:2 paperout:1 fault:1 0x7f:1\n"));
    struct Step {
        std::uint8_t flags;
        int percent;
        int jobs;
    };
    const Step expected[] = {
        {0x8C, 0, 1},  {0x8C, 10, 1}, {0x00, 20, 1}, {0x00, 20, 1}, {0xA0, 20, 2},
        {0x80, 20, 2}, {0x7F, 20, 2}, {0x8C, 20, 2}, {0x8C, 30, 3},
    };
    for (std::size_t i = 0; i < sizeof expected / sizeof expected[0]; ++i) {
        const StatusReply reply = sim.Reply();
        EXPECT_EQ(reply.records[5].statusFlags, expected[i].flags) << "step " << i;
        EXPECT_EQ(reply.records[5].printedPercent, expected[i].percent) << "step " << i;
        EXPECT_EQ(reply.records[5].jobCount, expected[i].jobs) << "step " << i;
        for (int slot = 0; slot < 8; ++slot)
            EXPECT_EQ(reply.records[slot].printerName[0] != 0, slot == 5) << "slot " << slot;
        sim.Advance();
    }
}

TEST(PrintsimScenario, QueueNeverGrowsPastItsLimit)
{
    Simulation sim(Parse("printer slot=0 name=A queue=98 arrive=1\ntimeline idle:5\n"));
    for (int i = 0; i < 5; ++i)
        sim.Advance();
    EXPECT_EQ(sim.Reply().records[0].jobCount, MaxQueue);
}

TEST(PrintsimScenario, SameRequestsGiveTheSameReplies)
{
    Simulation a(DefaultScenario());
    Simulation b(DefaultScenario());
    for (int i = 0; i < 200; ++i) {
        const StatusReply ra = a.Reply();
        const StatusReply rb = b.Reply();
        ASSERT_EQ(std::memcmp(&ra, &rb, sizeof ra), 0) << "step " << i;
        a.Advance();
        b.Advance();
    }
}

TEST(PrintsimScenario, DefaultScenarioShowsEveryKindOfState)
{
    Simulation sim(DefaultScenario());
    bool offline = false, paperOut = false, fault = false, busy = false, unknownSize = false, wrapped = false;
    for (int i = 0; i < 400; ++i) {
        const StatusReply r = sim.Reply();
        for (const PrinterRecord &p : r.records) {
            if (!p.printerName[0])
                continue;
            offline |= !IsOnLine(p.statusFlags);
            paperOut |= IsOnLine(p.statusFlags) && !IsOnLineReady(p.statusFlags) && IsPaperOut(p.statusFlags);
            fault |= IsOnLine(p.statusFlags) && !IsOnLineReady(p.statusFlags) && !IsPaperOut(p.statusFlags);
            busy |= IsOnLineReady(p.statusFlags) && IsBusy(p.statusFlags);
            unknownSize |= p.docSizeUnknown == 1;
            wrapped |= p.printedPercent == 100;
        }
        sim.Advance();
    }
    EXPECT_TRUE(offline);
    EXPECT_TRUE(paperOut);
    EXPECT_TRUE(fault);
    EXPECT_TRUE(busy);
    EXPECT_TRUE(unknownSize);
    EXPECT_TRUE(wrapped);
    const StatusReply first = Simulation(DefaultScenario()).Reply();
    EXPECT_STREQ(first.records[0].printerName, "Laser 1020");
}

TEST(PrintsimScenario, ReplyBytesSitAtTheirOffsets)
{
    const std::string name64(64, 'N');
    const std::string user32(32, 'U');
    Simulation sim(Parse("printer slot=2 name=" + name64 + " port=lpt step=7 queue=3\n" +
                         "job user=" + user32 + " addr=10.20.30.40 size=-1\n"));
    sim.Advance();
    const StatusReply reply = sim.Reply();
    const std::size_t base = 2 * PrinterRecordSize;

    // A full-width name and user have no zero byte and do not spill over.
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char *>(&reply) + base, name64.data(), 64), 0);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char *>(&reply) + base + 64, user32.data(), 32), 0);
    struct Field {
        const char *what;
        std::size_t offset;
        std::int32_t value;
    };
    const Field ints[] = {
        {"docSize", 104, -1}, {"printedPercent", 108, 7}, {"jobCount", 112, 3}, {"docSizeUnknown", 116, 0},
    };
    for (const Field &f : ints)
        EXPECT_EQ(Int32At(reply, base + f.offset), f.value) << f.what;
    const unsigned char address[4] = {10, 20, 30, 40};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ByteAt(reply, base + 96 + i), address[i]) << "address byte " << i;
    EXPECT_EQ(ByteAt(reply, base + 100), 1) << "portType";
    EXPECT_EQ(ByteAt(reply, base + 101), 0x8C) << "statusFlags";
    EXPECT_EQ(ByteAt(reply, base + 102), 0);
    EXPECT_EQ(ByteAt(reply, base + 103), 0);
    // Every other slot is all zero.
    for (std::size_t i = 0; i < StatusReplySize; ++i) {
        if (i < base || i >= base + PrinterRecordSize) {
            ASSERT_EQ(ByteAt(reply, i), 0) << "byte " << i;
        }
    }
}

TEST(PrintsimScenario, ExampleFileLoads)
{
    Scenario s;
    std::string error;
    ASSERT_TRUE(LoadScenarioFile(PRINTSIM_EXAMPLE, s, error)) << error;
    ASSERT_EQ(s.printers.size(), 3u);
    EXPECT_EQ(s.printers[2].name.size(), 64u);
    EXPECT_EQ(s.printers[2].jobs[0].user.size(), 32u);
    const StatusReply reply = Simulation(s).Reply();
    EXPECT_EQ(reply.records[1].printerName[0], 0) << "slot 1 stays empty";
}
