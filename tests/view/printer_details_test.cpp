// The status row and details text built from one record.
#include <gtest/gtest.h>

#include "tests/view/fake_tree.h"
#include "view/printer_details.h"

namespace {

TEST(PrinterDetails, StatusRow)
{
    struct Case {
        std::uint8_t flags;
        std::int32_t jobs, percent;
        std::uint32_t sizeUnknown;
        const char *row;  // status|jobs|percent, "-" for a percent cell without text
    };
    const Case cases[] = {
        {0x88, 0, 50, 0, "ON-LINE|0|-"},  // no job: no percent
        {0x8C, 2, 37, 0, "BUSY|2|37%"},
        {0x88, 1, 1, 0, "ON-LINE|1|1%"},
        {0x88, 1, 250, 0, "ON-LINE|1|100%"},
        {0x88, 1, -3, 0, "ON-LINE|1|-"},
        {0x84, 1, 40, 0, "ERROR|1|40%"},
        {0xA0, 3, 0, 0, "PAPER OUT|3|Size Counting..."},
        {0x7F, 3, 50, 0, "OFFLINE|3|-"},  // off line before any other bit
        {0x0C, 0, 0, 1, "OFFLINE|0|UNKNOWN"},           // unknown wins over off line and no job
        {0x88, 2, 0, 2, "ON-LINE|2|Size Counting..."},  // only exactly 1 means unknown
        {0xFF, -1, 20, 0, "BUSY|/|-"},
    };
    for (const Case &c : cases) {
        PrinterRecord r = MakeRecord("P", c.flags);
        r.jobCount = c.jobs;
        r.printedPercent = c.percent;
        r.docSizeUnknown = c.sizeUnknown;
        const StatusRow row = MakeStatusRow(r);
        EXPECT_EQ(row.status + "|" + row.jobs + "|" + row.percent.value_or("-"), c.row)
            << std::hex << int(c.flags) << std::dec << " jobs " << c.jobs << " percent " << c.percent;
    }
    // The count is one character, '0' plus its low byte; no character when that is 0.
    const std::pair<std::int32_t, std::string> jobs[] = {
        {10, ":"}, {256, "0"}, {-48, ""}, {208, ""}, {207, "\xFF"}, {INT32_MAX, "/"}, {INT32_MIN, "0"},
    };
    for (const auto &c : jobs)
        EXPECT_EQ(FormatJobCount(c.first), c.second) << c.first;
}

TEST(PrinterDetails, DetailsText)
{
    struct Size {
        std::int32_t size;
        std::uint32_t unknown;
        const char *part;
    };
    const Size sizes[] = {
        {1, 0, "1 Bytes\r\n"},           {1023, 0, "1023 Bytes\r\n"},        {1024, 0, "1.00K Bytes\r\n"},
        {123456, 0, "120.56K Bytes\r\n"}, {1048575, 0, "1024.00K Bytes\r\n"}, {1048576, 0, "1.00M Bytes\r\n"},
        {INT32_MAX, 0, "2048.00M Bytes\r\n"}, {0, 0, ""}, {INT32_MIN, 0, ""}, {-1, 1, "UNKNOWN\r\n"},
        {1536, 2, "1.50K Bytes\r\n"},
    };
    const std::string idle = "Port Type: \t\tBi-direction\r\nCurrent User: \t\t\r\nIP Address: \t\t\r\n";
    for (const Size &c : sizes) {
        PrinterRecord r = MakeRecord("P");
        r.docSize = c.size;
        r.docSizeUnknown = c.unknown;
        EXPECT_EQ(FormatDetailsText(r), idle + "Current Doc Size: \t\t" + c.part) << c.size << " unknown " << c.unknown;
    }

    // The address shows only while a job is queued; the user always. Bytes stay as sent.
    PrinterRecord r = MakeRecord("P");
    r.portType = 7;
    std::memcpy(r.currentUser, "J\xF6rg", 4);
    const std::uint8_t address[] = {10, 0, 0, 255};
    std::memcpy(r.userAddress, address, 4);
    for (std::int32_t jobs : {1, 0, -1}) {
        r.jobCount = jobs;
        EXPECT_EQ(FormatDetailsText(r), std::string("Port Type: \t\tLPT\r\nCurrent User: \t\tJ\xF6rg\r\nIP Address: \t\t") +
                                            (jobs > 0 ? "10.0.0.255" : "") + "\r\nCurrent Doc Size: \t\t")
            << jobs;
    }

    // A user filling all 32 bytes must not run into the address bytes behind it.
    std::memset(r.currentUser, 'U', sizeof r.currentUser);
    EXPECT_NE(FormatDetailsText(r).find("User: \t\t" + std::string(32, 'U') + "\r\n"), std::string::npos);
}

}  // namespace
