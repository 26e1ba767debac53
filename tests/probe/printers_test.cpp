// Printers as the probe reports them: the monitor's texts, 8-bit names, JSON
// that reads back to the same values, the text table, and target parsing.
#include "tools/probe/printers.h"
#include "tools/probe/target.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kprobe;

namespace {

StatusReply Scenario()
{
    StatusReply reply;
    std::memset(&reply, 0, sizeof reply);
    PrinterRecord &a = reply.records[0];
    std::strcpy(a.printerName, "Laser 1020");
    std::strcpy(a.currentUser, "alice");
    const std::uint8_t addr[4] = {192, 168, 1, 20};
    std::memcpy(a.userAddress, addr, 4);
    a.statusFlags = 0x8C;
    a.jobCount = 2;
    a.printedPercent = 37;
    a.docSize = 1536;
    PrinterRecord &b = reply.records[2];  // slot 2 stays empty
    std::strcpy(b.printerName, "Drucker K\xFC" "che");
    std::strcpy(b.currentUser, "J\xF6rg");
    b.portType = 1;
    b.statusFlags = 0xA0;
    b.jobCount = 1;
    b.docSizeUnknown = 1;
    PrinterRecord &c = reply.records[3];
    std::memset(c.printerName, 'W', sizeof c.printerName);  // 64 bytes, no zero
    c.statusFlags = 0x7F;
    c.jobCount = 3;
    c.printedPercent = 50;
    c.docSize = 5000000;
    PrinterRecord &d = reply.records[7];
    std::strcpy(d.printerName, "Matrix");
    d.statusFlags = 0x84;
    return reply;
}

}  // namespace

TEST(Printers, TheMonitorsTextsAndTheStateBits)
{
    const std::vector<PrinterView> p = ViewPrinters(Scenario());
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].slot, 1);
    EXPECT_EQ(p[0].status, "BUSY");
    EXPECT_TRUE(p[0].online && p[0].ready && p[0].busy && !p[0].paperOut && !p[0].fault);
    EXPECT_EQ(p[0].printed, std::optional<std::string>("37%"));
    EXPECT_EQ(p[0].printedRatio, std::optional<double>(0.37));
    EXPECT_EQ(p[0].userAddress, std::optional<std::string>("192.168.1.20"));
    EXPECT_EQ(p[0].size, std::optional<std::string>("1.50K Bytes"));
    EXPECT_EQ(p[0].portType, "Bi-direction");

    EXPECT_EQ(p[1].slot, 3);
    EXPECT_EQ(p[1].name, "Drucker K\xC3\xBC" "che");  // Latin-1 in, UTF-8 out
    EXPECT_EQ(p[1].user, "J\xC3\xB6rg");
    EXPECT_EQ(p[1].status, "PAPER OUT");
    EXPECT_TRUE(p[1].online && !p[1].ready && p[1].paperOut && !p[1].fault);
    EXPECT_EQ(p[1].printed, std::optional<std::string>("UNKNOWN"));
    EXPECT_FALSE(p[1].printedRatio);
    EXPECT_EQ(p[1].size, std::optional<std::string>("UNKNOWN"));
    EXPECT_EQ(p[1].portType, "LPT");

    EXPECT_EQ(p[2].name, std::string(64, 'W'));
    EXPECT_EQ(p[2].status, "OFFLINE");
    EXPECT_TRUE(!p[2].online && !p[2].ready && !p[2].paperOut && !p[2].fault);
    EXPECT_FALSE(p[2].printed);  // off line: no per cent
    EXPECT_EQ(p[2].size, std::optional<std::string>("4.77M Bytes"));

    EXPECT_EQ(p[3].slot, 8);
    EXPECT_EQ(p[3].status, "ERROR");
    EXPECT_TRUE(p[3].fault && !p[3].paperOut);
    EXPECT_FALSE(p[3].userAddress);  // no job queued: no address
    EXPECT_FALSE(p[3].size);
}

TEST(Printers, JsonReadsBackToTheSameValues)
{
    Exchange e;
    std::string error;
    ASSERT_TRUE(ParseTarget("10.213.0.1", e.target, error));
    e.outcome = Outcome::Reply;
    e.replyBytes = 960;
    e.seconds = 0.0012345678901234;
    e.reply = Scenario();
    Exchange silent;
    ASSERT_TRUE(ParseTarget("10.213.0.9:6000", silent.target, error));
    silent.seconds = 1;
    const std::vector<ServerStatus> servers = {MakeServerStatus(e), MakeServerStatus(silent)};
    const std::string text = StatusJson(servers);
    const nlohmann::json parsed = nlohmann::json::parse(text);
    const auto back = parsed.at("servers").get<std::vector<ServerStatus>>();
    ASSERT_EQ(back.size(), 2u);
    EXPECT_TRUE(back[0] == servers[0]);
    EXPECT_TRUE(back[1] == servers[1]);
    EXPECT_EQ(back[1].outcome, "silent");
    EXPECT_EQ(back[1].address, "10.213.0.9:6000");
    EXPECT_EQ(back[1].replyBytes, -1);
    EXPECT_TRUE(parsed["servers"][1]["reply_bytes"].is_null());
    EXPECT_EQ(parsed["servers"][0]["printers"][1]["name"], "Drucker K\xC3\xBC" "che");
}

TEST(Printers, TextTableLinesUpByCharacters)
{
    Exchange e;
    std::string error;
    ParseTarget("10.213.0.1", e.target, error);
    e.outcome = Outcome::Reply;
    e.replyBytes = 960;
    e.reply = Scenario();
    Exchange silent = e;
    silent.outcome = Outcome::Silent;
    const std::string text = StatusText({MakeServerStatus(e), MakeServerStatus(silent)}, 1.0);
    std::vector<std::string> lines;
    for (std::size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(text.substr(at, nl - at));
    ASSERT_EQ(lines.size(), 7u) << text;
    EXPECT_EQ(lines[0].rfind("10.213.0.1: 4 printers, reply of 960 bytes in ", 0), 0u);
    EXPECT_EQ(lines[6], "10.213.0.1: no reply within 1 s");
    // The STATUS column starts at the same character on every row.
    const std::size_t column = DisplayWidth(lines[1].substr(0, lines[1].find("STATUS")));
    for (int i = 2; i <= 5; ++i) {
        const std::string &row = lines[static_cast<std::size_t>(i)];
        std::size_t at = std::string::npos;
        for (const char *status : {"BUSY", "PAPER OUT", "OFFLINE", "ERROR"})
            at = std::min(at, row.find(status));
        EXPECT_EQ(DisplayWidth(row.substr(0, at)), column) << row;
    }
}

TEST(Targets, ParsedStrictly)
{
    struct Case {
        const char *text;
        bool ok;
        const char *shown;
    };
    const Case cases[] = {
        {"10.213.0.1", true, "10.213.0.1"},
        {"10.213.0.1:60000", true, "10.213.0.1"},
        {"127.0.0.1:6000", true, "127.0.0.1:6000"},
        {"192.168.1.255", true, "192.168.1.255"},
        {"", false, ""},
        {"printer.example", false, ""},
        {"10.213.0", false, ""},
        {"10.213.0.256", false, ""},
        {"010.213.0.1", false, ""},
        {"10.213.0.1:", false, ""},
        {"10.213.0.1:0", false, ""},
        {"10.213.0.1:65536", false, ""},
        {"10.213.0.1:80x", false, ""},
        {"10.213.0.1:-1", false, ""},
        {" 10.213.0.1", false, ""},
        {"0.0.0.0", false, ""},
        {"255.255.255.255", false, ""},
        {"224.0.0.1", false, ""},
        {"10.213.0.1:6000:1", false, ""},
    };
    for (const Case &c : cases) {
        Target t;
        std::string error;
        EXPECT_EQ(ParseTarget(c.text, t, error), c.ok) << c.text;
        if (c.ok)
            EXPECT_EQ(t.Text(), c.shown);
        else
            EXPECT_FALSE(error.empty()) << c.text;
    }
}
