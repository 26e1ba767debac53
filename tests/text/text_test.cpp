// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The one reader of decimal numbers and the one of ADDR[:PORT]: what they take and the near misses they refuse.
#include "text/endpoint.h"
#include "text/numbers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cmath>

using namespace ktext;

TEST(Text, DecimalNumbers)
{
    const DecimalRules whole{}, fraction{false, true}, signedFraction{true, true};
    const std::string huge(400, '9');
    const struct {
        const char *text;
        DecimalRules rules;
        double lo, hi;
        std::optional<double> expected;
    } cases[] = {
        // a sign only where the rules allow one
        // clang-format off
        {"0", whole, 0, 10, 0}, {"10", whole, 0, 10, 10}, {"11", whole, 0, 10, std::nullopt}, {"007", whole, 0, 10, 7},
        {"", whole, 0, 10, std::nullopt}, {" 5", whole, 0, 10, std::nullopt}, {"+5", whole, 0, 10, std::nullopt},
        {"-5", whole, -10, 10, std::nullopt}, {"5.0", whole, 0, 10, std::nullopt},
        {"1e1", fraction, 0, 100, std::nullopt}, {"inf", fraction, 0, INFINITY, std::nullopt},
        {"nan", fraction, 0, 1, std::nullopt},
        {"0.25", fraction, 0, 1, 0.25}, {".5", fraction, 0, 1, 0.5}, {"5.", fraction, 0, 10, 5},
        {".", fraction, 0, 1, std::nullopt}, {"-2.5", signedFraction, -3, 0, -2.5},
        {"+2.5", signedFraction, 0, 3, 2.5}, {"--1", signedFraction, -3, 3, std::nullopt},
        {huge.c_str(), fraction, 0, INFINITY, std::nullopt},  // beyond a double
        // clang-format on
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseDecimal(c.text, c.lo, c.hi, c.rules), c.expected);
    }
    EXPECT_EQ(ParseWhole<std::uint32_t>("4294967295", 0, UINT32_MAX), UINT32_MAX);
    EXPECT_EQ(ParseWhole<std::uint32_t>("4294967296", 0, UINT32_MAX), std::nullopt);
    EXPECT_EQ(ParseHex("FFFFFFFF"), 0xFFFFFFFFu);
    for (const char *bad : {"", "123456789", "0x1", "g"})
        EXPECT_EQ(ParseHex(bad), std::nullopt) << bad;
    EXPECT_EQ(ParseHex("100", 2), std::nullopt);
}

TEST(Text, Endpoints)
{
    using E = EndpointError;
    const std::nullopt_t no = std::nullopt;
    const std::string label(63, 'a');
    const struct {
        std::string text;
        EndpointRules rules;
        EndpointError error;
        std::string host;
        std::optional<std::uint16_t> port;
    } cases[] = {
        // clang-format off
        {"10.213.0.1", {}, E::None, "10.213.0.1", no},
        {"10.213.0.1:6000", {}, E::None, "10.213.0.1", 6000},
        {"10.213.0.1:65535", {}, E::None, "10.213.0.1", 65535},
        {"127.0.0.1:0", {true, 0}, E::None, "127.0.0.1", 0},
        {"127.0.0.1", {true, 0}, E::Address, "", no},
        {"10.213.0.1:0", {}, E::Port, "", no}, {"10.213.0.1:65536", {}, E::Port, "", no},
        {"10.213.0.1:+80", {}, E::Port, "", no}, {"printer.lan:80", {}, E::Address, "", no},
        {"010.213.0.1", {}, E::Address, "", no}, {"10.213.1", {}, E::Address, "", no},
        {"", {}, E::Address, "", no},
        // Where names are taken: RFC 1123 labels, and digits and dots stay an address.
        {"ps-floor2.Office.lan:6000", {false, 1, true}, E::None, "ps-floor2.Office.lan", 6000},
        {"printer.lan.", {false, 1, true}, E::None, "printer.lan.", no},
        {"10.213.1", {false, 1, true}, E::Address, "", no}, {"-ps.lan", {false, 1, true}, E::Address, "", no},
        {"ps_1.lan", {false, 1, true}, E::Address, "", no}, {"ps..lan", {false, 1, true}, E::Address, "", no},
        {"ps-.lan", {false, 1, true}, E::Address, "", no},
        {label + "." + label + "." + label + "." + label.substr(1), {false, 1, true}, E::Address, "", no},  // 254 bytes
        {std::string(63, 'a') + ".lan", {false, 1, true}, E::None, std::string(63, 'a') + ".lan", no},
        {std::string(64, 'a') + ".lan", {false, 1, true}, E::Address, "", no},
        // clang-format on
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        Endpoint e;
        EXPECT_EQ(ParseEndpoint(c.text, e, c.rules), c.error);
        EXPECT_EQ(e.host, c.host);
        EXPECT_EQ(e.port, c.port);
    }
    EXPECT_EQ(ParseIpv4("10.213.0.1"), htonl(0x0AD50001));
    // inet_pton would stop at the NUL and take the address before it.
    EXPECT_EQ(ParseIpv4(std::string_view("1.2.3.4\0zz", 10)), std::nullopt);
}
