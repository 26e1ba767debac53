#include "link/agent/route_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

const std::string kHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\t\t\n";

std::string Row(const char *iface, const char *dest, const char *gateway, const char *flags,
                const char *metric, const char *mask)
{
    return std::string(iface) + "\t" + dest + "\t" + gateway + "\t" + flags + "\t0\t0\t" + metric + "\t" +
           mask + "\t0\t0\t0\n";
}

struct RouteCase {
    const char *label;
    std::string table;
    std::optional<Ipv4Address> expected;
};

class DefaultGatewayParse : public testing::TestWithParam<RouteCase> {};

TEST_P(DefaultGatewayParse, FindsTheDefaultRoutesNextHop)
{
    const RouteCase &c = GetParam();
    EXPECT_EQ(ParseDefaultGateway(c.table), c.expected) << c.label;
}

const Ipv4Address kHome{192, 168, 1, 1};

INSTANTIATE_TEST_SUITE_P(
    Tables, DefaultGatewayParse,
    testing::Values(
        RouteCase{"default route present",
                  kHeader + Row("eth0", "00000000", "0101A8C0", "0003", "100", "00000000") +
                      Row("eth0", "0001A8C0", "00000000", "0001", "100", "00FFFFFF"),
                  kHome},
        RouteCase{"no default route",
                  kHeader + Row("eth0", "0001A8C0", "00000000", "0001", "100", "00FFFFFF") +
                      Row("eth1", "0000000A", "0100000A", "0003", "0", "000000FF"),
                  std::nullopt},
        RouteCase{"default not first",
                  kHeader + Row("docker0", "000011AC", "00000000", "0001", "0", "0000FFFF") +
                      Row("eth0", "0001A8C0", "00000000", "0001", "100", "00FFFFFF") +
                      Row("wlan0", "00000000", "FE01000A", "0003", "600", "00000000"),
                  Ipv4Address{10, 0, 1, 254}},
        RouteCase{"lowest metric wins",
                  kHeader + Row("wlan0", "00000000", "FE01000A", "0003", "600", "00000000") +
                      Row("eth0", "00000000", "0101A8C0", "0003", "100", "00000000"),
                  kHome},
        RouteCase{"first of equal metrics",
                  kHeader + Row("eth0", "00000000", "0101A8C0", "0003", "100", "00000000") +
                      Row("wlan0", "00000000", "FE01000A", "0003", "100", "00000000"),
                  kHome},
        RouteCase{"default without a gateway (point-to-point)",
                  kHeader + Row("ppp0", "00000000", "00000000", "0001", "0", "00000000"), std::nullopt},
        RouteCase{"gateway flag but not up",
                  kHeader + Row("eth0", "00000000", "0101A8C0", "0002", "0", "00000000"), std::nullopt},
        RouteCase{"up but no gateway flag",
                  kHeader + Row("eth0", "00000000", "0101A8C0", "0001", "0", "00000000"), std::nullopt},
        RouteCase{"zero destination with a non-zero mask",
                  kHeader + Row("eth0", "00000000", "0101A8C0", "0003", "0", "000000FF"), std::nullopt},
        RouteCase{"malformed lines passed over",
                  kHeader + "eth0\t00000000\t0101A8C0\n" + Row("eth0", "00000000", "ZZ01A8C0", "0003", "0", "00000000") +
                      Row("eth0", "00000000", "10101A8C0", "0003", "0", "00000000") +
                      Row("eth0", "00000000", "0101A8C0", "0003", "-1", "00000000") + "garbage\n\n" +
                      Row("eth0", "00000000", "0201A8C0", "0003", "5", "00000000"),
                  Ipv4Address{192, 168, 1, 2}},
        RouteCase{"header only", kHeader, std::nullopt},
        RouteCase{"empty file", "", std::nullopt},
        RouteCase{"CRLF lines, no final newline",
                  "Iface\tDestination\tGateway\r\neth0\t00000000\t0101a8c0\t0003\t0\t0\t0\t00000000",
                  kHome}),
    [](const testing::TestParamInfo<RouteCase> &info) { return "Case" + std::to_string(info.index); });

TEST(RouteTableFile, ReadsAFileAndRefusesAMissingOne)
{
    const std::string path = testing::TempDir() + "kestrum_route_table_read";
    const std::string text = kHeader + Row("eth0", "00000000", "0101A8C0", "0003", "0", "00000000");
    {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }
    EXPECT_EQ(ReadRouteTable(path), text);
    std::remove(path.c_str());
    EXPECT_EQ(ReadRouteTable(path), std::nullopt);
}

}  // namespace
