// The status row and details text built from one record.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "tests/view/record_builder.h"
#include "view/printer_details.h"

namespace {

const std::optional<std::string> kNoText = std::nullopt;

TEST(PrinterDetails, StatusRow)
{
    struct Case {
        std::uint8_t flags;
        std::int32_t jobs;
        std::int32_t percent;
        std::uint32_t sizeUnknown;
        const char *status;
        std::string jobsText;
        std::optional<std::string> percentText;
    };
    const Case cases[] = {
        {0x88, 0, 0, 0, "ON-LINE", "0", kNoText},
        {0x8C, 2, 37, 0, "BUSY", "2", "37%"},
        {0x88, 1, 5, 0, "ON-LINE", "1", "5%"},
        {0x88, 1, 100, 0, "ON-LINE", "1", "100%"},
        {0x88, 1, 250, 0, "ON-LINE", "1", "100%"},
        {0x8C, 1, 0, 0, "BUSY", "1", "Size Counting..."},
        {0x88, 1, -3, 0, "ON-LINE", "1", kNoText},
        {0x84, 1, 40, 0, "ERROR", "1", "40%"},
        {0xA0, 3, 0, 0, "PAPER OUT", "3", "Size Counting..."},
        {0x08, 3, 50, 0, "OFFLINE", "3", kNoText},
        {0x0C, 0, 0, 1, "OFFLINE", "0", "UNKNOWN"},
        {0xFF, 10, 20, 0, "BUSY", ":", "20%"},
        {0x7F, 256, 20, 0, "OFFLINE", "0", kNoText},
        {0x88, 256, 20, 0, "ON-LINE", "0", "20%"},
        {0x88, -1, 20, 0, "ON-LINE", "/", kNoText},
        {0x88, 2, 0, 2, "ON-LINE", "2", "Size Counting..."},
        // Around the digit boundaries and the extremes.
        {0x88, 1, 9, 0, "ON-LINE", "1", "9%"},
        {0x88, 1, 10, 0, "ON-LINE", "1", "10%"},
        {0x88, 1, 99, 0, "ON-LINE", "1", "99%"},
        {0x88, 1, INT32_MAX, 0, "ON-LINE", "1", "100%"},
        {0x88, 1, INT32_MIN, 0, "ON-LINE", "1", kNoText},
        {0x88, INT32_MIN, 20, 0, "ON-LINE", "0", kNoText},
        {0x80, 1, 20, 0, "ERROR", "1", "20%"},
        {0x00, -5, -5, 1, "OFFLINE", "+", "UNKNOWN"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << int(c.flags) << std::dec << " jobs "
                                        << c.jobs << " percent " << c.percent << " unknown " << c.sizeUnknown);
        PrinterRecord r = MakeRecord("P", c.flags);
        r.jobCount = c.jobs;
        r.printedPercent = c.percent;
        r.docSizeUnknown = c.sizeUnknown;
        EXPECT_EQ(GetStatusText(c.flags), c.status);
        EXPECT_EQ(FormatJobCount(c.jobs), c.jobsText);
        EXPECT_EQ(FormatPrintedPercent(r), c.percentText);
        const StatusRow row = MakeStatusRow(r);
        EXPECT_EQ(row.status, c.status);
        EXPECT_EQ(row.jobs, c.jobsText);
        EXPECT_EQ(row.percent, c.percentText);
    }
}

TEST(PrinterDetails, JobCountIsOneWrappedCharacter)
{
    struct Case {
        std::int32_t jobs;
        std::string text;
    };
    const Case cases[] = {
        {0, "0"},     {9, "9"},          {10, ":"},         {-1, "/"},          {256, "0"},
        {-48, ""},    {208, ""},         {464, ""},         {207, "\xFF"},      {209, "\x01"},
        {79, "\x7F"}, {80, "\x80"},      {0x7FFFFFFF, "/"}, {INT32_MIN, "0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.jobs);
        EXPECT_EQ(FormatJobCount(c.jobs), c.text);
    }
}

TEST(PrinterDetails, SizePart)
{
    struct Case {
        std::int32_t size;
        std::uint32_t unknown;
        const char *part;
    };
    const Case cases[] = {
        {1, 0, "1 Bytes\r\n"},
        {1023, 0, "1023 Bytes\r\n"},
        {1024, 0, "1.00K Bytes\r\n"},
        {1536, 0, "1.50K Bytes\r\n"},
        {123456, 0, "120.56K Bytes\r\n"},
        {1048575, 0, "1024.00K Bytes\r\n"},
        {1048576, 0, "1.00M Bytes\r\n"},
        {5000000, 0, "4.77M Bytes\r\n"},
        {2147483647, 0, "2048.00M Bytes\r\n"},
        {0, 0, ""},
        {-1, 0, ""},
        {INT32_MIN, 0, ""},
        {0, 1, "UNKNOWN\r\n"},
        {5000000, 1, "UNKNOWN\r\n"},
        {-1, 1, "UNKNOWN\r\n"},
        {1536, 2, "1.50K Bytes\r\n"},          // only exactly 1 means unknown
        {1536, 0xFFFFFFFFu, "1.50K Bytes\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " unknown " << c.unknown);
        PrinterRecord r = MakeRecord("P");
        r.docSize = c.size;
        r.docSizeUnknown = c.unknown;
        EXPECT_EQ(FormatDocSize(r), c.part);
        const std::string text = FormatDetailsText(r);
        const std::string label = "Current Doc Size: \t\t";
        ASSERT_GE(text.size(), label.size());
        EXPECT_EQ(text.substr(text.rfind(label) + label.size()), c.part);
    }
}

struct DetailsCase {
    const char *what;
    std::uint8_t portType;
    std::string user;
    std::uint8_t address[4];
    std::int32_t jobs;
    std::uint32_t sizeUnknown;
    std::int32_t size;
    std::string text;
};

TEST(PrinterDetails, WholeText)
{
    const DetailsCase cases[] = {
        {"LPT with a queued job", 1, "alice", {192, 168, 1, 20}, 2, 0, 1536,
         "Port Type: \t\tLPT\r\nCurrent User: \t\talice\r\nIP Address: \t\t192.168.1.20\r\n"
         "Current Doc Size: \t\t1.50K Bytes\r\n"},
        {"bi-directional and idle", 0, "", {0, 0, 0, 0}, 0, 0, 0,
         "Port Type: \t\tBi-direction\r\nCurrent User: \t\t\r\nIP Address: \t\t\r\n"
         "Current Doc Size: \t\t"},
        {"no jobs hides the address, not the user", 0, "bob", {10, 0, 0, 7}, 0, 0, 0,
         "Port Type: \t\tBi-direction\r\nCurrent User: \t\tbob\r\nIP Address: \t\t\r\n"
         "Current Doc Size: \t\t"},
        {"negative jobs hide the address too", 7, "bob", {10, 0, 0, 7}, -1, 1, 0,
         "Port Type: \t\tLPT\r\nCurrent User: \t\tbob\r\nIP Address: \t\t\r\n"
         "Current Doc Size: \t\tUNKNOWN\r\n"},
        {"address bytes are unsigned", 1, "carol", {10, 0, 0, 255}, 1, 0, 1,
         "Port Type: \t\tLPT\r\nCurrent User: \t\tcarol\r\nIP Address: \t\t10.0.0.255\r\n"
         "Current Doc Size: \t\t1 Bytes\r\n"},
        {"all-ones address", 1, "d", {255, 255, 255, 255}, 300, 0, 1048576,
         "Port Type: \t\tLPT\r\nCurrent User: \t\td\r\nIP Address: \t\t255.255.255.255\r\n"
         "Current Doc Size: \t\t1.00M Bytes\r\n"},
        {"8-bit user name kept as bytes", 0, "J\xF6rg", {1, 2, 3, 4}, 1, 0, 1023,
         "Port Type: \t\tBi-direction\r\nCurrent User: \t\tJ\xF6rg\r\nIP Address: \t\t1.2.3.4\r\n"
         "Current Doc Size: \t\t1023 Bytes\r\n"},
    };
    for (const DetailsCase &c : cases) {
        SCOPED_TRACE(c.what);
        PrinterRecord r = MakeRecord("P");
        r.portType = c.portType;
        std::memcpy(r.currentUser, c.user.data(), c.user.size());
        std::memcpy(r.userAddress, c.address, 4);
        r.jobCount = c.jobs;
        r.docSizeUnknown = c.sizeUnknown;
        r.docSize = c.size;
        EXPECT_EQ(FormatDetailsText(r), c.text);
    }
}

TEST(PrinterDetails, UnterminatedUserStopsAtItsField)
{
    // A user name filling all 32 bytes must not run into the address bytes behind it.
    PrinterRecord r = MakeRecord(std::string(64, 'N'));
    std::memset(r.currentUser, 'U', sizeof r.currentUser);
    r.userAddress[0] = 'X';
    r.userAddress[1] = 'Y';
    const std::string text = FormatDetailsText(r);
    EXPECT_NE(text.find("Current User: \t\t" + std::string(32, 'U') + "\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("UX"), std::string::npos);
}

}  // namespace
