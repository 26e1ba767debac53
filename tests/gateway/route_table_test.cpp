#include "link/agent/route_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

std::string Row(const char *gateway, const char *flags = "0003", const char *metric = "0",
                const char *mask = "00000000", const char *destination = "00000000")
{
    return std::string("eth0\t") + destination + "\t" + gateway + "\t" + flags + "\t0\t0\t" + metric + "\t" + mask +
           "\t0\t0\t0\n";
}

TEST(RouteTable, FindsTheDefaultRoutesNextHop)
{
    const std::string header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const std::string subnet = Row("00000000", "0001", "0", "00FFFFFF", "0001A8C0");
    const Ipv4Address home{192, 168, 1, 1}, wlan{10, 0, 1, 254};
    const struct {
        const char *label;
        std::string table;
        std::optional<Ipv4Address> expected;
    } cases[] = {
        {"default after another route", header + subnet + Row("FE01000A"), wlan},
        {"no default route", header + subnet, std::nullopt},
        {"lowest metric wins", header + Row("FE01000A", "0003", "600") + Row("0101A8C0", "0003", "100"), home},
        {"first of equal metrics", header + Row("0101A8C0", "0003", "100") + Row("FE01000A", "0003", "100"), home},
        {"no gateway", header + Row("00000000"), std::nullopt},
        {"gateway flag, not up", header + Row("0101A8C0", "0002"), std::nullopt},
        {"up, no gateway flag", header + Row("0101A8C0", "0001"), std::nullopt},
        {"zero destination, non-zero mask", header + Row("0101A8C0", "0003", "0", "000000FF"), std::nullopt},
        // Each of these would win on its metric if it were read as a route.
        {"malformed lines passed over",
         header + "eth0\t00000000\t0101A8C0\n" + Row("ZZ01A8C0") + Row("10101A8C0") + Row("0101A8C0", "0003", "-1") +
             "garbage\n\n" + Row("0201A8C0", "0003", "5"),
         Ipv4Address{192, 168, 1, 2}},
        {"CRLF, lower case, no final newline", "Iface\tGateway\r\neth0\t00000000\t0101a8c0\t0003\t0\t0\t0\t00000000", home},
        {"empty", "", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseDefaultGateway(c.table), c.expected) << c.label;
}

TEST(RouteTable, ReadsAFileAndRefusesAMissingOne)
{
    const std::string path = testing::TempDir() + "kestrum_route_table_read", text = Row("0101A8C0");
    std::ofstream(path, std::ios::binary) << text;
    EXPECT_EQ(ReadRouteTable(path), text);
    std::remove(path.c_str());
    EXPECT_EQ(ReadRouteTable(path), std::nullopt);
}

}  // namespace
